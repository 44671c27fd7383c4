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
  port_.OutputLatch = ChangeLines(port_.OutputLatch, set, clear);
  io_.Write(static_cast<std::uint16_t>(port_.DataPort),
            static_cast<std::uint8_t>(port_.OutputLatch & 0xFFu));
}

std::uint8_t LinkLines::ReadStatus() {
  return io_.Read(static_cast<std::uint16_t>(port_.StatusPort));
}

bool LinkLines::RunWhole(const LineScript& script, LineSamples& samples) {
  if (!io_.RunScript(script, port_, samples)) return false;
  port_.OutputLatch = script.LatchAfter(port_.OutputLatch);
  return true;
}

}  // namespace fennow
