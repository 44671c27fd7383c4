// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/FrontEnd.h"
#include "link/LinkLines.h"
#include "ports/PortAssignment.h"

namespace fennow {

// Points the port's addresses at what a choice reaches: its data register and the status register
// after it. A target without an address of its own (a USB adapter) leaves the choice's legacy
// addresses, which the link then only shows and keeps; its accesses go to the port object.
void PointPortAt(LinkPort& port, PortChoice choice, const PortTarget& target);

// Points the port at what the choice reaches in `table` and confirms the choice, naming the
// address: "Interface Port set to LPT1 (0x378)". Writes nothing to any port, so a line left high
// on the old port stays high there, and the new port first sees the latch as it stands. Returns
// the target chosen.
PortTarget SelectPort(LinkPort& port, PortChoice choice, const PortTable& table,
                      WindowServices& ui);

}  // namespace fennow
