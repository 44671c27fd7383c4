// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "export/FileContent.h"
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

}  // namespace
}  // namespace fennow::test
