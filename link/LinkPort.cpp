#include "link/LinkPort.h"

#include <string>

#include "link/WindowServices.h"

namespace fennow {

void SelectPort(LinkPort& port, PortChoice choice, WindowServices& ui) {
  const PortAddresses& chosen = AddressesOf(choice);
  port.DataPort = chosen.dataPort;
  port.StatusPort = chosen.statusPort;
  ui.ShowMessage(std::string(chosen.confirmation), "Interface Port",
                 MessageStyle::MB_ICONINFORMATION);
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
