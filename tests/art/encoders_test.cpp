// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <array>
#include <stdexcept>
#include <string>

#include "art/ImageFiles.h"
#include "art/PngFile.h"
#include "tests/support/Files.h"

namespace fennow::test {
namespace {

using art::Canvas;
using art::Rgb;

std::vector<Rgb> Greys(std::size_t n) {
  std::vector<Rgb> palette;
  for (std::size_t i = 0; i < n; ++i) {
    const auto v = static_cast<std::uint8_t>(i * 255 / (n - 1));
    palette.push_back({v, v, v});
  }
  return palette;
}

// A canvas whose rows are given top row first, one palette index per character ('0'-'9',
// 'a'-'f' for 10-15, '.' for a clear pixel).
Canvas Pixels(std::initializer_list<std::string_view> rows) {
  Canvas c(static_cast<int>(rows.begin()->size()), static_cast<int>(rows.size()), 0);
  int y = 0;
  for (const std::string_view row : rows) {
    for (int x = 0; x < c.width(); ++x) {
      const char s = row[static_cast<std::size_t>(x)];
      c.Set(x, y,
            s == '.'   ? art::kClear
            : s <= '9' ? static_cast<std::uint8_t>(s - '0')
                       : static_cast<std::uint8_t>(s - 'a' + 10));
    }
    ++y;
  }
  return c;
}

struct StrideCase {
  int width;
  int bits;
  std::size_t stride;
  friend void PrintTo(const StrideCase& c, std::ostream* os) {
    *os << c.width << " pixels at " << c.bits << " bits";
  }
};

class RowStrideTest : public ::testing::TestWithParam<StrideCase> {};

TEST_P(RowStrideTest, PadsRowsToWholeWords) {
  EXPECT_EQ(art::RowStride(GetParam().width, GetParam().bits), GetParam().stride);
}

INSTANTIATE_TEST_SUITE_P(Widths, RowStrideTest,
                         ::testing::Values(StrideCase{160, 1, 20}, StrideCase{1, 1, 4},
                                           StrideCase{32, 1, 4}, StrideCase{33, 1, 8},
                                           StrideCase{16, 1, 4}, StrideCase{16, 4, 8},
                                           StrideCase{9, 4, 8}, StrideCase{32, 4, 16},
                                           StrideCase{5, 8, 8}, StrideCase{32, 8, 32}));

struct PackCase {
  const char* what;
  std::size_t colours;
  Canvas image;
  art::Bytes rows;  // the stored pixel rows, bottom row first
  friend void PrintTo(const PackCase& c, std::ostream* os) { *os << c.what; }
};

class PixelPackingTest : public ::testing::TestWithParam<PackCase> {};

TEST_P(PixelPackingTest, StoresRowsBottomUpLeftmostPixelHighest) {
  const PackCase& c = GetParam();
  const art::Bytes file = art::EncodeBmp(c.image, Greys(c.colours));
  const std::size_t start = U32(file, 10);
  ASSERT_EQ(file.size(), start + c.rows.size()) << c.what;
  EXPECT_EQ(art::Bytes(file.begin() + static_cast<std::ptrdiff_t>(start), file.end()), c.rows)
      << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Depths, PixelPackingTest,
    ::testing::Values(
        PackCase{"OneBit",
                 2,
                 Pixels({"1000000001", "0110000000"}),
                 {0x60, 0x00, 0x00, 0x00, 0x80, 0x40, 0x00, 0x00}},
        PackCase{"FourBits", 16, Pixels({"12f", "a00"}), {0xA0, 0x00, 0, 0, 0x12, 0xF0, 0, 0}},
        PackCase{"EightBits", 256, Pixels({"09", "f1"}), {0x0F, 0x01, 0, 0, 0x00, 0x09, 0, 0}}),
    [](const auto& param) { return std::string(param.param.what); });

TEST(EncodeIco, MasksClearPixelsAndStoresBlackUnderThem) {
  const std::array<Canvas, 2> images = {Pixels({"1.", ".2"}), Pixels({"3"})};
  std::vector<Rgb> palette = Greys(16);
  const art::Bytes file = art::EncodeIco(images, palette);

  ASSERT_EQ(U16(file, 4), 2u);
  const std::size_t first = U32(file, 6 + 12);

  EXPECT_EQ(U32(file, first + 8), 4u);  // twice the height: colour rows, then mask rows
  const std::size_t colours = first + 40 + 16 * 4;
  // Bottom row ".2" then top row "1.", each padded to 4 bytes.
  EXPECT_EQ(file[colours], 0x02);
  EXPECT_EQ(file[colours + 4], 0x10);
  const std::size_t mask = colours + 8;
  EXPECT_EQ(file[mask], 0x80);
  EXPECT_EQ(file[mask + 4], 0x40);
}

TEST(Encoders, RejectWhatTheFormatCannotHold) {
  const Canvas plain = Pixels({"01"});
  const std::array<Canvas, 1> icon = {plain};
  std::vector<Rgb> notBlackFirst = Greys(16);
  notBlackFirst[0] = {0, 0, 1};
  const std::array<Canvas, 1> tooBig = {Canvas(257, 1, 0)};

  EXPECT_THROW(art::EncodeBmp(plain, Greys(3)), std::invalid_argument);
  EXPECT_THROW(art::EncodeBmp(Pixels({"2"}), Greys(2)), std::invalid_argument);
  EXPECT_THROW(art::EncodeBmp(Pixels({"."}), Greys(16)), std::invalid_argument);
  EXPECT_THROW(art::EncodeIco(icon, notBlackFirst), std::invalid_argument);
  EXPECT_THROW(art::EncodeIco(tooBig, Greys(16)), std::invalid_argument);
  EXPECT_THROW(art::EncodeIco(std::span<const Canvas>(), Greys(16)), std::invalid_argument);
  EXPECT_NO_THROW(art::EncodeIco(icon, Greys(2)));
}

TEST(EncodePng, RejectsWhatAPaletteCannotHold) {
  const art::Canvas clear(1, 1, art::kClear);
  EXPECT_NO_THROW(art::EncodePng(clear, Greys(255)));  // 255 colours and the clear one
  EXPECT_THROW(art::EncodePng(clear, Greys(256)), std::invalid_argument);
  EXPECT_THROW(art::EncodePng(art::Canvas(1, 1, 2), Greys(2)), std::invalid_argument);
  EXPECT_THROW(art::EncodePng(art::Canvas(1, 1, 0), {}), std::invalid_argument);
}

TEST(ScaledUp, MakesEachPixelASquareBlock) {
  art::Canvas image(2, 1, 0);
  image.Set(1, 0, art::kClear);
  const art::Canvas scaled = art::ScaledUp(image, 3);
  ASSERT_EQ(scaled.width(), 6);
  ASSERT_EQ(scaled.height(), 3);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 6; ++x) EXPECT_EQ(scaled.At(x, y), x < 3 ? 0 : art::kClear) << x << y;
  }
  EXPECT_EQ(art::ScaledUp(image, 1), image);
  EXPECT_THROW(art::ScaledUp(image, 0), std::invalid_argument);
}

}  // namespace
}  // namespace fennow::test
