#pragma once

#include <cstdint>

#include "link/LinkSession.h"

namespace fennow {

inline constexpr std::uint8_t kSyncByte = 0x53;  // 'S', presented by a waiting Game Boy
inline constexpr int kSyncClockLimit = 350;

// Sends `out` and receives one byte in the same eight clocks, most significant bit first.
// 26 data-register writes and 8 status reads; leaves clock and data low.
std::uint8_t ExchangeByte(LinkSession& link, std::uint8_t out);

// Clocks single bits, 10 ms apart, until the last eight received read 0x53.
// 0 when found, 1 after 350 clocks without it. Leaves LinkDataOut high.
int SyncLink(LinkSession& link);

}  // namespace fennow
