// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/Counter.h"
#include "link/PortIo.h"
#include "ports/PortDirectory.h"
#include "ports/parport/ParportDevice.h"
#include "ports/parport/ParportList.h"
#include "ports/usb/FtdiChip.h"

namespace fennow {

// Where the real program looks for ports, and how it opens them. Tests point the two folders at
// a fake tree, replace the openers and hand in a simulated USB bus.
struct SystemPortsSetup {
  std::string parportProcRoot = "/proc/sys/dev/parport";  // empty: a machine with none
  std::string deviceRoot = "/dev";
  std::function<DeviceOpenResult(const ParportEntry& port)> openDevice =
      [](const ParportEntry& port) { return OpenParportDevice(SystemPpdev(), port); };
  // Direct port I/O for a base address, or null when the process lacks the privilege for it.
  std::function<std::unique_ptr<PortIo>(std::uint16_t base)> openDirect;
  // The USB bus on which link adapters are looked for, and the clock that times the pauses an
  // adapter leaves to the host. Without both there are no adapters. Both must outlive the port.
  FtdiBus* usbBus = nullptr;
  Counter* counter = nullptr;
  std::ostream* log = nullptr;  // where the one line about each failed attempt goes
};

// The running program's machine: the real /proc and /dev, direct I/O, the adapters on `usbBus`
// (libftdi's), stderr.
SystemPortsSetup MachineSetup(FtdiBus& usbBus, Counter& counter);
// A machine with no parallel port, only the adapters on `usbBus`: a laptop, as the simulator plays
// it. Nothing is logged.
SystemPortsSetup AdaptersOnlySetup(FtdiBus& usbBus, Counter& counter);

// The directory of the real program's ports: what each choice reaches, how it is opened and why
// it cannot be. The link talks to the port object Reach gives it, never through here.
//
// The choices are given out over the parallel ports the kernel lists and then the USB link
// adapters on the bus (AssignPorts). A target is opened as what it is:
//   - a USB adapter: by its chip and serial number (or where it sits, without one), and only so;
//   - a parallel port, in this order of preference:
//     1. the kernel's parallel-port device whose base address matches, claimed exclusively when
//        possible and shared otherwise (OpenParportDevice);
//     2. direct port I/O, for a legacy address only and only when the process already holds that
//        privilege (it never asks); the log still says why the device was not used;
//   - otherwise the port is unreachable: Reach says why, gives a port that reads like an empty
//     socket, and one line on the log says why too. The user then sees a sync timeout or a failed
//     lead test, after the window has said why.
// A parallel port's device is claimed from Reach to Release, so the printer driver can print
// between operations; anything else stays open once opened. A failed attempt is made again at the
// next Reach, so that a fix
// made while the program runs takes effect. An open port that has failed or gone away is let go
// at the next Reach: a parallel port that has left the kernel's list is reported lost, one still
// listed is opened again, and an adapter (unplugged, or plugged out and in again) is opened afresh
// by its serial number. A port that a later Ports() no longer offers is let go there.
class SystemPorts final : public PortDirectory {
 public:
  explicit SystemPorts(SystemPortsSetup setup);

  PortTable Ports() override;
  ReachedPort Reach(const PortTarget& target) override;
  // A parallel port's device is closed, its claim with it, and remembered: if it has left the
  // kernel's list by the next Reach, that Reach says it has gone away. Direct I/O and an adapter,
  // which no one else can use meanwhile, stay open.
  void Release(const PortTarget& target) override;
  std::string DeviceOf(const PortTarget& target) const override;
  std::string OpenReport(const PortTarget& target) const override;

 private:
  struct Slot {
    PortTarget target;                   // what the port is
    std::unique_ptr<PortIo> open;        // null while the port cannot be reached
    std::string device;                  // the device it was opened through, if any
    std::string report;                  // what was measured when it was opened
    std::optional<PortProblem> problem;  // why the last attempt failed
  };

  const Slot* OpenSlotOf(const PortTarget& target) const;  // null unless `target` is open
  Slot& SlotOf(const PortTarget& target);
  void Attempt(Slot& slot);
  void AttemptParallelPort(Slot& slot, const std::string& released);
  void AttemptAdapter(Slot& slot);
  bool StillThere(Slot& slot);
  void Log(const PortTarget& target, const PortProblem& problem) const;
  void LogDirect(const PortTarget& target, const PortProblem& problem) const;

  SystemPortsSetup setup_;
  std::vector<Slot> slots_;
};

std::unique_ptr<SystemPorts> MakeSystemPorts(SystemPortsSetup setup);

}  // namespace fennow
