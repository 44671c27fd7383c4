// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <utility>

#include "capture/CaptureStore.h"
#include "capture/Transfer.h"
#include "link/Counter.h"
#include "link/LinkSession.h"
#include "ports/ChosenPort.h"
#include "ports/PortSelection.h"
#include "ports/SystemPorts.h"
#include "tests/support/FakeServices.h"

namespace fennow::test {

// The window's road to a port: the program's own ports over `setup`, LPT1 chosen and the link
// pointed at it, and the window's state. PressStartTransfer is the button: reach the port,
// telling why not, then transfer.
struct PortRoad {
  PortRoad(SystemPortsSetup setup, Counter& counter)
      : host(std::move(setup)),
        chosen{PortChoice::LPT1, TargetOf(host.Ports(), PortChoice::LPT1)},
        link(counter) {
    PointPortAt(link.port, chosen.choice, chosen.target);
  }
  PortRoad(const PortRoad&) = delete;
  PortRoad& operator=(const PortRoad&) = delete;

  TransferStatus PressStartTransfer() {
    ReachChosenPort(chosen, host, notices, ui, link);
    const TransferStatus status = StartTransfer(link, ui, store);
    ReleaseChosenPort(chosen, host, link);
    return status;
  }

  SystemPorts host;
  ChosenPort chosen;
  PortNotices notices;
  LinkSession link;
  FakeServices ui;
  CaptureStore store;
};

}  // namespace fennow::test
