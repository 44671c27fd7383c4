// SPDX-License-Identifier: GPL-3.0-or-later
#include "art/PngFile.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string>
#include <string_view>

namespace fennow::art {
namespace {

constexpr std::array<std::uint8_t, 8> kSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::uint8_t kBitDepth = 8;
constexpr std::uint8_t kIndexedColour = 3;
constexpr std::uint8_t kNoFilter = 0;
constexpr std::size_t kMaxStoredBlock = 0xFFFF;
// zlib header: deflate with a 32 KiB window, no dictionary, "fastest" level; the pair is a
// multiple of 31 as the format requires.
constexpr std::array<std::uint8_t, 2> kZlibHeader{0x78, 0x01};

// PNG's numbers are big-endian.
void Put32(Bytes& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) {
    out.push_back(static_cast<std::uint8_t>((value >> shift) & 0xFF));
  }
}

void PutChunk(Bytes& out, std::string_view type, const Bytes& data) {
  Put32(out, static_cast<std::uint32_t>(data.size()));
  Bytes checked(type.begin(), type.end());
  checked.insert(checked.end(), data.begin(), data.end());
  out.insert(out.end(), checked.begin(), checked.end());
  Put32(out, Crc32(checked));
}

// Each row starts with its filter type; the rows are then a zlib stream of stored blocks.
Bytes Scanlines(const Canvas& image, std::uint8_t clearIndex) {
  Bytes rows;
  rows.reserve(static_cast<std::size_t>(image.height()) *
               (static_cast<std::size_t>(image.width()) + 1));
  for (int y = 0; y < image.height(); ++y) {
    rows.push_back(kNoFilter);
    for (int x = 0; x < image.width(); ++x) {
      const std::uint8_t pixel = image.At(x, y);
      rows.push_back(pixel == kClear ? clearIndex : pixel);
    }
  }
  return rows;
}

Bytes StoredZlib(const Bytes& raw) {
  Bytes out(kZlibHeader.begin(), kZlibHeader.end());
  std::size_t at = 0;
  do {
    const std::size_t length = std::min(kMaxStoredBlock, raw.size() - at);
    const bool last = at + length == raw.size();
    out.push_back(last ? 0x01 : 0x00);  // BFINAL, then BTYPE 00: stored
    const auto len = static_cast<std::uint16_t>(length);
    const auto nlen = static_cast<std::uint16_t>(~len);
    // The block's lengths are little-endian, unlike the rest of PNG.
    for (std::uint16_t value : {len, nlen}) {
      out.push_back(static_cast<std::uint8_t>(value & 0xFF));
      out.push_back(static_cast<std::uint8_t>(value >> 8));
    }
    out.insert(out.end(), raw.begin() + static_cast<std::ptrdiff_t>(at),
               raw.begin() + static_cast<std::ptrdiff_t>(at + length));
    at += length;
  } while (at < raw.size());
  Put32(out, Adler32(raw));
  return out;
}

bool HasClear(const Canvas& image) {
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (image.At(x, y) == kClear) return true;
    }
  }
  return false;
}

void CheckPixels(const Canvas& image, std::size_t paletteSize) {
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const std::uint8_t pixel = image.At(x, y);
      if (pixel != kClear && pixel >= paletteSize) {
        throw std::invalid_argument("pixel " + std::to_string(x) + "," + std::to_string(y) +
                                    " has no colour in the palette");
      }
    }
  }
}

}  // namespace

std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> entries{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      entries[n] = c;
    }
    return entries;
  }();
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::uint8_t byte : bytes) crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

std::uint32_t Adler32(std::span<const std::uint8_t> bytes) {
  constexpr std::uint32_t kModulus = 65521;
  std::uint32_t a = 1;
  std::uint32_t b = 0;
  for (std::uint8_t byte : bytes) {
    a = (a + byte) % kModulus;
    b = (b + a) % kModulus;
  }
  return b << 16 | a;
}

Bytes EncodePng(const Canvas& image, std::span<const Rgb> palette) {
  const bool clear = HasClear(image);
  const std::size_t entries = palette.size() + (clear ? 1 : 0);
  if (palette.empty() || entries > 256) {
    throw std::invalid_argument("a PNG palette holds 1 to 256 colours, a clear one included");
  }
  CheckPixels(image, palette.size());
  const auto clearIndex = static_cast<std::uint8_t>(palette.size() & 0xFF);

  Bytes header;
  Put32(header, static_cast<std::uint32_t>(image.width()));
  Put32(header, static_cast<std::uint32_t>(image.height()));
  header.insert(header.end(), {kBitDepth, kIndexedColour, 0, 0, 0});  // deflate, no interlace

  Bytes colours;
  for (const Rgb& c : palette) colours.insert(colours.end(), {c.red, c.green, c.blue});
  if (clear) colours.insert(colours.end(), {0, 0, 0});

  Bytes out(kSignature.begin(), kSignature.end());
  PutChunk(out, "IHDR", header);
  PutChunk(out, "PLTE", colours);
  if (clear) {
    Bytes alpha(palette.size(), 0xFF);  // every colour opaque, the added one transparent
    alpha.push_back(0x00);
    PutChunk(out, "tRNS", alpha);
  }
  PutChunk(out, "IDAT", StoredZlib(Scanlines(image, clearIndex)));
  PutChunk(out, "IEND", {});
  return out;
}

}  // namespace fennow::art
