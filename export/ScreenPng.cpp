// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/ScreenPng.h"

#include <algorithm>
#include <ctime>
#include <stdexcept>
#include <string>

namespace fennow {

namespace {

constexpr std::uint8_t kDarkIndex = 0;
constexpr std::uint8_t kLightIndex = 1;

// RFC 3339 in UTC, which the format's "Creation Time" keyword accepts and any reader can parse.
std::string TimeText(std::int64_t seconds) {
  const auto at = static_cast<std::time_t>(seconds);
  std::tm utc{};
  if (::gmtime_r(&at, &utc) == nullptr) return {};
  char text[32];
  const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return std::string(text, length);
}

// A stored 1 bit is a white pixel: the store keeps screens complemented.
bool IsLight(const CaptureStore& store, int x, int y) {
  const std::uint8_t byte = store.Byte(static_cast<std::size_t>(ScreenSlot(y, x / 8)));
  return (byte >> (7 - x % 8) & 1) != 0;
}

}  // namespace

const PaletteRow& RowOf(ScreenPalette palette) {
  return kScreenPalettes[static_cast<std::size_t>(palette)];
}

std::optional<ScreenPalette> PaletteNamed(std::string_view name) {
  for (const PaletteRow& row : kScreenPalettes) {
    if (row.name == name) return row.palette;
  }
  return std::nullopt;
}

bool IsScreenScale(int scale) {
  return std::find(kScreenScales.begin(), kScreenScales.end(), scale) != kScreenScales.end();
}

std::vector<std::uint8_t> ScreenPngFile(const CaptureStore& store, const ScreenLook& look) {
  if (!IsScreenScale(look.scale)) {
    throw std::invalid_argument("a screen is enlarged 1, 2, 3, 4, 6 or 8 times");
  }
  const int scale = look.scale;
  PngPicture picture;
  picture.width = kScreenWidth * scale;
  picture.height = kScreenHeight * scale;
  picture.palette = {RowOf(look.palette).dark, RowOf(look.palette).light};
  picture.pixels.reserve(static_cast<std::size_t>(picture.width) *
                         static_cast<std::size_t>(picture.height));
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      picture.pixels.push_back(IsLight(store, x / scale, y / scale) ? kLightIndex : kDarkIndex);
    }
  }
  picture.text.emplace_back("Software", "Fennow Link " FENNOW_VERSION);
  if (store.CapturedAt != 0) picture.text.emplace_back("Creation Time", TimeText(store.CapturedAt));
  picture.text.emplace_back("Comment", std::to_string(kScreenWidth) + "x" +
                                           std::to_string(kScreenHeight) + " at scale " +
                                           std::to_string(scale));
  return EncodePng(picture);
}

}  // namespace fennow
