// SPDX-License-Identifier: GPL-3.0-or-later
#include "ports/PortSelection.h"

#include <string>

namespace fennow {

void PointPortAt(LinkPort& port, const PortTarget& target) {
  port.DataPort = target.base;
  // Every base the system offers leaves room for its status register (ParseBaseAddress), and an
  // adapter's is a legacy address.
  port.StatusPort = static_cast<std::uint16_t>(target.base + 1u);
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

}  // namespace fennow
