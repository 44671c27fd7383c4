// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <set>
#include <string>
#include <utility>

#include "ports/PortDirectory.h"

namespace fennow {

class WindowServices;
struct LinkSession;

// The port the user chose and what it reaches.
struct ChosenPort {
  PortChoice choice = PortChoice::LPT1;
  PortTarget target;
};

// Which ports the user has been told cannot be reached, and why: each port and reason once a run.
class PortNotices {
 public:
  // True the first time `port` comes up with `reason`.
  bool FirstTime(const std::string& port, PortReason reason);

 private:
  std::set<std::pair<std::string, PortReason>> told_;
};

// Runs before each operation on the lead (Start Transfer, Test): readies the chosen port, hands
// the link the port object it reached, and, the first time in the run that it fails for a reason,
// tells the user which port, why and what to do, in an "Interface Port" box. The window runs the
// operation afterwards either way, on a port that reads like an empty socket, so the user still
// sees the outcome it gives. Returns why the port cannot be reached, told or not.
std::optional<PortProblem> ReachChosenPort(const ChosenPort& chosen, PortDirectory& ports,
                                           PortNotices& notices, WindowServices& ui,
                                           LinkSession& link);

// Runs after each operation on the lead: the link lets go of the port object it was given, and
// the directory of what others may use between operations (a parallel port's claim).
void ReleaseChosenPort(const ChosenPort& chosen, PortDirectory& ports, LinkSession& link);

}  // namespace fennow
