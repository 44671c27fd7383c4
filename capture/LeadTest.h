// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/FrontEnd.h"
#include "link/LinkSession.h"

namespace fennow {

// With the lead in the PC and out of the Game Boy, a sound lead loops LoopDrive back to
// LoopSense, which the port's BUSY input reads inverted. Drives the loop low, high, low, high,
// reads it after each step and explains the result. A port lost on the way is reported as lost,
// in an "Interface Port" box, instead of a verdict. Returns true when the lead looped back.
bool TestLink(LinkSession& link, WindowServices& ui);

}  // namespace fennow
