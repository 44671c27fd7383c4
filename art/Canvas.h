// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace fennow::art {

// A pixel that no drawing has touched; an icon shows the desktop through it.
inline constexpr std::uint8_t kClear = 0xFF;

// One symbol of a piece of ASCII art and the palette index it stands for.
struct Ink {
  char symbol;
  std::uint8_t index;
};

// A grid of palette indices, top row first. Drawing outside the grid is clipped, so shapes may run
// off an edge; reading outside it is a fault in the caller and throws.
class Canvas {
 public:
  Canvas(int width, int height, std::uint8_t fill);

  int width() const { return width_; }
  int height() const { return height_; }
  std::uint8_t At(int x, int y) const;
  bool operator==(const Canvas&) const = default;

  void Set(int x, int y, std::uint8_t index);
  void FillRect(int x, int y, int w, int h, std::uint8_t index);
  void FrameRect(int x, int y, int w, int h, std::uint8_t index);
  void Line(int x0, int y0, int x1, int y1, std::uint8_t index);
  // Copies ASCII art with its top-left corner at (x, y). '.' leaves the pixel as it was; any
  // other symbol must be in inks, and all rows must be equally long, or the art is rejected.
  void Paint(int x, int y, std::span<const std::string_view> rows, std::span<const Ink> inks);

 private:
  int width_;
  int height_;
  std::vector<std::uint8_t> pixels_;
};

// Each pixel made a factor x factor block: pixel art enlarged without blurring. A factor below 1
// throws std::invalid_argument.
Canvas ScaledUp(const Canvas& image, int factor);

}  // namespace fennow::art
