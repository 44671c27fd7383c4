// SPDX-License-Identifier: GPL-3.0-or-later
#include "ports/SystemPorts.h"

#include <algorithm>
#include <iostream>
#include <utility>

#include "ports/parport/DirectPort.h"
#include "ports/usb/UsbAdapters.h"

namespace fennow {

SystemPorts::SystemPorts(SystemPortsSetup setup) : setup_(std::move(setup)) {}

PortTable SystemPorts::Ports() {
  std::vector<PortTarget> found;
  for (const ParportEntry& port : ListParportDevices(setup_.parportProcRoot, setup_.deviceRoot)) {
    found.push_back(ParallelPortAt(port.base));
  }
  if (setup_.usbBus != nullptr && setup_.counter != nullptr) {
    for (const UsbAdapterListing& adapter : ListUsbAdapters(*setup_.usbBus)) {
      found.push_back(AdapterTarget(adapter));
    }
  }
  const PortTable offered = AssignPorts(found);
  // What no choice reaches any more is let go: an adapter gone elsewhere, a card taken out.
  std::erase_if(slots_, [&](const Slot& slot) {
    return std::find(offered.begin(), offered.end(), slot.target) == offered.end();
  });
  return offered;
}

ReachedPort SystemPorts::Reach(const PortTarget& target) {
  Slot& slot = SlotOf(target);
  if (slot.open && !StillThere(slot)) {
    slot.open.reset();
    if (slot.target.kind == PortKind::ParallelPort && !slot.device.empty() &&
        !FindParportDevice(setup_.parportProcRoot, setup_.deviceRoot, slot.target.base)) {
      // Its device has gone from the kernel's list: a card taken out, a driver unloaded. Let go
      // of it; the next Reach looks again. A device still listed that failed is opened again
      // just below.
      slot.problem = PortProblem{PortKind::ParallelPort, PortReason::DeviceLost, slot.device, {}};
      slot.device.clear();
      Log(slot.target, *slot.problem);
      return {&NoPort(), slot.problem};
    }
    // An adapter that stopped answering (unplugged, or plugged out and in again, which leaves
    // the old handle dead): it is looked for by its serial number once more, just below.
  }
  if (!slot.open) Attempt(slot);
  return {slot.open ? slot.open.get() : &NoPort(), slot.problem};
}

void SystemPorts::Release(const PortTarget& target) {
  Slot& slot = SlotOf(target);
  if (slot.target.kind == PortKind::ParallelPort && !slot.device.empty()) slot.open.reset();
}

const SystemPorts::Slot* SystemPorts::OpenSlotOf(const PortTarget& target) const {
  const auto slot =
      std::find_if(slots_.begin(), slots_.end(), [&](const Slot& s) { return s.target == target; });
  return slot != slots_.end() && slot->open ? &*slot : nullptr;
}

std::string SystemPorts::DeviceOf(const PortTarget& target) const {
  const Slot* slot = OpenSlotOf(target);
  if (slot == nullptr) return {};
  return slot->device.empty() ? "direct I/O" : slot->device;
}

std::string SystemPorts::OpenReport(const PortTarget& target) const {
  const Slot* slot = OpenSlotOf(target);
  return slot != nullptr ? slot->report : std::string();
}

SystemPorts::Slot& SystemPorts::SlotOf(const PortTarget& target) {
  const auto slot =
      std::find_if(slots_.begin(), slots_.end(), [&](const Slot& s) { return s.target == target; });
  if (slot != slots_.end()) return *slot;
  return slots_.emplace_back(Slot{target, nullptr, {}, {}, std::nullopt});
}

void SystemPorts::Attempt(Slot& slot) {
  // The device it was last opened through, if it was let go between operations.
  const std::string released = std::exchange(slot.device, {});
  if (slot.target.kind == PortKind::UsbAdapter) {
    AttemptAdapter(slot);
  } else {
    AttemptParallelPort(slot, released);
  }
  if (slot.problem) Log(slot.target, *slot.problem);
}

void SystemPorts::AttemptParallelPort(Slot& slot, const std::string& released) {
  const std::uint16_t base = slot.target.base;
  slot.problem = PortProblem{PortKind::ParallelPort, PortReason::NoDevice, {}, {}};
  auto device = FindParportDevice(setup_.parportProcRoot, setup_.deviceRoot, base);
  if (!device && !released.empty()) {
    // Its device left the kernel's list since the last operation: a card taken out, a driver
    // unloaded. Said once; the next attempt looks afresh.
    slot.problem = PortProblem{PortKind::ParallelPort, PortReason::DeviceLost, released, {}};
    return;
  }
  if (device) {
    DeviceOpenResult opened = setup_.openDevice(*device);
    if (opened.port) {
      slot.open = std::move(opened.port);
      slot.device = device->device;
      slot.problem.reset();
      return;
    }
    slot.problem = DeviceProblem(PortKind::ParallelPort, device->device, opened.error);
    if (opened.held) slot.problem->reason = PortReason::Busy;
  }
  if (IsLegacyAddress(base) && setup_.openDirect) {
    if (auto direct = setup_.openDirect(base)) {
      slot.open = std::move(direct);
      if (slot.problem->reason != PortReason::NoDevice) LogDirect(slot.target, *slot.problem);
      slot.problem.reset();
    }
  }
}

// Looks for the adapter on the bus by its chip and serial number, then opens it. Never anything
// else in its place: no device, and no direct I/O.
void SystemPorts::AttemptAdapter(Slot& slot) {
  const PortTarget& target = slot.target;
  slot.problem = PortProblem{PortKind::UsbAdapter, PortReason::DeviceLost, target.name, {}};
  if (setup_.usbBus == nullptr || setup_.counter == nullptr) return;
  for (const UsbAdapterListing& adapter : ListUsbAdapters(*setup_.usbBus)) {
    if (AdapterTarget(adapter).Identity() != target.Identity()) continue;
    UsbOpenResult opened = OpenUsbAdapter(*setup_.usbBus, adapter, *setup_.counter);
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
    slot.open->Read(0);
    return slot.open->LostReason().empty();
  }
  if (slot.device.empty()) return true;  // direct I/O has no device to lose
  if (!slot.open->LostReason().empty()) return false;
  const std::optional<ParportEntry> listed =
      FindParportDevice(setup_.parportProcRoot, setup_.deviceRoot, slot.target.base);
  return listed && listed->device == slot.device;
}

void SystemPorts::Log(const PortTarget& target, const PortProblem& problem) const {
  if (setup_.log == nullptr) return;
  *setup_.log << "fennow-link: port " << target.name
              << " is unreachable, so the link will find no Game Boy: " << DetailedWhyText(problem)
              << ". " << RemedyText(problem) << '\n';
}

// Direct I/O reaches the registers behind the kernel's back, so whoever holds the device is not
// asked: the log says which device would have been used and why it was not.
void SystemPorts::LogDirect(const PortTarget& target, const PortProblem& problem) const {
  if (setup_.log == nullptr) return;
  *setup_.log << "fennow-link: port " << target.name << " is driven by direct I/O, as "
              << DetailedWhyText(problem) << '\n';
}

SystemPortsSetup MachineSetup(FtdiBus& usbBus, Counter& counter) {
  SystemPortsSetup setup;
  setup.openDirect = OpenDirectPort;
  setup.usbBus = &usbBus;
  setup.counter = &counter;
  setup.log = &std::cerr;
  return setup;
}

SystemPortsSetup AdaptersOnlySetup(FtdiBus& usbBus, Counter& counter) {
  SystemPortsSetup setup;
  setup.parportProcRoot.clear();
  setup.deviceRoot.clear();
  setup.usbBus = &usbBus;
  setup.counter = &counter;
  return setup;
}

std::unique_ptr<SystemPorts> MakeSystemPorts(SystemPortsSetup setup) {
  return std::make_unique<SystemPorts>(std::move(setup));
}

}  // namespace fennow
