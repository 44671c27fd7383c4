#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "link/ParportDevice.h"
#include "link/PortDirectory.h"
#include "link/PortIo.h"

namespace fennow {

// Where the real program looks for ports, and how it opens them. Tests point the two folders at
// a fake tree and replace the openers.
struct HostPortEnvironment {
  std::string parportProcRoot = "/proc/sys/dev/parport";
  std::string deviceRoot = "/dev";
  std::function<DeviceOpenResult(const std::string& path, std::uint16_t base)> openDevice =
      OpenParportDevice;
  // Direct port I/O for a base address, or null when the process lacks the privilege for it.
  std::function<std::unique_ptr<PortIo>(std::uint16_t base)> openDirect;
  std::ostream* log = nullptr;  // where the one line about each failed attempt goes
};

// The environment of the running program: the real /proc and /dev, direct I/O, stderr.
HostPortEnvironment SystemPortEnvironment();

// The ports of the real program: what each choice reaches, and the registers behind it.
//
// The choices are given out over the parallel ports the kernel lists (AssignPorts). A base address
// the link uses (a data register; its status register is the next address) is opened, in this
// order of preference:
//   1. the kernel's parallel-port device whose base address matches, claimed exclusively when
//      possible;
//   2. direct port I/O, for a legacy address only and only when the process already holds that
//      privilege (it never asks);
//   3. otherwise the port is unreachable: writes go nowhere, reads return 0xFF like a floating
//      bus, and one line on the log says why. The user then sees a sync timeout or a failed lead
//      test, after the window has said why (Reach).
// A port is opened by Reach, before each operation, or on its first access. Once open it stays
// open; a failed attempt is made again at the next Reach, so that a fix made while the program
// runs takes effect, but never again on an access in between.
class HostPort final : public PortIo, public PortDirectory {
 public:
  explicit HostPort(HostPortEnvironment environment);

  // Writes only ever go to a data register, which is the port's base address; reads only ever
  // come from a status register, the address after it.
  void Write(std::uint16_t address, std::uint8_t value) override;
  std::uint8_t Read(std::uint16_t address) override;

  PortTable Ports() override;
  std::optional<PortProblem> Reach(std::uint16_t base) override;

 private:
  struct Slot {
    bool tried = false;
    std::unique_ptr<PortIo> open;        // null while the port cannot be reached
    std::string device;                  // the device it was opened through, if any
    std::optional<PortProblem> problem;  // why the last attempt failed
  };

  PortIo& PortAt(std::uint16_t base);
  void Attempt(std::uint16_t base, Slot& slot);
  bool StillListed(std::uint16_t base, const Slot& slot) const;
  void Log(std::uint16_t base, const PortProblem& problem) const;

  HostPortEnvironment environment_;
  std::map<std::uint16_t, Slot> slots_;
};

std::unique_ptr<HostPort> MakeHostPort(HostPortEnvironment environment);
std::unique_ptr<HostPort> MakeHostPort();

}  // namespace fennow
