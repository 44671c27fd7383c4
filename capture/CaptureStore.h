#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace fennow {

enum class CaptureKind : std::int32_t { None = 0, Screen = 1, Data = 2 };

inline constexpr int kScreenWidth = 160;
inline constexpr int kScreenHeight = 144;
inline constexpr int kScreenRowBytes = kScreenWidth / 8;              // 20
inline constexpr int kScreenBytes = kScreenRowBytes * kScreenHeight;  // 2880
inline constexpr int kDataBytes = 1205;
inline constexpr int kSampleCount = 1202;  // slots 1202..1204 hold the three scale codes

// Slot of the byte holding pixels 8c..8c+7 of pixel row y (y = 0 at the top): rows are kept
// bottom-up, which is the order a bitmap file wants them in.
constexpr int ScreenSlot(int y, int c) {
  return (kScreenHeight - 1 - y) * kScreenRowBytes + c;
}

// The last capture: one buffer shared by screens and data blocks, and what it holds.
// A screen is stored complemented, so a stored 1 bit is a white pixel.
struct CaptureStore {
  std::array<std::int32_t, kScreenBytes> CaptureBuffer{};
  CaptureKind Kind = CaptureKind::None;

  // The low 8 bits of a slot: all any reader uses.
  std::uint8_t Byte(std::size_t slot) const {
    return static_cast<std::uint8_t>(CaptureBuffer[slot] & 0xFF);
  }
};

}  // namespace fennow
