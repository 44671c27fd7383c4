// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "art/Canvas.h"

namespace fennow::art {

struct Rgb {
  std::uint8_t red;
  std::uint8_t green;
  std::uint8_t blue;
  bool operator==(const Rgb&) const = default;
};

using Bytes = std::vector<std::uint8_t>;

// Bits per pixel that go with a palette of 2, 16 or 256 colours (1, 4, 8); 0 for any other size.
int BitsForPalette(std::size_t paletteSize);

// Bytes in one stored row of a bitmap: rows are padded to whole 32-bit words.
std::size_t RowStride(int width, int bitsPerPixel);

// An uncompressed bottom-up Windows bitmap (.bmp). The palette is written in full, so its size
// picks the bits per pixel; every pixel must index it. Throws std::invalid_argument otherwise.
Bytes EncodeBmp(const Canvas& image, std::span<const Rgb> palette);

// A Windows icon (.ico) holding the images in the order given, all with the one palette.
// kClear pixels become transparent through the AND mask; the colour stored under them is
// palette entry 0, which must be black so that the XOR pass leaves the desktop unchanged.
// Images may be at most 256 pixels on a side.
Bytes EncodeIco(std::span<const Canvas> images, std::span<const Rgb> palette);

}  // namespace fennow::art
