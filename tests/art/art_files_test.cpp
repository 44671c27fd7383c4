// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "art/Artwork.h"
#include "tests/support/Files.h"

namespace fennow::test {
namespace {

art::Bytes BuiltFile(const std::string& name) {
  const std::string file = ReadFile(FENNOW_ART_DIR "/" + name);
  return art::Bytes(file.begin(), file.end());
}

struct BitmapCase {
  std::string name;
  std::uint32_t width;
  std::uint32_t height;
  std::uint32_t bits;
  std::uint32_t colours;
  std::vector<art::Rgb> (*palette)();
  friend void PrintTo(const BitmapCase& c, std::ostream* os) { *os << c.name; }
};

class BuiltBitmapTest : public ::testing::TestWithParam<BitmapCase> {};

TEST_P(BuiltBitmapTest, HeadersDescribeAnUncompressedBottomUpImage) {
  const BitmapCase c = GetParam();
  const art::Bytes file = BuiltFile(c.name);
  const std::uint32_t stride = (c.width * c.bits + 31) / 32 * 4;
  const std::uint32_t pixelStart = 14 + 40 + 4 * c.colours;

  ASSERT_GE(file.size(), 54u);
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[1], 'M');
  EXPECT_EQ(U32(file, 2), file.size());
  EXPECT_EQ(U32(file, 10), pixelStart);
  EXPECT_EQ(U32(file, 14), 40u);
  EXPECT_EQ(U32(file, 18), c.width);
  EXPECT_EQ(U32(file, 22), c.height);  // positive, so the rows run bottom-up
  EXPECT_EQ(U16(file, 26), 1u);
  EXPECT_EQ(U16(file, 28), c.bits);
  EXPECT_EQ(U32(file, 30), 0u);  // no compression
  EXPECT_EQ(U32(file, 34), stride * c.height);
  EXPECT_EQ(U32(file, 46), c.colours);
  EXPECT_EQ(file.size(), pixelStart + stride * c.height);
  const std::vector<art::Rgb> palette = c.palette();
  ASSERT_EQ(palette.size(), c.colours);
  for (std::size_t i = 0; i < palette.size(); ++i) {
    const art::Rgb& p = palette[i];
    EXPECT_EQ(U32(file, 54 + 4 * i), std::uint32_t{p.red} << 16 | p.green << 8 | p.blue)
        << "palette entry " << i;  // stored blue, green, red, then a zero byte
  }
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, BuiltBitmapTest,
    ::testing::Values(BitmapCase{"bitmap131.bmp", 160, 144, 1, 2, art::IdlePalette},
                      BitmapCase{"bitmap134.bmp", 32, 32, 8, 256, art::AboutPalette}),
    [](const auto& param) { return param.param.name.substr(0, 9); });

TEST(BuiltIdlePicture, PaletteIsBlackThenWhite) {
  const art::Bytes file = BuiltFile("bitmap131.bmp");
  EXPECT_EQ(U32(file, 54), 0x00000000u);
  EXPECT_EQ(U32(file, 58), 0x00FFFFFFu);
  EXPECT_EQ(file.size(), 2942u);  // the same size as a saved screen
}

TEST(BuiltIcon, DirectoryHoldsA32AndA16PixelImageOf16Colours) {
  const art::Bytes file = BuiltFile("icon128.ico");
  ASSERT_GE(file.size(), 38u);
  EXPECT_EQ(U16(file, 0), 0u);
  EXPECT_EQ(U16(file, 2), 1u);  // an icon, not a cursor
  ASSERT_EQ(U16(file, 4), 2u);

  std::uint32_t expectedOffset = 6 + 2 * 16;
  const std::uint32_t sides[] = {32, 16};
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE("image " + std::to_string(i));
    const std::size_t entry = 6 + 16 * static_cast<std::size_t>(i);
    const std::uint32_t side = sides[i];
    EXPECT_EQ(file[entry], side);
    EXPECT_EQ(file[entry + 1], side);
    EXPECT_EQ(file[entry + 2], 16);
    EXPECT_EQ(U16(file, entry + 6), 4u);
    const std::uint32_t size = U32(file, entry + 8);
    const std::uint32_t offset = U32(file, entry + 12);
    EXPECT_EQ(offset, expectedOffset);
    // Header, 16 colours, 4-bit colour rows and the 1-bit mask, each row a whole word.
    const std::uint32_t colourRows = (side * 4 + 31) / 32 * 4 * side;
    const std::uint32_t maskRows = (side + 31) / 32 * 4 * side;
    EXPECT_EQ(size, 40 + 16 * 4 + colourRows + maskRows);

    EXPECT_EQ(U32(file, offset), 40u);
    EXPECT_EQ(U32(file, offset + 4), side);
    EXPECT_EQ(U32(file, offset + 8), 2 * side);  // colour rows and mask rows together
    EXPECT_EQ(U16(file, offset + 14), 4u);
    EXPECT_EQ(U32(file, offset + 16), 0u);
    EXPECT_EQ(U32(file, offset + 40), 0u);  // palette entry 0, black, lies under masked pixels
    expectedOffset = offset + size;
  }
  EXPECT_EQ(file.size(), expectedOffset);
}

// The files in the build are exactly what the code draws now, and drawing twice gives the same
// bytes: nothing depends on the clock, uninitialised memory or the order of anything unordered.
TEST(BuiltFiles, AreWhatTheGeneratorDrawsEveryTime) {
  const std::vector<art::ArtFile> first = art::MakeArtFiles();
  const std::vector<art::ArtFile> second = art::MakeArtFiles();
  ASSERT_EQ(first.size(), 3u);
  ASSERT_EQ(second.size(), first.size());
  for (std::size_t i = 0; i < first.size(); ++i) {
    SCOPED_TRACE(first[i].name);
    EXPECT_EQ(first[i].bytes, second[i].bytes);
    EXPECT_EQ(BuiltFile(first[i].name), first[i].bytes);
  }
}

}  // namespace
}  // namespace fennow::test
