// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <png.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "export/FileContent.h"
#include "export/ScreenPng.h"
#include "tests/export/ExportFixtures.h"

namespace fennow::test {
namespace {

TEST(ScreenBitmapFile, StartsWithTheFixedHeaderAndColourTable) {
  // Typed from the byte listing of the format, not computed, so a wrong field shows up here.
  const std::vector<std::uint8_t> expected = {
      0x42, 0x4D, 0x7E, 0x0B, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x3E, 0x00, 0x00,
      0x00, 0x28, 0x00, 0x00, 0x00, 0xA0, 0x00, 0x00, 0x00, 0x90, 0x00, 0x00, 0x00,
      0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x0B, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x00};
  ASSERT_EQ(expected.size(), 62u);

  for (const CaptureStore& store : {MakeScreen(), MakeUniformData(0xFF)}) {
    const std::vector<std::uint8_t> file = ScreenBitmapFile(store);
    ASSERT_EQ(file.size(), 2942u);
    EXPECT_EQ(std::vector<std::uint8_t>(file.begin(), file.begin() + 62), expected);
  }
}

TEST(MathcadText, SamplesAreRecentredAroundZero) {
  struct Case {
    std::int32_t raw;
    const char* line;
  };
  for (const Case& c : {Case{0x00, "127"}, Case{0x7F, "0"}, Case{0x80, "-1"}, Case{0xFF, "-128"},
                        Case{0x10A, "117"}}) {
    CaptureStore store = MakeUniformData(c.raw);
    store.CaptureBuffer[1202] = store.CaptureBuffer[1203] = store.CaptureBuffer[1204] = 0;
    const FileText file = MathcadText(store);
    ASSERT_TRUE(file.ok()) << file.problem;
    const std::vector<std::string> lines = CrLfLines(file.text);
    ASSERT_EQ(lines.size(), 1205u);
    for (std::size_t k = 0; k < 1202; ++k) ASSERT_EQ(lines[k], c.line) << "raw " << c.raw;
  }
}

struct ScaleCase {
  int code;
  const char* text;
};

constexpr ScaleCase kShortScaleCases[] = {
    {0, "0.00"}, {1, "0.00"}, {2, "0.05"}, {3, "0.10"}, {4, "0.20"},
    {5, "0.50"}, {6, "1.00"}, {7, "2.00"}, {8, "5.00"}, {9, "10.00"},
};

constexpr ScaleCase kLongScaleCases[] = {
    {0, "0.000001"},    {1, "0.000002"},    {2, "0.000005"},    {3, "0.000010"},
    {4, "0.000020"},    {5, "0.000050"},    {6, "0.000100"},    {7, "0.000200"},
    {8, "0.000500"},    {9, "0.001000"},    {10, "0.002000"},   {11, "0.005000"},
    {12, "0.010000"},   {13, "0.020000"},   {14, "0.050000"},   {15, "0.100000"},
    {16, "0.200000"},   {17, "0.500000"},   {18, "1.000000"},   {19, "2.000000"},
    {20, "5.000000"},   {21, "10.000000"},  {22, "20.000000"},  {23, "50.000000"},
    {24, "100.000000"}, {25, "200.000000"}, {26, "500.000000"},
};

std::vector<std::string> ScaleLines(int first, int second, int third) {
  const FileText file = MathcadText(MakeData(first, second, third));
  EXPECT_TRUE(file.ok()) << file.problem;
  const std::vector<std::string> lines = CrLfLines(file.text);
  if (lines.size() != 1205) return {"wrong line count " + std::to_string(lines.size())};
  return {lines.begin() + 1202, lines.end()};
}

TEST(MathcadText, FirstAndSecondScaleCodesSelectFromTheShortTable) {
  for (const ScaleCase& c : kShortScaleCases) {
    // The code goes into one slot while the other holds a different value, so a swapped slot
    // cannot pass.
    const int other = 9 - c.code;
    EXPECT_EQ(ScaleLines(c.code, other, 18),
              (std::vector<std::string>{c.text, kShortScaleCases[other].text, "1.000000"}))
        << "code " << c.code;
  }
}

TEST(MathcadText, ThirdScaleCodeSelectsFromTheLongTable) {
  for (const ScaleCase& c : kLongScaleCases) {
    EXPECT_EQ(ScaleLines(2, 6, c.code), (std::vector<std::string>{"0.05", "1.00", c.text}))
        << "code " << c.code;
  }
}

TEST(MathcadText, RefusesScaleCodesOutsideTheirTables) {
  struct Case {
    int first, second, third;
    const char* names;  // which code and value the reason must mention
    const char* range;
  };
  const Case cases[] = {
      {10, 0, 0, "first scale code is 10", "0 to 9"},
      {255, 0, 0, "first scale code is 255", "0 to 9"},
      {0, 10, 0, "second scale code is 10", "0 to 9"},
      {0, 0, 27, "third scale code is 27", "0 to 26"},
      {9, 9, 200, "third scale code is 200", "0 to 26"},
      {12, 0, 40, "first scale code is 12", "0 to 9"},  // the first bad code is named
  };
  for (const Case& c : cases) {
    const CaptureStore store = MakeData(c.first, c.second, c.third);
    const FileText file = MathcadText(store);
    EXPECT_FALSE(file.ok()) << c.names;
    EXPECT_TRUE(file.text.empty()) << c.names;
    EXPECT_NE(file.problem.find(c.names), std::string::npos) << file.problem;
    EXPECT_NE(file.problem.find(c.range), std::string::npos) << file.problem;
    ASSERT_TRUE(ScaleCodeProblem(store).has_value()) << c.names;
    EXPECT_EQ(*ScaleCodeProblem(store), file.problem);
  }
  // The last entry of each table is still inside it.
  EXPECT_FALSE(ScaleCodeProblem(MakeData(9, 9, 26)).has_value());
}

// Decoded by libpng's own reader, which checks every chunk's CRC and the zlib stream.
struct DecodedPng {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;            // empty when libpng could not read the file
  std::map<std::string, std::string> text;  // tEXt chunks, walked by hand
};

DecodedPng Decode(const std::vector<std::uint8_t>& file) {
  DecodedPng decoded;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) return decoded;
  image.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return decoded;
  decoded.width = static_cast<int>(image.width);
  decoded.height = static_cast<int>(image.height);
  decoded.rgb = std::move(rgb);
  for (std::size_t at = 8; at + 12 <= file.size();) {
    const std::size_t length = std::size_t{file[at]} << 24 | std::size_t{file[at + 1]} << 16 |
                               std::size_t{file[at + 2]} << 8 | file[at + 3];
    const std::string type(file.begin() + static_cast<long>(at) + 4,
                           file.begin() + static_cast<long>(at) + 8);
    const std::string data(file.begin() + static_cast<long>(at) + 8,
                           file.begin() + static_cast<long>(at + 8 + length));
    if (type == "tEXt")
      decoded.text[data.substr(0, data.find('\0'))] = data.substr(data.find('\0') + 1);
    at += 12 + length;
  }
  return decoded;
}

TEST(ScreenPngFile, EveryReceivedPixelAtEveryScaleAndPalette) {
  CaptureStore store = MakeScreen();
  store.CapturedAt = 1796702400;  // 2026-12-08 04:00:00 UTC
  const struct {
    ScreenPalette palette;
    std::uint8_t dark[3];
    std::uint8_t light[3];
  } palettes[] = {
      {ScreenPalette::BlackAndWhite, {0, 0, 0}, {255, 255, 255}},
      {ScreenPalette::Greens, {0x0F, 0x38, 0x0F}, {0x9B, 0xBC, 0x0F}},
      {ScreenPalette::Greys, {0x1F, 0x1F, 0x1F}, {0xC4, 0xCF, 0xA1}},
  };
  for (int scale : {1, 2, 3, 4, 6, 8}) {
    for (const auto& p : palettes) {
      SCOPED_TRACE(std::to_string(scale) + " x, palette " +
                   std::to_string(static_cast<int>(p.palette)));
      const DecodedPng png = Decode(ScreenPngFile(store, {scale, p.palette}));
      ASSERT_FALSE(png.rgb.empty());
      ASSERT_EQ(png.width, 160 * scale);
      ASSERT_EQ(png.height, 144 * scale);
      for (int y = 0; y < png.height; ++y) {
        for (int x = 0; x < png.width; ++x) {
          // Row 0 of the picture is the last stored row; a stored 1 bit is white.
          const int row = 143 - y / scale;
          const int column = x / scale;
          const bool light =
              (store.CaptureBuffer[static_cast<std::size_t>(row * 20 + column / 8)] >>
                   (7 - column % 8) &
               1) != 0;
          const std::uint8_t* want = light ? p.light : p.dark;
          const std::uint8_t* got = &png.rgb[(static_cast<std::size_t>(y) * png.width + x) * 3];
          ASSERT_TRUE(got[0] == want[0] && got[1] == want[1] && got[2] == want[2])
              << "pixel " << x << "," << y;
        }
      }
      EXPECT_EQ(png.text.at("Software"), "Fennow Link " FENNOW_VERSION);
      EXPECT_EQ(png.text.at("Creation Time"), "2026-12-08T04:00:00Z");
      EXPECT_EQ(png.text.at("Comment"), "160x144 at scale " + std::to_string(scale));
    }
  }
  store.CapturedAt = 0;  // not known: no time is made up
  EXPECT_EQ(Decode(ScreenPngFile(store, {})).text.count("Creation Time"), 0u);
  EXPECT_THROW(ScreenPngFile(store, {5, ScreenPalette::Greens}), std::invalid_argument);
}

std::vector<std::vector<std::string>> CsvRows(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  for (const std::string& line : CrLfLines(text)) {
    std::vector<std::string> cells;
    std::stringstream cellsOf(line);
    for (std::string cell; std::getline(cellsOf, cell, ',');) cells.push_back(cell);
    if (!line.empty() && line.back() == ',') cells.emplace_back();
    rows.push_back(cells);
  }
  return rows;
}

TEST(CsvTableText, HoldsTheRawBytesAndTheMathcadValues) {
  const struct {
    CaptureStore store;
    std::vector<std::string> scaleValues;  // as the Mathcad file gives them; empty: none
  } cases[] = {
      {MakeData(7, 0, 13), {"2.00", "0.00", "0.020000"}},
      {MakeData(10, 9, 27), {"", "10.00", ""}},  // codes outside their tables
  };
  for (const auto& c : cases) {
    const auto rows = CsvRows(CsvTableText(c.store));
    ASSERT_EQ(rows.size(), 1206u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"index", "kind", "byte", "value"}));
    std::vector<std::string> mathcad = CrLfLines(MathcadText(MakeData(7, 0, 13)).text);
    for (std::size_t slot = 0; slot < 1205; ++slot) {
      const std::vector<std::string>& row = rows[slot + 1];
      ASSERT_EQ(row.size(), 4u) << slot;
      EXPECT_EQ(row[0], std::to_string(slot));
      EXPECT_EQ(row[2], std::to_string(c.store.CaptureBuffer[slot] & 0xFF)) << slot;
      if (slot < 1202) {
        EXPECT_EQ(row[1], "sample");
        ASSERT_EQ(row[3], mathcad[slot]) << slot;  // the samples do not depend on the codes
      } else {
        EXPECT_EQ(row[1], "scale " + std::to_string(slot - 1201));
        EXPECT_EQ(row[3], c.scaleValues[slot - 1202]);
      }
    }
  }
}

}  // namespace
}  // namespace fennow::test
