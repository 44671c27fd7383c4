// SPDX-License-Identifier: GPL-3.0-or-later
#include "ports/ChosenPort.h"

#include "link/FrontEnd.h"
#include "link/LinkSession.h"

namespace fennow {

bool PortNotices::FirstTime(const std::string& port, PortReason reason) {
  return told_.emplace(port, reason).second;
}

std::optional<PortProblem> ReachChosenPort(const ChosenPort& chosen, PortDirectory& ports,
                                           PortNotices& notices, WindowServices& ui,
                                           LinkSession& link) {
  const auto [reached, problem] = ports.Reach(chosen.target);
  link.Use(*reached);
  if (!problem || !notices.FirstTime(chosen.target.name, problem->reason)) return problem;
  const std::string port =
      std::string(AddressesOf(chosen.choice).name) + " (" + chosen.target.name + ")";
  ui.ShowMessage(ExplainProblem(port, *problem), std::string(kPortTitle),
                 MessageStyle::MB_ICONSTOP);
  return problem;
}

void ReleaseChosenPort(const ChosenPort& chosen, PortDirectory& ports, LinkSession& link) {
  link.Use(NoPort());
  ports.Release(chosen.target);
}

}  // namespace fennow
