#pragma once

#include <memory>

#include "link/PortIo.h"

namespace fennow {

// The port of the real program: each base address the link uses is reached through the
// kernel's parallel-port device whose base matches it, through direct port I/O when the process
// already holds that privilege, or else not at all (writes lost, reads 0xFF, one line on stderr).
std::unique_ptr<PortIo> MakeHostPort();

}  // namespace fennow
