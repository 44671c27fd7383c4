#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

#include "link/PortIo.h"

namespace fennow {

// Where the real program looks for the port, and how it reaches it when no device serves it.
// Tests point the two folders at a fake tree and replace the direct opener.
struct HostPortEnvironment {
  std::string parportProcRoot = "/proc/sys/dev/parport";
  std::string deviceRoot = "/dev";
  // Direct port I/O for a base address, or null when the process lacks the privilege for it.
  std::function<std::unique_ptr<PortIo>(std::uint16_t base)> openDirect;
  std::ostream* log = nullptr;  // where the one line about an unreachable port goes
};

// The environment of the running program: the real /proc and /dev, direct I/O, stderr.
HostPortEnvironment SystemPortEnvironment();

// The port of the real program. Each base address the link uses (a data register; its status
// register is the next address) is opened on first use, in this order of preference:
//   1. the kernel's parallel-port device whose base address matches, claimed exclusively when
//      possible;
//   2. direct port I/O, only when the process already holds that privilege (it never asks);
//   3. an unreachable port: writes go nowhere, reads return 0xFF like a floating bus, and one
//      line on the log says why. The user then sees a sync timeout or a failed lead test.
std::unique_ptr<PortIo> MakeHostPort(HostPortEnvironment environment);
std::unique_ptr<PortIo> MakeHostPort();

}  // namespace fennow
