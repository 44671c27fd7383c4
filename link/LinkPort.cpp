#include "link/LinkPort.h"

#include <string>

#include "link/WindowServices.h"

namespace fennow {

void PointPortAt(LinkPort& port, const PortTarget& target) {
  port.DataPort = target.base;
  port.StatusPort = target.base + 1u;
}

PortTarget SelectPort(LinkPort& port, PortChoice choice, const PortTable& table,
                      WindowServices& ui) {
  const PortTarget& chosen = TargetOf(table, choice);
  PointPortAt(port, chosen);
  ui.ShowMessage(
      "Interface Port set to " + std::string(AddressesOf(choice).name) + " (" + chosen.name + ")",
      std::string(kPortTitle), MessageStyle::MB_ICONINFORMATION);
  return chosen;
}

void LinkLines::Change(std::uint32_t set, std::uint32_t clear) {
  port_.OutputLatch = (port_.OutputLatch & ~clear) | set;
  io_.Write(static_cast<std::uint16_t>(port_.DataPort),
            static_cast<std::uint8_t>(port_.OutputLatch & 0xFFu));
}

bool LinkLines::Read(std::uint32_t line) {
  return (io_.Read(static_cast<std::uint16_t>(port_.StatusPort)) & line) != 0;
}

}  // namespace fennow
