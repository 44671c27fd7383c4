// SPDX-License-Identifier: GPL-3.0-or-later
#include "ports/SystemPorts.h"

#include <algorithm>
#include <iostream>
#include <vector>

#include "ports/parport/DirectPort.h"
#include "ports/usb/UsbAdapters.h"

namespace fennow {

namespace {

// A port that is not there: what the lines of an empty socket read like.
class UnreachablePort final : public PortIo {
 public:
  void Write(std::uint16_t, std::uint8_t) override {}
  std::uint8_t Read(std::uint16_t) override { return 0xFF; }
};

PortIo& Unreachable() {
  static UnreachablePort port;
  return port;
}

}  // namespace

SystemPorts::SystemPorts(SystemPortsEnvironment environment)
    : environment_(std::move(environment)) {}

// The link's accesses, 34 a byte, go straight to the port bound last; any other address looks
// its port up and binds that.
void SystemPorts::Write(std::uint16_t address, std::uint8_t value) {
  PortIo& port = bound_ != nullptr && address == boundBase_ ? *bound_ : PortAt(address);
  port.Write(address, value);
}

std::uint8_t SystemPorts::Read(std::uint16_t address) {
  const auto base = static_cast<std::uint16_t>(address - 1u);  // the data register before it
  PortIo& port = bound_ != nullptr && base == boundBase_ ? *bound_ : PortAt(base);
  return port.Read(address);
}

bool SystemPorts::RunScript(const LineScript& script, const LinkPort& port, LineSamples& samples) {
  PortIo& bound =
      bound_ != nullptr && port.DataPort == boundBase_ ? *bound_ : PortAt(port.DataPort);
  return bound.RunScript(script, port, samples);
}

bool SystemPorts::QueuesAhead() const {
  return bound_ != nullptr && bound_->QueuesAhead();
}

std::string SystemPorts::LostReason() const {
  return bound_ != nullptr ? bound_->LostReason() : std::string{};
}

PortTable SystemPorts::Ports() {
  // A choice may go to another port now, whose slot then starts afresh.
  bound_ = nullptr;
  std::vector<PortTarget> found;
  for (const ParportEntry& port :
       ListParportDevices(environment_.parportProcRoot, environment_.deviceRoot)) {
    found.push_back(ParallelPortAt(port.base));
  }
  if (environment_.usbBus != nullptr && environment_.counter != nullptr) {
    for (const UsbAdapterListing& adapter : ListUsbAdapters(*environment_.usbBus)) {
      found.push_back(AdapterTarget(adapter));
    }
  }
  offered_ = AssignPorts(found);
  return *offered_;
}

std::optional<PortProblem> SystemPorts::Reach(std::uint16_t base) {
  bound_ = nullptr;
  Slot& slot = SlotAt(base);
  if (slot.open && !StillThere(slot)) {
    slot.open.reset();
    if (slot.target.kind == PortKind::ParallelPort && !slot.device.empty() &&
        !FindParportDevice(environment_.parportProcRoot, environment_.deviceRoot,
                           slot.target.base)) {
      // Its device has gone from the kernel's list: a card taken out, a driver unloaded. Let go
      // of it; the next Reach looks again. A device still listed that failed is opened again
      // just below.
      slot.problem = PortProblem{PortKind::ParallelPort, PortReason::DeviceLost, slot.device, {}};
      Log(slot.target, *slot.problem);
      return slot.problem;
    }
    // An adapter that stopped answering (unplugged, or plugged out and in again, which leaves
    // the old handle dead): it is looked for by its serial number once more, just below.
  }
  if (!slot.open) Attempt(slot);
  if (slot.open) Bind(base, *slot.open);
  return slot.problem;
}

const SystemPorts::Slot* SystemPorts::OpenSlotAt(std::uint16_t base) const {
  const auto slot = slots_.find(base);
  return slot != slots_.end() && slot->second.open ? &slot->second : nullptr;
}

std::string SystemPorts::DeviceOf(std::uint16_t base) const {
  const Slot* slot = OpenSlotAt(base);
  if (slot == nullptr) return {};
  return slot->device.empty() ? "direct I/O" : slot->device;
}

std::string SystemPorts::OpenReport(std::uint16_t base) const {
  const Slot* slot = OpenSlotAt(base);
  return slot != nullptr ? slot->report : std::string();
}

void SystemPorts::Bind(std::uint16_t base, PortIo& port) {
  boundBase_ = base;
  bound_ = &port;
}

// What the port at `base` is: what the last Ports() gave it, else the parallel port there.
PortTarget SystemPorts::TargetAt(std::uint16_t base) const {
  if (offered_) {
    const auto given = std::find_if(offered_->begin(), offered_->end(),
                                    [base](const PortTarget& port) { return port.base == base; });
    if (given != offered_->end()) return *given;
  }
  return ParallelPortAt(base);
}

// The slot of the port at `base`. A base given to another port since (an adapter in place of a
// parallel port, or another adapter) starts afresh, letting go of what it had open.
SystemPorts::Slot& SystemPorts::SlotAt(std::uint16_t base) {
  PortTarget target = TargetAt(base);
  Slot& slot = slots_[base];
  if (slot.target != target) slot = Slot{std::move(target), false, nullptr, {}, {}, std::nullopt};
  return slot;
}

PortIo& SystemPorts::PortAt(std::uint16_t base) {
  Slot& slot = SlotAt(base);
  if (!slot.tried) Attempt(slot);
  Bind(base, slot.open ? *slot.open : Unreachable());
  return *bound_;
}

void SystemPorts::Attempt(Slot& slot) {
  slot.tried = true;
  slot.device.clear();
  if (slot.target.kind == PortKind::UsbAdapter) {
    AttemptAdapter(slot);
  } else {
    AttemptParallelPort(slot);
  }
  if (slot.problem) Log(slot.target, *slot.problem);
}

void SystemPorts::AttemptParallelPort(Slot& slot) {
  const std::uint16_t base = slot.target.base;
  slot.problem = PortProblem{PortKind::ParallelPort, PortReason::NoDevice, {}, {}};
  if (auto device =
          FindParportDevice(environment_.parportProcRoot, environment_.deviceRoot, base)) {
    DeviceOpenResult opened = environment_.openDevice(*device);
    if (opened.port) {
      slot.open = std::move(opened.port);
      slot.device = device->device;
      slot.problem.reset();
      return;
    }
    slot.problem = DeviceProblem(PortKind::ParallelPort, device->device, opened.error);
    if (opened.held) slot.problem->reason = PortReason::Busy;
  }
  if (IsLegacyAddress(base) && environment_.openDirect) {
    if (auto direct = environment_.openDirect(base)) {
      slot.open = std::move(direct);
      if (slot.problem->reason != PortReason::NoDevice) LogDirect(slot.target, *slot.problem);
      slot.problem.reset();
    }
  }
}

// Looks for the adapter on the bus by its chip and serial number, then opens it at the base its
// choice gave it. Never anything else at that base: no device there, and no direct I/O.
void SystemPorts::AttemptAdapter(Slot& slot) {
  const PortTarget& target = slot.target;
  slot.problem = PortProblem{PortKind::UsbAdapter, PortReason::DeviceLost, target.name, {}};
  if (environment_.usbBus == nullptr || environment_.counter == nullptr) return;
  for (const UsbAdapterListing& adapter : ListUsbAdapters(*environment_.usbBus)) {
    if (AdapterTarget(adapter).Identity() != target.Identity()) continue;
    UsbOpenResult opened =
        OpenUsbAdapter(*environment_.usbBus, adapter, *environment_.counter, target.base);
    if (!opened.port) {
      slot.problem = std::move(opened.problem);
      return;
    }
    slot.open = std::move(opened.port);
    slot.device = adapter.name;
    slot.report = std::move(opened.report);
    slot.problem.reset();
    return;
  }
}

// Whether an open port is still there: a parallel port's device is still listed, an adapter still
// answers (one round trip, a reading of its pins that changes nothing on them).
bool SystemPorts::StillThere(Slot& slot) {
  if (slot.target.kind == PortKind::UsbAdapter) {
    slot.open->Read(static_cast<std::uint16_t>(slot.target.base + 1));
    return slot.open->LostReason().empty();
  }
  if (slot.device.empty()) return true;  // direct I/O has no device to lose
  if (!slot.open->LostReason().empty()) return false;
  const std::optional<ParportEntry> listed =
      FindParportDevice(environment_.parportProcRoot, environment_.deviceRoot, slot.target.base);
  return listed && listed->device == slot.device;
}

void SystemPorts::Log(const PortTarget& target, const PortProblem& problem) const {
  if (environment_.log == nullptr) return;
  *environment_.log << "fennow-link: port " << target.name
                    << " is unreachable, so the link will find no Game Boy: "
                    << DetailedWhyText(problem) << ". " << RemedyText(problem) << '\n';
}

// Direct I/O reaches the registers behind the kernel's back, so whoever holds the device is not
// asked: the log says which device would have been used and why it was not.
void SystemPorts::LogDirect(const PortTarget& target, const PortProblem& problem) const {
  if (environment_.log == nullptr) return;
  *environment_.log << "fennow-link: port " << target.name << " is driven by direct I/O, as "
                    << DetailedWhyText(problem) << '\n';
}

SystemPortsEnvironment SystemPortEnvironment(FtdiBus& usbBus, Counter& counter) {
  SystemPortsEnvironment environment;
  environment.openDirect = OpenDirectPort;
  environment.usbBus = &usbBus;
  environment.counter = &counter;
  environment.log = &std::cerr;
  return environment;
}

SystemPortsEnvironment AdaptersOnlyEnvironment(FtdiBus& usbBus, Counter& counter) {
  SystemPortsEnvironment environment;
  environment.parportProcRoot.clear();
  environment.deviceRoot.clear();
  environment.usbBus = &usbBus;
  environment.counter = &counter;
  return environment;
}

std::unique_ptr<SystemPorts> MakeSystemPorts(SystemPortsEnvironment environment) {
  return std::make_unique<SystemPorts>(std::move(environment));
}

}  // namespace fennow
