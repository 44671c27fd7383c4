// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "link/PortIo.h"
#include "ports/parport/ParportList.h"
#include "ports/parport/PpdevCalls.h"

namespace fennow {

struct DeviceOpenResult {
  std::unique_ptr<PortIo> port;  // null on failure
  int error = 0;                 // the errno of the failed call
  // The port is there but held: by another program's claim, or by a driver that will not let go
  // within the wait (the printer driver lp while it prints).
  bool held = false;
};

// How long a shared claim may wait for the port's holder to let go before the port counts as
// busy. The window waits this long at most.
inline constexpr int kSharedClaimWaitMs = 1000;

// Opens and claims the kernel's device for `port`: writes to its base go to the data register,
// reads of base + 1 come from the status register.
//
// The claim is exclusive when the kernel grants it, so that no other driver touches the lines
// mid-transfer. The kernel refuses that with ENXIO whenever any other device is registered on
// the port, and the printer driver lp registers on every port when it loads; then the port is
// claimed shared, which lp waits for. A shared claim sleeps while another holds the port, so it
// is given kSharedClaimWaitMs. ENXIO means the port is gone only when its /proc folder is gone
// too.
//
// Once open, the first call the kernel fails is kept and reported as lost (LostReason), and so
// is the port's leaving the kernel's list: a removed port's registers read 0 and take writes
// without an error.
DeviceOpenResult OpenParportDevice(PpdevCalls& kernel, const ParportEntry& port);

}  // namespace fennow
