// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "link/Protocol.h"

namespace fennow {

enum class CaptureKind : std::int32_t { None = 0, Screen = 1, Data = 2 };

// Slot of the byte holding pixels 8c..8c+7 of pixel row y (y = 0 at the top): rows are kept
// bottom-up, which is the order a bitmap file wants them in.
constexpr int ScreenSlot(int y, int c) {
  return (kScreenHeight - 1 - y) * kScreenRowBytes + c;
}

// The last capture: one buffer shared by screens and data blocks, and what it holds.
// A screen is stored complemented, so a stored 1 bit is a white pixel.
// Slots 0..1201 of a data block hold the samples and slots 1202..1204 the three scale codes.
struct CaptureStore {
  std::array<std::int32_t, kScreenBytes> CaptureBuffer{};
  CaptureKind Kind = CaptureKind::None;
  // When the capture held now was completed, in seconds since 1970 (UTC); 0 when not known.
  std::int64_t CapturedAt = 0;

  // The low 8 bits of a slot: all any reader uses.
  std::uint8_t Byte(std::size_t slot) const {
    return static_cast<std::uint8_t>(CaptureBuffer[slot] & 0xFF);
  }
};

}  // namespace fennow
