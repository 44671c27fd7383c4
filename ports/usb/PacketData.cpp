// SPDX-License-Identifier: GPL-3.0-or-later
#include "ports/usb/PacketData.h"

#include <algorithm>

namespace fennow {

std::size_t TakePacketData(std::span<const std::uint8_t> raw, std::size_t packetSize,
                           std::span<std::uint8_t> into) {
  std::size_t taken = 0;
  if (packetSize <= kPacketStatusBytes) return 0;
  for (std::size_t at = 0; at < raw.size() && taken < into.size(); at += packetSize) {
    const std::size_t end = std::min(raw.size(), at + packetSize);
    if (end - at <= kPacketStatusBytes) continue;
    const std::size_t n = std::min(end - at - kPacketStatusBytes, into.size() - taken);
    std::copy_n(raw.begin() + static_cast<std::ptrdiff_t>(at + kPacketStatusBytes), n,
                into.begin() + static_cast<std::ptrdiff_t>(taken));
    taken += n;
  }
  return taken;
}

}  // namespace fennow
