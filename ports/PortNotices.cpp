// SPDX-License-Identifier: GPL-3.0-or-later
#include "ports/PortNotices.h"

#include "link/WindowServices.h"

namespace fennow {

bool PortNotices::FirstTime(const std::string& port, PortReason reason) {
  return told_.emplace(port, reason).second;
}

void ReachChosenPort(const ChosenPort& chosen, PortDirectory& ports, PortNotices& notices,
                     WindowServices& ui) {
  const std::optional<PortProblem> problem = ports.Reach(chosen.target.base);
  if (!problem || !notices.FirstTime(chosen.target.name, problem->reason)) return;
  const std::string port =
      std::string(AddressesOf(chosen.choice).name) + " (" + chosen.target.name + ")";
  ui.ShowMessage(ExplainProblem(port, *problem), std::string(kPortTitle),
                 MessageStyle::MB_ICONSTOP);
}

}  // namespace fennow
