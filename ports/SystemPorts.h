// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "link/Counter.h"
#include "link/PortIo.h"
#include "ports/PortDirectory.h"
#include "ports/parport/ParportDevice.h"
#include "ports/parport/ParportList.h"
#include "ports/usb/FtdiChip.h"

namespace fennow {

// Where the real program looks for ports, and how it opens them. Tests point the two folders at
// a fake tree, replace the openers and hand in a simulated USB bus.
struct SystemPortsEnvironment {
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

// The environment of the running program: the real /proc and /dev, direct I/O, the adapters on
// `usbBus` (libftdi's), stderr.
SystemPortsEnvironment SystemPortEnvironment(FtdiBus& usbBus, Counter& counter);
// A machine with no parallel port, only the adapters on `usbBus`: a laptop, as the simulator plays
// it. Nothing is logged.
SystemPortsEnvironment AdaptersOnlyEnvironment(FtdiBus& usbBus, Counter& counter);

// The ports of the real program: what each choice reaches, and the registers behind it.
//
// The choices are given out over the parallel ports the kernel lists and then the USB link
// adapters on the bus (AssignPorts); an adapter answers at the legacy addresses of its choice. A
// base address the link uses (a data register; its status register is the next address) is
// opened as what the last Ports() gave it:
//   - a USB adapter: by its chip and serial number, and only so;
//   - a parallel port, in this order of preference:
//     1. the kernel's parallel-port device whose base address matches, claimed exclusively when
//        possible and shared otherwise (OpenParportDevice);
//     2. direct port I/O, for a legacy address only and only when the process already holds that
//        privilege (it never asks); the log still says why the device was not used;
//   - otherwise the port is unreachable: writes go nowhere, reads return 0xFF like a floating
//     bus, and one line on the log says why. The user then sees a sync timeout or a failed lead
//     test, after the window has said why (Reach).
// A port is opened by Reach, before each operation, or on its first access. Once open it stays
// open; a failed attempt is made again at the next Reach, so that a fix made while the program
// runs takes effect, but never again on an access in between. An open port that has failed or
// gone away is let go at the next Reach: a parallel port that has left the kernel's list is
// reported lost, one still listed is opened again, and an adapter (unplugged, or plugged out and
// in again) is opened afresh by its serial number.
class SystemPorts final : public PortIo, public PortDirectory {
 public:
  explicit SystemPorts(SystemPortsEnvironment environment);

  // Writes only ever go to a data register, which is the port's base address; reads only ever
  // come from a status register, the address after it.
  void Write(std::uint16_t address, std::uint8_t value) override;
  std::uint8_t Read(std::uint16_t address) override;
  // Scripts, streaming and losses are those of the port behind the link's addresses (an
  // adapter's).
  bool RunScript(const LineScript& script, const LinkPort& port, LineSamples& samples) override;
  bool QueuesAhead() const override;
  std::string LostReason() const override;

  PortTable Ports() override;
  std::optional<PortProblem> Reach(std::uint16_t base) override;
  std::string DeviceOf(std::uint16_t base) const override;
  std::string OpenReport(std::uint16_t base) const override;

 private:
  struct Slot {
    PortTarget target;  // what the port at this base is
    bool tried = false;
    std::unique_ptr<PortIo> open;        // null while the port cannot be reached
    std::string device;                  // the device it was opened through, if any
    std::string report;                  // what was measured when it was opened
    std::optional<PortProblem> problem;  // why the last attempt failed
  };

  PortTarget TargetAt(std::uint16_t base) const;
  const Slot* OpenSlotAt(std::uint16_t base) const;  // null unless a port is open at `base`
  Slot& SlotAt(std::uint16_t base);
  PortIo& PortAt(std::uint16_t base);
  void Bind(std::uint16_t base, PortIo& port);
  void Attempt(Slot& slot);
  void AttemptParallelPort(Slot& slot);
  void AttemptAdapter(Slot& slot);
  bool StillThere(Slot& slot);
  void Log(const PortTarget& target, const PortProblem& problem) const;
  void LogDirect(const PortTarget& target, const PortProblem& problem) const;

  SystemPortsEnvironment environment_;
  std::optional<PortTable> offered_;  // what the choices were given last
  std::map<std::uint16_t, Slot> slots_;
  // The port the link reached last, and its base: valid until the next Reach or Ports, the only
  // calls that let go of an open port or give its base to another.
  PortIo* bound_ = nullptr;
  std::uint16_t boundBase_ = 0;
};

std::unique_ptr<SystemPorts> MakeSystemPorts(SystemPortsEnvironment environment);

}  // namespace fennow
