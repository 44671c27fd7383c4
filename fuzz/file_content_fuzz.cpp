// SPDX-License-Identifier: GPL-3.0-or-later
// The file contents (bitmap, raw data text, Mathcad text, CSV table) made from any store, read back
// by code that knows the formats but not the builders.
//
// Input: the first three bytes are the scale codes (slots 1202..1204), the rest fill every other
// slot over and over; a slot also gets high bits, which no file may show.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "capture/CaptureStore.h"
#include "export/FileContent.h"
#include "fuzz/Check.h"
#include "fuzz/Script.h"

namespace fennow::fuzz {
namespace {

std::uint32_t Field(const std::vector<std::uint8_t>& file, std::size_t at, int width) {
  std::uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i)
    value = (value << 8) | file[at + static_cast<std::size_t>(i)];
  return value;
}

void CheckBitmap(const CaptureStore& store, const std::vector<std::uint8_t>& file) {
  FUZZ_CHECK(file.size() == 2942);
  FUZZ_CHECK(file[0] == 'B' && file[1] == 'M');
  FUZZ_CHECK(Field(file, 2, 4) == file.size());  // bfSize
  FUZZ_CHECK(Field(file, 6, 2) == 0 && Field(file, 8, 2) == 0);
  FUZZ_CHECK(Field(file, 10, 4) == 62);    // bfOffBits
  FUZZ_CHECK(Field(file, 14, 4) == 40);    // biSize
  FUZZ_CHECK(Field(file, 18, 4) == 160);   // width
  FUZZ_CHECK(Field(file, 22, 4) == 144);   // height, positive: bottom-up
  FUZZ_CHECK(Field(file, 26, 2) == 1);     // planes
  FUZZ_CHECK(Field(file, 28, 2) == 1);     // bits per pixel
  FUZZ_CHECK(Field(file, 30, 4) == 0);     // uncompressed
  FUZZ_CHECK(Field(file, 34, 4) == 2880);  // image size
  FUZZ_CHECK(Field(file, 10, 4) + Field(file, 34, 4) == file.size());
  // A row of 160 pixels is 20 bytes, already a multiple of 4: no padding.
  FUZZ_CHECK(Field(file, 34, 4) == (Field(file, 18, 4) / 8) * Field(file, 22, 4));
  FUZZ_CHECK(Field(file, 46, 4) == 2 && Field(file, 50, 4) == 2);  // colours used, important
  FUZZ_CHECK(Field(file, 54, 4) == 0x000000);                      // colour 0 black
  FUZZ_CHECK(Field(file, 58, 4) == 0xFFFFFF);                      // colour 1 white
  for (std::size_t slot = 0; slot < 2880; ++slot) {
    FUZZ_CHECK(file[62 + slot] == (store.CaptureBuffer[slot] & 0xFF));
  }
}

// Every line ends in CR LF, the last one too, and no CR or LF stands anywhere else.
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find("\r\n");
    FUZZ_CHECK(end != std::string_view::npos);
    const std::string_view line = text.substr(0, end);
    FUZZ_CHECK(line.find_first_of("\r\n") == std::string_view::npos);
    lines.push_back(line);
    text.remove_prefix(end + 2);
  }
  return lines;
}

// A decimal integer as "%d" prints it: an optional minus, no leading zeros, no blanks.
long Integer(std::string_view line) {
  const bool negative = !line.empty() && line.front() == '-';
  if (negative) line.remove_prefix(1);
  FUZZ_CHECK(!line.empty() && line.size() <= 3);
  FUZZ_CHECK(line.size() == 1 || line.front() != '0');
  FUZZ_CHECK(!(negative && line == "0"));
  long value = 0;
  for (char c : line) {
    FUZZ_CHECK(c >= '0' && c <= '9');
    value = value * 10 + (c - '0');
  }
  return negative ? -value : value;
}

// The scale values as exact decimals, worked out from the 1-2-5 steps rather than looked up:
// the first two scales in hundredths (codes 0 and 1 give 0, code 2 is 0.05), the third in
// millionths (code 0 is 0.000001, up to code 26, 500).
std::string Fixed(long units, int decimals) {
  std::string fraction = std::to_string(units % (decimals == 2 ? 100 : 1'000'000));
  fraction.insert(0, static_cast<std::size_t>(decimals) - fraction.size(), '0');
  return std::to_string(units / (decimals == 2 ? 100 : 1'000'000)) + "." + fraction;
}

long PowerOfTen(int n) {
  long value = 1;
  while (n-- > 0) value *= 10;
  return value;
}

std::string ExpectedScale(int scale, int code) {
  if (scale < 2) {
    if (code < 2) return "0.00";
    const int k = code - 2;
    static constexpr long kSteps[] = {5, 1, 2};
    return Fixed(kSteps[k % 3] * PowerOfTen((k + 2) / 3), 2);
  }
  static constexpr long kSteps[] = {1, 2, 5};
  return Fixed(kSteps[code % 3] * PowerOfTen(code / 3), 6);
}

bool InTable(int scale, int code) {
  return code < (scale < 2 ? 10 : 27);
}

void CheckRaw(const CaptureStore& store, const std::string& text) {
  const std::vector<std::string_view> lines = Lines(text);
  FUZZ_CHECK(lines.size() == 1205);
  for (std::size_t k = 0; k < lines.size(); ++k) {
    FUZZ_CHECK(Integer(lines[k]) == (store.CaptureBuffer[k] & 0xFF));
  }
}

void CheckMathcad(const CaptureStore& store, const FileText& file) {
  int codes[3];
  bool refuse = false;
  for (int scale = 0; scale < 3; ++scale) {
    codes[scale] = store.CaptureBuffer[static_cast<std::size_t>(1202 + scale)] & 0xFF;
    refuse = refuse || !InTable(scale, codes[scale]);
  }
  // Refused exactly when a code lies outside its table, naming the first such code.
  FUZZ_CHECK(file.ok() == !refuse);
  FUZZ_CHECK(ScaleCodeProblem(store).has_value() == refuse);
  if (refuse) {
    FUZZ_CHECK(file.text.empty());
    int first = 0;
    while (InTable(first, codes[first])) ++first;
    FUZZ_CHECK(file.problem.find(" is " + std::to_string(codes[first]) + ",") != std::string::npos);
    return;
  }
  const std::vector<std::string_view> lines = Lines(file.text);
  FUZZ_CHECK(lines.size() == 1205);
  for (std::size_t k = 0; k < 1202; ++k) {
    FUZZ_CHECK(Integer(lines[k]) == 127 - (store.CaptureBuffer[k] & 0xFF));
  }
  for (int scale = 0; scale < 3; ++scale) {
    FUZZ_CHECK(lines[static_cast<std::size_t>(1202 + scale)] == ExpectedScale(scale, codes[scale]));
  }
}

// The table holds the raw bytes and exactly the Mathcad file's values, an empty one for a code
// outside its table.
void CheckCsv(const CaptureStore& store, const std::string& text) {
  const std::vector<std::string_view> lines = Lines(text);
  FUZZ_CHECK(lines.size() == 1206);
  FUZZ_CHECK(lines[0] == "index,kind,byte,value");
  for (std::size_t k = 0; k < 1205; ++k) {
    const int byte = store.CaptureBuffer[k] & 0xFF;
    const int scale = static_cast<int>(k) - 1202;
    std::string expected = std::to_string(k) + ",";
    if (scale < 0) {
      expected += "sample," + std::to_string(byte) + "," + std::to_string(127 - byte);
    } else {
      expected += "scale " + std::to_string(scale + 1) + "," + std::to_string(byte) + "," +
                  (InTable(scale, byte) ? ExpectedScale(scale, byte) : "");
    }
    FUZZ_CHECK(lines[k + 1] == expected);
  }
}

void CheckScaleValues(int scale, std::uint8_t code) {
  const std::optional<std::string> text = ScaleValueText(scale, code);
  FUZZ_CHECK(text.has_value() == InTable(scale, code));
  FUZZ_CHECK(ScaleCodeCount(scale) == (scale < 2 ? 10u : 27u));
  if (text) FUZZ_CHECK(*text == ExpectedScale(scale, code));
}

}  // namespace
}  // namespace fennow::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace fennow;
  fuzz::Script script(data, size);
  CaptureStore store;
  std::uint8_t codes[3];
  for (std::uint8_t& code : codes) code = script.Byte();
  const std::span<const std::uint8_t> rest = script.Rest();
  for (std::size_t slot = 0; slot < store.CaptureBuffer.size(); ++slot) {
    const std::uint8_t low = rest.empty() ? 0 : rest[slot % rest.size()];
    const std::uint8_t high = rest.empty() ? 0 : rest[(slot * 7 + 3) % rest.size()];
    store.CaptureBuffer[slot] = low | (static_cast<std::int32_t>(high & 0x81) << 8);
  }
  for (int scale = 0; scale < 3; ++scale) {
    store.CaptureBuffer[static_cast<std::size_t>(1202 + scale)] =
        codes[scale] | (static_cast<std::int32_t>(codes[(scale + 1) % 3]) << 16);
  }
  store.Kind = static_cast<CaptureKind>(codes[0] % 3);  // the builders do not look at it

  fuzz::CheckBitmap(store, ScreenBitmapFile(store));
  fuzz::CheckRaw(store, RawDataText(store));
  fuzz::CheckMathcad(store, MathcadText(store));
  fuzz::CheckCsv(store, CsvTableText(store));
  for (int scale = 0; scale < 3; ++scale) fuzz::CheckScaleValues(scale, codes[scale]);
  return 0;
}
