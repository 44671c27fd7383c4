// SPDX-License-Identifier: GPL-3.0-or-later
#include "ports/PortSelection.h"

#include <string>

namespace fennow {

void PointPortAt(LinkPort& port, PortChoice choice, const PortTarget& target) {
  const LegacyPort& legacy = AddressesOf(choice);
  if (target.kind == PortKind::UsbAdapter) {
    port.DataPort = static_cast<std::uint16_t>(legacy.dataPort);
    port.StatusPort = static_cast<std::uint16_t>(legacy.statusPort);
    return;
  }
  port.DataPort = target.base;
  // Every base the system offers leaves room for its status register (ParseBaseAddress).
  port.StatusPort = static_cast<std::uint16_t>(target.base + 1u);
}

PortTarget SelectPort(LinkPort& port, PortChoice choice, const PortTable& table,
                      WindowServices& ui) {
  const PortTarget& chosen = TargetOf(table, choice);
  PointPortAt(port, choice, chosen);
  ui.ShowMessage(
      "Interface Port set to " + std::string(AddressesOf(choice).name) + " (" + chosen.name + ")",
      std::string(kPortTitle), MessageStyle::MB_ICONINFORMATION);
  return chosen;
}

}  // namespace fennow
