// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>

#include "art/Canvas.h"
#include "art/ImageFiles.h"

namespace fennow::art {

// A PNG file of an indexed image: 8 bits per pixel, the palette written in full, and kClear pixels
// made transparent through one more palette entry. The pixels are stored, not compressed (deflate
// "stored" blocks), which keeps the encoder small; icons of at most 256 x 256 pixels stay small
// enough. Throws std::invalid_argument when a pixel has no colour or the palette is too large.
Bytes EncodePng(const Canvas& image, std::span<const Rgb> palette);

// The check values PNG files and their zlib streams carry.
std::uint32_t Crc32(std::span<const std::uint8_t> bytes);
std::uint32_t Adler32(std::span<const std::uint8_t> bytes);

}  // namespace fennow::art
