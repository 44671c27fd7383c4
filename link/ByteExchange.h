// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

#include "link/LinkSession.h"
#include "link/Protocol.h"

namespace fennow {

// Sends `out` and receives one byte in the same eight clocks, most significant bit first.
// 26 data-register writes and 8 status reads; leaves clock and data low.
std::uint8_t ExchangeByte(LinkSession& link, std::uint8_t out);

// Receives `count` payload bytes into `bytes`: for each an exchange that sends kIdleByte, then
// the pause the Game Boy needs before it can present the next (kByteSpacingMs). All in one
// streamable script, so a port that queues ahead keeps every pause at the lines and takes the
// whole run in one stream; any other port sees exactly the byte and pause it would one at a time.
void ReceiveBytes(LinkSession& link, int count, std::vector<std::uint8_t>& bytes);

// Clocks single bits, 10 ms apart, until the last eight received read 0x53. True when found,
// false after 350 clocks without it, or at once when the port is lost. Leaves LinkDataOut high
// either way.
bool SyncLink(LinkSession& link);

}  // namespace fennow
