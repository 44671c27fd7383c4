// SPDX-License-Identifier: GPL-3.0-or-later
#include "art/ImageFiles.h"

#include <stdexcept>
#include <string>

namespace fennow::art {
namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kIconDirSize = 6;
constexpr std::uint32_t kIconEntrySize = 16;

// The formats are little-endian whatever the host is, so values go out a byte at a time.
class Writer {
 public:
  explicit Writer(Bytes& out) : out_(out) {}
  void U8(std::uint8_t v) { out_.push_back(v); }
  void U16(std::uint16_t v) {
    U8(static_cast<std::uint8_t>(v & 0xFF));
    U8(static_cast<std::uint8_t>(v >> 8));
  }
  void U32(std::uint32_t v) {
    U16(static_cast<std::uint16_t>(v & 0xFFFF));
    U16(static_cast<std::uint16_t>(v >> 16));
  }
  void I32(std::int32_t v) { U32(static_cast<std::uint32_t>(v)); }

 private:
  Bytes& out_;
};

std::uint32_t PixelBytes(const Canvas& image, int bits) {
  return static_cast<std::uint32_t>(RowStride(image.width(), bits)) *
         static_cast<std::uint32_t>(image.height());
}

void CheckPalette(std::span<const Rgb> palette) {
  if (BitsForPalette(palette.size()) == 0) {
    throw std::invalid_argument("a palette must hold 2, 16 or 256 colours, not " +
                                std::to_string(palette.size()));
  }
}

// Index to store for a pixel; kClear stores entry 0 (it is masked out or, in a plain bitmap,
// rejected before we get here).
std::uint8_t StoredIndex(std::uint8_t pixel) {
  return pixel == kClear ? 0 : pixel;
}

void CheckPixels(const Canvas& image, std::size_t paletteSize, bool clearAllowed) {
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const std::uint8_t p = image.At(x, y);
      if ((p == kClear && !clearAllowed) || (p != kClear && p >= paletteSize)) {
        throw std::invalid_argument("pixel " + std::to_string(x) + "," + std::to_string(y) +
                                    " has no colour in the palette");
      }
    }
  }
}

void WriteInfoHeader(Writer& w, const Canvas& image, int bits, std::int32_t storedHeight,
                     std::uint32_t imageBytes, std::uint32_t colours) {
  w.U32(kInfoHeaderSize);
  w.I32(image.width());
  w.I32(storedHeight);  // positive: the rows run from the bottom up
  w.U16(1);             // planes
  w.U16(static_cast<std::uint16_t>(bits));
  w.U32(0);  // BI_RGB, no compression
  w.U32(imageBytes);
  w.I32(0);  // no preferred resolution
  w.I32(0);
  w.U32(colours);
  w.U32(0);  // all colours matter
}

void WritePalette(Writer& w, std::span<const Rgb> palette) {
  for (const Rgb& c : palette) {
    w.U8(c.blue);
    w.U8(c.green);
    w.U8(c.red);
    w.U8(0);
  }
}

// Packs rows bottom-up, leftmost pixel in the highest bits of its byte.
void WriteRows(Bytes& out, const Canvas& image, int bits) {
  const std::size_t stride = RowStride(image.width(), bits);
  const int perByte = 8 / bits;
  for (int y = image.height() - 1; y >= 0; --y) {
    Bytes row(stride, 0);
    for (int x = 0; x < image.width(); ++x) {
      const int shift = 8 - bits * (x % perByte + 1);
      row[static_cast<std::size_t>(x / perByte)] |=
          static_cast<std::uint8_t>(StoredIndex(image.At(x, y)) << shift);
    }
    out.insert(out.end(), row.begin(), row.end());
  }
}

// One bit per pixel, set where the pixel is clear, rows padded like any 1-bit bitmap.
void WriteMask(Bytes& out, const Canvas& image) {
  const std::size_t stride = RowStride(image.width(), 1);
  for (int y = image.height() - 1; y >= 0; --y) {
    Bytes row(stride, 0);
    for (int x = 0; x < image.width(); ++x) {
      if (image.At(x, y) == kClear) {
        row[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
      }
    }
    out.insert(out.end(), row.begin(), row.end());
  }
}

}  // namespace

int BitsForPalette(std::size_t paletteSize) {
  switch (paletteSize) {
    case 2:
      return 1;
    case 16:
      return 4;
    case 256:
      return 8;
    default:
      return 0;
  }
}

std::size_t RowStride(int width, int bitsPerPixel) {
  const std::size_t bits = static_cast<std::size_t>(width) * static_cast<std::size_t>(bitsPerPixel);
  return (bits + 31) / 32 * 4;
}

Bytes EncodeBmp(const Canvas& image, std::span<const Rgb> palette) {
  CheckPalette(palette);
  CheckPixels(image, palette.size(), false);
  const int bits = BitsForPalette(palette.size());
  const auto colours = static_cast<std::uint32_t>(palette.size());
  const std::uint32_t pixelOffset = kFileHeaderSize + kInfoHeaderSize + 4 * colours;
  const std::uint32_t imageBytes = PixelBytes(image, bits);

  Bytes out;
  Writer w(out);
  w.U8('B');
  w.U8('M');
  w.U32(pixelOffset + imageBytes);
  w.U32(0);  // two reserved words
  w.U32(pixelOffset);
  WriteInfoHeader(w, image, bits, image.height(), imageBytes, colours);
  WritePalette(w, palette);
  WriteRows(out, image, bits);
  return out;
}

Bytes EncodeIco(std::span<const Canvas> images, std::span<const Rgb> palette) {
  CheckPalette(palette);
  if (palette.front() != Rgb{0, 0, 0}) {
    throw std::invalid_argument("an icon palette must start with black");
  }
  if (images.empty()) throw std::invalid_argument("an icon needs at least one image");
  const int bits = BitsForPalette(palette.size());
  const auto colours = static_cast<std::uint32_t>(palette.size());

  std::vector<std::uint32_t> sizes;
  for (const Canvas& image : images) {
    if (image.width() > 256 || image.height() > 256) {
      throw std::invalid_argument("an icon image may be at most 256 pixels on a side");
    }
    CheckPixels(image, palette.size(), true);
    sizes.push_back(kInfoHeaderSize + 4 * colours + PixelBytes(image, bits) + PixelBytes(image, 1));
  }

  Bytes out;
  Writer w(out);
  w.U16(0);  // reserved
  w.U16(1);  // resource type: icon
  w.U16(static_cast<std::uint16_t>(images.size()));
  std::uint32_t offset = kIconDirSize + kIconEntrySize * static_cast<std::uint32_t>(images.size());
  for (std::size_t i = 0; i < images.size(); ++i) {
    // A side of 256 is stored as 0, as is a colour count of 256.
    w.U8(static_cast<std::uint8_t>(images[i].width() & 0xFF));
    w.U8(static_cast<std::uint8_t>(images[i].height() & 0xFF));
    w.U8(static_cast<std::uint8_t>(colours & 0xFF));
    w.U8(0);
    w.U16(1);  // planes
    w.U16(static_cast<std::uint16_t>(bits));
    w.U32(sizes[i]);
    w.U32(offset);
    offset += sizes[i];
  }
  for (const Canvas& image : images) {
    // The stored height covers the colour rows and the mask rows together.
    WriteInfoHeader(w, image, bits, 2 * image.height(),
                    PixelBytes(image, bits) + PixelBytes(image, 1), colours);
    WritePalette(w, palette);
    WriteRows(out, image, bits);
    WriteMask(out, image);
  }
  return out;
}

}  // namespace fennow::art
