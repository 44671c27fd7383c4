// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace fennow {

struct PngColour {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  std::uint8_t alpha = 0xFF;
  bool operator==(const PngColour&) const = default;
};

// An indexed picture as a PNG file holds it: one palette index a pixel, rows top first.
struct PngPicture {
  int width = 0;
  int height = 0;
  std::vector<PngColour> palette;                         // 1 to 256 colours
  std::vector<std::uint8_t> pixels;                       // width * height indices into the palette
  std::vector<std::pair<std::string, std::string>> text;  // keyword and Latin-1 text, in order
};

// The PNG file of a picture, compressed by libpng at its strongest setting. The pixels are packed
// at the fewest bits that hold every index (1 bit for two colours), and a palette with any
// translucent colour gets its alpha values too. Throws std::invalid_argument for a picture the
// format cannot hold (no palette, more than 256 colours, an index past the palette, a size that
// does not match the pixels, a keyword of the wrong length), std::runtime_error when libpng
// fails.
std::vector<std::uint8_t> EncodePng(const PngPicture& picture);

}  // namespace fennow
