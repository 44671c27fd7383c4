// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>

#include "link/PortIo.h"

namespace fennow {

// Raw inb/outb on the port's three registers, for a process that already holds the I/O
// privilege (root or CAP_SYS_RAWIO). Null when the kernel refuses access; nothing here asks for
// or raises a privilege.
std::unique_ptr<PortIo> OpenDirectPort(std::uint16_t base);

}  // namespace fennow
