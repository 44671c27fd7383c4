#include "link/HostPort.h"

#include <iostream>
#include <vector>

#include "link/DirectPort.h"

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

HostPort::HostPort(HostPortEnvironment environment) : environment_(std::move(environment)) {}

void HostPort::Write(std::uint16_t address, std::uint8_t value) {
  PortAt(address).Write(address, value);
}

std::uint8_t HostPort::Read(std::uint16_t address) {
  return PortAt(static_cast<std::uint16_t>(address - 1)).Read(address);
}

PortTable HostPort::Ports() {
  std::vector<PortTarget> found;
  for (const ParportEntry& port :
       ListParportDevices(environment_.parportProcRoot, environment_.deviceRoot)) {
    found.push_back(ParallelPortAt(port.base));
  }
  return AssignPorts(found);
}

std::optional<PortProblem> HostPort::Reach(std::uint16_t base) {
  Slot& slot = slots_[base];
  if (slot.open && !StillListed(base, slot)) {
    // Its device has gone from the kernel's list: a card taken out, a driver unloaded. Let go of
    // it; the next Reach looks again.
    slot.open.reset();
    slot.problem = PortProblem{PortKind::ParallelPort, PortReason::DeviceLost, slot.device, {}};
    Log(base, *slot.problem);
    return slot.problem;
  }
  if (!slot.open) Attempt(base, slot);
  return slot.problem;
}

PortIo& HostPort::PortAt(std::uint16_t base) {
  Slot& slot = slots_[base];
  if (!slot.tried) Attempt(base, slot);
  return slot.open ? *slot.open : Unreachable();
}

void HostPort::Attempt(std::uint16_t base, Slot& slot) {
  slot.tried = true;
  slot.device.clear();
  slot.problem = PortProblem{PortKind::ParallelPort, PortReason::NoDevice, {}, {}};
  if (auto device =
          FindParportDevice(environment_.parportProcRoot, environment_.deviceRoot, base)) {
    DeviceOpenResult opened = environment_.openDevice(*device, base);
    if (opened.port) {
      slot.open = std::move(opened.port);
      slot.device = *device;
      slot.problem.reset();
      return;
    }
    slot.problem = DeviceProblem(PortKind::ParallelPort, *device, opened.error);
  }
  if (IsLegacyAddress(base) && environment_.openDirect) {
    if (auto direct = environment_.openDirect(base)) {
      slot.open = std::move(direct);
      slot.problem.reset();
      return;
    }
  }
  Log(base, *slot.problem);
}

bool HostPort::StillListed(std::uint16_t base, const Slot& slot) const {
  if (slot.device.empty()) return true;  // direct I/O has no device to lose
  return FindParportDevice(environment_.parportProcRoot, environment_.deviceRoot, base) ==
         slot.device;
}

void HostPort::Log(std::uint16_t base, const PortProblem& problem) const {
  if (environment_.log == nullptr) return;
  *environment_.log << "fennow-link: port " << HexAddress(base)
                    << " is unreachable, so the link will find no Game Boy: " << WhyText(problem)
                    << ". " << RemedyText(problem) << '\n';
}

HostPortEnvironment SystemPortEnvironment() {
  HostPortEnvironment environment;
  environment.openDirect = OpenDirectPort;
  environment.log = &std::cerr;
  return environment;
}

std::unique_ptr<HostPort> MakeHostPort(HostPortEnvironment environment) {
  return std::make_unique<HostPort>(std::move(environment));
}

std::unique_ptr<HostPort> MakeHostPort() {
  return MakeHostPort(SystemPortEnvironment());
}

}  // namespace fennow
