#include "link/HostPort.h"

#include <iostream>
#include <map>
#include <sstream>

#include "link/DirectPort.h"
#include "link/ParportDevice.h"

namespace fennow {

namespace {

// A port that is not there: what the lines of an empty socket read like.
class UnreachablePort final : public PortIo {
 public:
  void Write(std::uint16_t, std::uint8_t) override {}
  std::uint8_t Read(std::uint16_t) override { return 0xFF; }
};

std::string Hex(std::uint32_t value) {
  std::ostringstream text;
  text << "0x" << std::uppercase << std::hex << value;
  return text.str();
}

class HostPort final : public PortIo {
 public:
  explicit HostPort(HostPortEnvironment environment) : environment_(std::move(environment)) {}

  // Writes only ever go to a data register, which is the port's base address; reads only ever
  // come from a status register, the address after it.
  void Write(std::uint16_t address, std::uint8_t value) override {
    PortAt(address).Write(address, value);
  }
  std::uint8_t Read(std::uint16_t address) override {
    return PortAt(static_cast<std::uint16_t>(address - 1)).Read(address);
  }

 private:
  PortIo& PortAt(std::uint16_t base) {
    auto found = ports_.find(base);
    if (found == ports_.end()) found = ports_.emplace(base, Open(base)).first;
    return *found->second;
  }

  std::unique_ptr<PortIo> Open(std::uint16_t base) {
    std::string reason;
    if (auto device =
            FindParportDevice(environment_.parportProcRoot, environment_.deviceRoot, base)) {
      DeviceOpenResult opened = OpenParportDevice(*device, base);
      if (opened.port) return std::move(opened.port);
      reason = opened.reason;
    } else {
      reason =
          "no parallel-port device has that base address (is the parport_pc module loaded "
          "and the port set to standard mode?)";
    }
    if (environment_.openDirect) {
      if (auto direct = environment_.openDirect(base)) return direct;
    }
    if (environment_.log) {
      *environment_.log << "fennow-link: port " << Hex(base)
                        << " is unreachable, so the link will find no Game Boy: " << reason << '\n';
    }
    return std::make_unique<UnreachablePort>();
  }

  HostPortEnvironment environment_;
  std::map<std::uint16_t, std::unique_ptr<PortIo>> ports_;
};

}  // namespace

HostPortEnvironment SystemPortEnvironment() {
  HostPortEnvironment environment;
  environment.openDirect = OpenDirectPort;
  environment.log = &std::cerr;
  return environment;
}

std::unique_ptr<PortIo> MakeHostPort(HostPortEnvironment environment) {
  return std::make_unique<HostPort>(std::move(environment));
}

std::unique_ptr<PortIo> MakeHostPort() {
  return MakeHostPort(SystemPortEnvironment());
}

}  // namespace fennow
