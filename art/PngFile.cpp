// SPDX-License-Identifier: GPL-3.0-or-later
#include "art/PngFile.h"

#include <stdexcept>

#include "export/PngEncoder.h"

namespace fennow::art {

namespace {

bool HasClear(const Canvas& image) {
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (image.At(x, y) == kClear) return true;
    }
  }
  return false;
}

}  // namespace

Bytes EncodePng(const Canvas& image, std::span<const Rgb> palette) {
  const bool clear = HasClear(image);
  if (palette.empty() || palette.size() + (clear ? 1 : 0) > 256) {
    throw std::invalid_argument("a PNG palette holds 1 to 256 colours, a clear one included");
  }
  PngPicture picture;
  picture.width = image.width();
  picture.height = image.height();
  for (const Rgb& c : palette) picture.palette.push_back({c.red, c.green, c.blue});
  const auto clearIndex = static_cast<std::uint8_t>(palette.size() & 0xFF);
  if (clear) picture.palette.push_back({0, 0, 0, 0});
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const std::uint8_t pixel = image.At(x, y);
      if (pixel != kClear && pixel >= palette.size()) {
        throw std::invalid_argument("pixel " + std::to_string(x) + "," + std::to_string(y) +
                                    " has no colour in the palette");
      }
      picture.pixels.push_back(pixel == kClear ? clearIndex : pixel);
    }
  }
  return fennow::EncodePng(picture);
}

}  // namespace fennow::art
