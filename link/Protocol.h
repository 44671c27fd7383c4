// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

// The numbers of the link protocol, each named once: what the Game Boy's sending software and the
// PC agree on, and the waits that give each side time. The link, the transfer, the lead test, the
// simulated Game Boy and the timing benchmark all take them from here.
namespace fennow {

// Bytes on the lead.
inline constexpr std::uint8_t kSyncByte = 0x53;     // 'S': presented by a waiting Game Boy
inline constexpr std::uint8_t kRequestByte = 0x47;  // 'G': the PC asks for a transfer
inline constexpr std::uint8_t kReadyReply = 0x57;   // 'W': in the very exchange that carries 'G'
inline constexpr std::uint8_t kModeScreen = 1;      // the mode byte: a screen follows
inline constexpr std::uint8_t kModeData = 2;        // the mode byte: a data block follows
inline constexpr std::uint8_t kIdleByte = 0;        // what the PC sends after its request

// Counts.
inline constexpr int kBitsPerByte = 8;
inline constexpr int kSyncClockLimit = 350;    // clocks a synchronisation gives before it gives up
inline constexpr int kMaxRequestAttempts = 6;  // the sixth only ever ends the transfer

// What a transfer brings: a 160 x 144 one-bit screen, sent as 18 rows of 20 tiles of 8 x 8 pixels,
// each tile as its 8 pixel rows from the top; or a data block of 1202 samples and 3 scale codes.
inline constexpr int kScreenWidth = 160;
inline constexpr int kScreenHeight = 144;
inline constexpr int kTileSide = 8;
inline constexpr int kTileRows = kScreenHeight / kTileSide;           // 18
inline constexpr int kTileColumns = kScreenWidth / kTileSide;         // 20
inline constexpr int kTileRowBytes = kTileColumns * kTileSide;        // 160, a row of tiles
inline constexpr int kScreenRowBytes = kScreenWidth / kBitsPerByte;   // 20
inline constexpr int kScreenBytes = kScreenRowBytes * kScreenHeight;  // 2880
inline constexpr int kSampleCount = 1202;
inline constexpr int kScaleCodeCount = 3;
inline constexpr int kDataBytes = kSampleCount + kScaleCodeCount;  // 1205

// Waits. The half-bit comes before each rising edge and before each sample; a wait is a lower
// bound, the port accesses around it come on top.
inline constexpr std::int32_t kHalfBitUs = 2;
inline constexpr std::int32_t kSyncSpacingMs = 10;   // after each falling edge while synchronising
inline constexpr std::int32_t kByteSpacingMs = 2;    // after each screen or data byte
inline constexpr std::int32_t kBeforeModeMs = 1000;  // between the 'W' and the mode byte
inline constexpr std::int32_t kAfterModeMs = 500;    // between the mode byte and the payload
inline constexpr std::int32_t kLeadFirstSettleMs = 100;  // lead test: before its first reading
inline constexpr std::int32_t kLeadSettleMs = 10;        // lead test: before each later reading
inline constexpr std::int32_t kCloseIdleMs = 2000;       // the lines held low as the program ends

// Progress, on a bar whose range is 0..100: a step per tile row of a screen (0, 6, ..., 102) and
// a step per ten bytes of a data block (0..120), so the bar is full before the end.
inline constexpr int kProgressPerTileRow = 6;
inline constexpr int kDataBytesPerProgressStep = 10;

}  // namespace fennow
