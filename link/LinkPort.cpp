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
