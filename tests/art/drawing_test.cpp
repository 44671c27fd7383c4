// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <stdexcept>
#include <string>

#include "art/Canvas.h"
#include "art/PixelFont.h"

namespace fennow::test {
namespace {

using art::Canvas;

int Count(const Canvas& c, std::uint8_t index) {
  int n = 0;
  for (int y = 0; y < c.height(); ++y) {
    for (int x = 0; x < c.width(); ++x) n += c.At(x, y) == index;
  }
  return n;
}

struct LineCase {
  int x0, y0, x1, y1;
  friend void PrintTo(const LineCase& l, std::ostream* os) {
    *os << l.x0 << "," << l.y0 << " to " << l.x1 << "," << l.y1;
  }
};

class LineTest : public ::testing::TestWithParam<LineCase> {};

// A line is one pixel per step along its longer axis, endpoints included, with no gaps.
TEST_P(LineTest, JoinsItsEndsWithoutGapsOrDoubling) {
  const LineCase l = GetParam();
  Canvas c(12, 12, 0);
  c.Line(l.x0, l.y0, l.x1, l.y1, 1);
  EXPECT_EQ(c.At(l.x0, l.y0), 1);
  EXPECT_EQ(c.At(l.x1, l.y1), 1);
  EXPECT_EQ(Count(c, 1), std::max(std::abs(l.x1 - l.x0), std::abs(l.y1 - l.y0)) + 1);
}

INSTANTIATE_TEST_SUITE_P(Directions, LineTest,
                         ::testing::Values(LineCase{0, 0, 7, 3}, LineCase{7, 3, 0, 0},
                                           LineCase{2, 9, 4, 0}, LineCase{5, 5, 5, 5},
                                           LineCase{11, 0, 0, 11}, LineCase{3, 6, 10, 6}));

TEST(Canvas, ClipsDrawingButNotReading) {
  Canvas c(4, 3, 0);
  c.FillRect(-2, -2, 4, 4, 1);  // only the 2 x 2 in the corner lands
  c.Line(-5, 2, 10, 2, 2);      // runs across the bottom row and off both sides
  EXPECT_EQ(Count(c, 1), 4);
  EXPECT_EQ(Count(c, 2), 4);
  EXPECT_THROW(c.At(4, 0), std::out_of_range);
  EXPECT_THROW(c.At(0, -1), std::out_of_range);
}

TEST(Canvas, PaintsArtAndRejectsMistakesInIt) {
  const art::Ink inks[] = {{'a', 1}, {'b', 2}};
  Canvas c(3, 2, 7);
  const std::string_view art[] = {"a.b", "ba."};
  c.Paint(0, 0, art, inks);
  EXPECT_EQ(c.At(0, 0), 1);
  EXPECT_EQ(c.At(1, 0), 7);  // '.' leaves the pixel alone
  EXPECT_EQ(c.At(2, 0), 2);
  EXPECT_EQ(c.At(0, 1), 2);

  const std::string_view unknown[] = {"abc"};
  const std::string_view ragged[] = {"ab", "a"};
  EXPECT_THROW(c.Paint(0, 0, unknown, inks), std::invalid_argument);
  EXPECT_THROW(c.Paint(0, 0, ragged, inks), std::invalid_argument);
}

struct TextCase {
  std::string_view text;
  int scale;
  friend void PrintTo(const TextCase& t, std::ostream* os) {
    *os << '"' << t.text << "\" at scale " << t.scale;
  }
};

class TextWidthTest : public ::testing::TestWithParam<TextCase> {};

// What TextWidth promises is what DrawText covers, for text whose outer columns carry ink.
TEST_P(TextWidthTest, MatchesTheInkDrawn) {
  const TextCase t = GetParam();
  Canvas c(200, 30, 0);
  art::DrawText(c, 3, 2, t.text, 1, t.scale);
  int left = c.width();
  int right = -1;
  int bottom = -1;
  for (int y = 0; y < c.height(); ++y) {
    for (int x = 0; x < c.width(); ++x) {
      if (c.At(x, y) == 1) {
        left = std::min(left, x);
        right = std::max(right, x);
        bottom = std::max(bottom, y);
      }
    }
  }
  EXPECT_EQ(left, 3);
  EXPECT_EQ(right - left + 1, art::TextWidth(t.text, t.scale));
  EXPECT_EQ(bottom - 2 + 1, art::kGlyphHeight * t.scale);
}

INSTANTIATE_TEST_SUITE_P(Captions, TextWidthTest,
                         ::testing::Values(TextCase{"NO CAPTURE", 2}, TextCase{"DATA", 1},
                                           TextCase{"W", 1}, TextCase{"MH", 3}));

TEST(PixelFont, GlyphsAreDistinctAndUnknownCharactersRejected) {
  const std::string all = " ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-!?:/";
  std::set<std::string> seen;
  for (const char ch : all) {
    const std::uint8_t* rows = art::Glyph(ch);
    const std::string bits(rows, rows + art::kGlyphHeight);
    EXPECT_TRUE(std::all_of(bits.begin(), bits.end(), [](char r) { return (r & ~0x1F) == 0; }))
        << "glyph '" << ch << "' is wider than five pixels";
    EXPECT_TRUE(seen.insert(bits).second) << "glyph '" << ch << "' copies another";
  }
  EXPECT_THROW(art::Glyph('a'), std::invalid_argument);
  Canvas scratch(20, 10, 0);
  EXPECT_THROW(art::DrawText(scratch, 0, 0, "N#", 1, 1), std::invalid_argument);
}

}  // namespace
}  // namespace fennow::test
