// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "capture/CaptureStore.h"
#include "export/PngEncoder.h"

namespace fennow {

// The two colours a saved screen is drawn in.
enum class ScreenPalette { BlackAndWhite, Greens, Greys };

struct PaletteRow {
  ScreenPalette palette;
  std::string_view name;   // on the command line
  std::string_view shown;  // in the save dialog
  PngColour dark;
  PngColour light;
};

// Black and white as received first; then the darkest and lightest shades of the original
// handheld's green screen and of the later pocket model's grey one, as emulators commonly render
// them.
inline constexpr std::array<PaletteRow, 3> kScreenPalettes{{
    {ScreenPalette::BlackAndWhite, "bw", "Black and white", {0x00, 0x00, 0x00}, {0xFF, 0xFF, 0xFF}},
    {ScreenPalette::Greens, "green", "Game Boy greens", {0x0F, 0x38, 0x0F}, {0x9B, 0xBC, 0x0F}},
    {ScreenPalette::Greys, "grey", "Game Boy Pocket greys", {0x1F, 0x1F, 0x1F}, {0xC4, 0xCF, 0xA1}},
}};

// Whole factors only, so that every pixel stays a sharp square.
inline constexpr std::array<int, 6> kScreenScales{1, 2, 3, 4, 6, 8};

// How a screen is saved as PNG: kept for the run, chosen in the save dialog or on the command line.
struct ScreenLook {
  int scale = 1;  // one of kScreenScales
  ScreenPalette palette = ScreenPalette::BlackAndWhite;
  bool operator==(const ScreenLook&) const = default;
};

const PaletteRow& RowOf(ScreenPalette palette);
std::optional<ScreenPalette> PaletteNamed(std::string_view name);
bool IsScreenScale(int scale);

// The screen in the store as a PNG file: every received pixel a scale x scale block of the
// palette's dark or light colour, top row first, and text naming the program, the capture time
// (when known) and "160x144 at scale N". Throws std::invalid_argument for a scale outside
// kScreenScales.
std::vector<std::uint8_t> ScreenPngFile(const CaptureStore& store, const ScreenLook& look);

}  // namespace fennow
