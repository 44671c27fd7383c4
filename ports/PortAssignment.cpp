// SPDX-License-Identifier: GPL-3.0-or-later
#include "ports/PortAssignment.h"

#include <algorithm>
#include <cstdio>

namespace fennow {

bool IsLegacyAddress(std::uint32_t base) {
  return std::any_of(kLegacyAddresses.begin(), kLegacyAddresses.end(),
                     [base](const LegacyPort& port) { return port.dataPort == base; });
}

std::string HexAddress(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
  return text;
}

PortTarget ParallelPortAt(std::uint16_t base) {
  return {base, HexAddress(base)};
}

PortTable LegacyPorts() {
  PortTable table;
  for (std::size_t i = 0; i < kPortChoiceCount; ++i) {
    table[i] = ParallelPortAt(static_cast<std::uint16_t>(kLegacyAddresses[i].dataPort));
  }
  return table;
}

PortTable AssignPorts(std::span<const PortTarget> found) {
  const auto isParallel = [](const PortTarget& port) {
    return port.kind == PortKind::ParallelPort;
  };
  const auto has = [&](std::uint32_t base) {
    return std::any_of(found.begin(), found.end(), [&](const PortTarget& port) {
      return isParallel(port) && port.base == base;
    });
  };
  auto remaining = found.begin();
  const auto nextRemaining = [&]() -> const PortTarget* {
    remaining = std::find_if(remaining, found.end(), [&](const PortTarget& port) {
      return !isParallel(port) || !IsLegacyAddress(port.base);
    });
    return remaining == found.end() ? nullptr : &*remaining++;
  };

  PortTable table = LegacyPorts();
  for (std::size_t i = 0; i < kPortChoiceCount; ++i) {
    if (has(kLegacyAddresses[i].dataPort)) continue;
    const PortTarget* port = nextRemaining();
    if (port == nullptr) continue;
    table[i] = *port;
  }
  return table;
}

}  // namespace fennow
