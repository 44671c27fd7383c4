// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/FileContent.h"

#include <array>
#include <charconv>
#include <string_view>
#include <utility>

namespace fennow {

namespace {

constexpr std::uint32_t kBitmapInfoHeaderBytes = 40;
constexpr std::size_t kRawLineMaxBytes = 5;  // "255" and CR LF

// Little-endian fields of the file header, the info header and the two colour entries.
constexpr std::array<std::uint8_t, kBitmapHeaderBytes> MakeBitmapHeader() {
  std::array<std::uint8_t, kBitmapHeaderBytes> h{};
  std::size_t at = 0;
  auto put = [&](std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) h[at++] = static_cast<std::uint8_t>(value >> (8 * i));
  };
  put('B', 1);
  put('M', 1);
  put(kBitmapFileBytes, 4);
  put(0, 2);  // reserved
  put(0, 2);  // reserved
  put(kBitmapHeaderBytes, 4);
  put(kBitmapInfoHeaderBytes, 4);
  put(kScreenWidth, 4);
  put(kScreenHeight, 4);  // positive: the slots already run bottom row first
  put(1, 2);              // planes
  put(1, 2);              // bits per pixel
  put(0, 4);              // uncompressed
  put(kScreenBytes, 4);
  put(0, 4);  // no resolution given
  put(0, 4);
  put(2, 4);           // colours used
  put(2, 4);           // colours important
  put(0x00000000, 4);  // colour 0: black, so a stored 0 bit stays black
  put(0x00FFFFFF, 4);  // colour 1: white
  return h;
}

constexpr auto kBitmapHeader = MakeBitmapHeader();

// Indexed by the first and second scale codes.
constexpr std::array<double, 10> kShortScale = {0, 0, 0.05, 0.1, 0.2, 0.5, 1, 2, 5, 10};

// Indexed by the third scale code: 1, 2, 5 of each decade from a millionth up to 500.
constexpr std::array<double, 27> kLongScale = {
    0.000001, 0.000002, 0.000005, 0.00001, 0.00002, 0.00005, 0.0001, 0.0002, 0.0005,
    0.001,    0.002,    0.005,    0.01,    0.02,    0.05,    0.1,    0.2,    0.5,
    1,        2,        5,        10,      20,      50,      100,    200,    500};

constexpr std::string_view kLineEnd = "\r\n";

struct ScaleSlot {
  std::size_t slot;
  const char* name;
  std::size_t tableSize;
};

constexpr std::array<ScaleSlot, 3> kScaleSlots = {{
    {kSampleCount, "first", kShortScale.size()},
    {kSampleCount + 1, "second", kShortScale.size()},
    {kSampleCount + 2, "third", kLongScale.size()},
}};

// std::to_chars, unlike printf or streams, never takes a decimal comma from the user's locale; a
// comma would split every scale value into two numbers for the program reading the file.
void AppendInt(std::string& out, int value) {
  char buffer[16];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

// Every table value prints longer than the "%2.2f" and "%3.6f" widths, so no padding is due.
void AppendFixed(std::string& out, double value, int decimals) {
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  out.append(buffer, result.ptr);
}

}  // namespace

std::vector<std::uint8_t> ScreenBitmapFile(const CaptureStore& store) {
  std::vector<std::uint8_t> file(kBitmapHeader.begin(), kBitmapHeader.end());
  file.reserve(kBitmapFileBytes);
  for (std::size_t slot = 0; slot < kScreenBytes; ++slot) file.push_back(store.Byte(slot));
  return file;
}

std::string RawDataText(const CaptureStore& store) {
  std::string text;
  text.reserve(kDataBytes * kRawLineMaxBytes);
  for (std::size_t slot = 0; slot < kDataBytes; ++slot) {
    AppendInt(text, store.Byte(slot));
    text += kLineEnd;
  }
  return text;
}

std::size_t ScaleCodeCount(int scale) {
  return scale == 2 ? kLongScale.size() : kShortScale.size();
}

std::optional<std::string> ScaleValueText(int scale, std::uint8_t code) {
  if (code >= ScaleCodeCount(scale)) return std::nullopt;
  std::string text;
  if (scale == 2) {
    AppendFixed(text, kLongScale[code], 6);
  } else {
    AppendFixed(text, kShortScale[code], 2);
  }
  return text;
}

std::optional<std::string> ScaleCodeProblem(const CaptureStore& store) {
  for (const ScaleSlot& scale : kScaleSlots) {
    const std::size_t code = store.Byte(scale.slot);
    if (code < scale.tableSize) continue;
    return "The Mathcad file was not saved: the " + std::string(scale.name) + " scale code is " +
           std::to_string(code) + ", but only codes 0 to " + std::to_string(scale.tableSize - 1) +
           " have a scale value. The Raw Data Format keeps every code as received.";
  }
  return std::nullopt;
}

namespace {

int Recentred(std::uint8_t byte) {
  // Re-centred so that a mid-scale sample reads 0; larger raw bytes read lower.
  return 127 - static_cast<int>(byte);
}

}  // namespace

std::string CsvTableText(const CaptureStore& store) {
  static constexpr std::array<std::string_view, 3> kScaleKinds{"scale 1", "scale 2", "scale 3"};
  std::string text = "index,kind,byte,value";
  text += kLineEnd;
  text.reserve(kDataBytes * 20);
  for (std::size_t slot = 0; slot < kDataBytes; ++slot) {
    const std::uint8_t byte = store.Byte(slot);
    AppendInt(text, static_cast<int>(slot));
    text += ',';
    if (slot < kSampleCount) {
      text += "sample,";
      AppendInt(text, byte);
      text += ',';
      AppendInt(text, Recentred(byte));
    } else {
      const int scale = static_cast<int>(slot - kSampleCount);
      text += kScaleKinds[static_cast<std::size_t>(scale)];
      text += ',';
      AppendInt(text, byte);
      text += ',';
      text += ScaleValueText(scale, byte).value_or("");
    }
    text += kLineEnd;
  }
  return text;
}

FileText MathcadText(const CaptureStore& store) {
  if (auto problem = ScaleCodeProblem(store)) return {{}, std::move(*problem)};
  FileText file;
  std::string& text = file.text;
  text.reserve(kDataBytes * 12);
  for (std::size_t slot = 0; slot < kSampleCount; ++slot) {
    AppendInt(text, Recentred(store.Byte(slot)));
    text += kLineEnd;
  }
  for (int scale = 0; scale < 3; ++scale) {
    text += *ScaleValueText(scale, store.Byte(kScaleSlots[static_cast<std::size_t>(scale)].slot));
    text += kLineEnd;
  }
  return file;
}

}  // namespace fennow
