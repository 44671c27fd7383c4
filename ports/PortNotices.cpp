// SPDX-License-Identifier: GPL-3.0-or-later
#include "ports/PortNotices.h"

#include "link/WindowServices.h"

namespace fennow {

bool PortNotices::FirstTime(const std::string& port, PortReason reason) {
  return told_.emplace(port, reason).second;
}

std::optional<PortProblem> ReachChosenPort(const ChosenPort& chosen, PortDirectory& ports,
                                           PortNotices& notices, WindowServices& ui) {
  std::optional<PortProblem> problem = ports.Reach(chosen.target.base);
  if (!problem || !notices.FirstTime(chosen.target.name, problem->reason)) return problem;
  const std::string port =
      std::string(AddressesOf(chosen.choice).name) + " (" + chosen.target.name + ")";
  ui.ShowMessage(ExplainProblem(port, *problem), std::string(kPortTitle),
                 MessageStyle::MB_ICONSTOP);
  return problem;
}

}  // namespace fennow
