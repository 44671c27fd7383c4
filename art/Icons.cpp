// SPDX-License-Identifier: GPL-3.0-or-later
#include <array>
#include <stdexcept>
#include <string>

#include "art/Artwork.h"

namespace fennow::art {
namespace {

// One colour of a piece of art: the symbol the art uses for it and the colour itself. A table of
// swatches gives both the palette (in table order) and the inks that map symbols to it.
struct Swatch {
  char symbol;
  Rgb colour;
};

// Black comes first: masked-out icon pixels store entry 0 and must leave the desktop unchanged.
constexpr Swatch kIconSwatches[] = {
    {'K', {0x00, 0x00, 0x00}},  // outlines, the D-pad
    {'d', {0x0F, 0x38, 0x0F}},  // dark pixels on the screen
    {'l', {0x9B, 0xBC, 0x0F}},  // the screen, a yellowish green
    {'b', {0x4C, 0x4C, 0x5C}},  // the frame round the screen
    {'s', {0xC8, 0xC8, 0xC2}},  // the case
    {'h', {0x90, 0x90, 0x90}},  // the case's shaded right and bottom edges, the plug's tip
    {'w', {0xEE, 0xEE, 0xEA}},  // the case's lit left and top edges, a glint on the plug
    {'r', {0x9C, 0x1E, 0x56}},  // buttons and the power lamp
    {'R', {0xD6, 0x5C, 0x94}},  // light catching the buttons
    {'c', {0x2A, 0x2A, 0x34}},  // the lead
    {'p', {0xA8, 0xAE, 0xBE}},  // the plug's metal shell
    {'P', {0x60, 0x68, 0x78}},  // the plug's strain relief
};

// clang-format off
// The screen shows data going both ways over the lead; the lead leaves the case's right side and
// ends in a plug.
constexpr std::string_view kArt32[] = {
    "................................",
    "...KKKKKKKKKKKKKKKKKK...........",
    "..KKwwwwwwwwwwwwwwwwKK..........",
    "..KwsbbbbbbbbbbbbbbshK..........",
    "..KwsbbbbbbbbbbbbbbshKcccccc....",
    "..KwsbblllllldlllbbshKcccccc....",
    "..KwsbbllllllldllbbshK....cc....",
    "..KwsbrlddddddddlbbshK....cc....",
    "..KwsbbllllllldllbbshK....cc....",
    "..KwsbblllllldlllbbshK....cc....",
    "..KwsbbllldllllllbbshK....cc....",
    "..KwsbblldlllllllbbshK....cc....",
    "..KwsbblddddddddlbbshK....cc....",
    "..KwsbblldlllllllbbshK....cc....",
    "..KwsbbllldllllllbbshK....cc....",
    "..KwsbbbbbbbbbbbbbsshK....cc....",
    "..KwsssssssssssssssshK...PPPP...",
    "..KwsssssssssssssssshK...PPPP...",
    "..KwsssssssssssssrrshK.KKKKKKKK.",
    "..KwsssKKsssssssrRrrhK.KppppppK.",
    "..KwsssKKsssssssrrrrhK.KpwppppK.",
    "..KwsKKKKKKssrrssrrshK.KppppppK.",
    "..KwsKKKKKKsrRrrsssshK.KKKKKKKK.",
    "..KwsssKKsssrrrrsssshK..KhhhhK..",
    "..KwsssKKssssrrssssshK..KhhhhK..",
    "..KwsssssssssssssssshK...KhhK...",
    "..KwssssssssssssssshhK...KKKK...",
    "..KwsssshhshhssssshhK...........",
    "..KwssssssssssssshhK............",
    "..KKhhhhhhhhhhhhhhK.............",
    "...KKKKKKKKKKKKKKK..............",
    "................................",
};

// Redrawn rather than shrunk, so that it stays legible: one arrow on the screen, a thinner lead.
constexpr std::string_view kArt16[] = {
    ".KKKKKKKKKK.....",
    "KwwwwwwwwwhK....",
    "KwbbbbbbbshK....",
    "KwblldllbshK....",
    "KwbllldlbshKccc.",
    "KwbdddddbshK..c.",
    "KwbllldlbshK..c.",
    "KwblldllbshK..c.",
    "KwbbbbbbbshK..c.",
    "KwsssssssshK.KKK",
    "KwsKssssrrhK.KpK",
    "KwKKKsssrrhK.KpK",
    "KwsKsssssshK.KKK",
    "KwssssrrsshK..K.",
    "KhhhhhrrhhK.....",
    ".KKKKKKKKK......",
};
// clang-format on

std::vector<Ink> InksOf(std::span<const Swatch> swatches) {
  std::vector<Ink> inks;
  for (std::size_t i = 0; i < swatches.size(); ++i) {
    inks.push_back({swatches[i].symbol, static_cast<std::uint8_t>(i)});
  }
  return inks;
}

// The swatches' colours in order, then black up to the palette's full size.
std::vector<Rgb> PaletteOf(std::span<const Swatch> swatches, std::size_t size) {
  std::vector<Rgb> palette(size, Rgb{0, 0, 0});
  for (std::size_t i = 0; i < swatches.size(); ++i) palette[i] = swatches[i].colour;
  return palette;
}

// The About picture recolours the icon: a teal case with amber buttons on a sunset gradient.
// Case and background vary row by row, so each has a ramp of its own after the base colours.
constexpr Swatch kAboutSwatches[] = {
    {'K', {0x10, 0x10, 0x28}}, {'d', {0x08, 0x30, 0x20}}, {'l', {0xA8, 0xE0, 0x60}},
    {'b', {0x28, 0x30, 0x50}}, {'s', {0x30, 0xB0, 0xB8}}, {'h', {0x18, 0x70, 0x80}},
    {'w', {0x90, 0xF0, 0xF0}}, {'r', {0xF0, 0x90, 0x10}}, {'R', {0xFF, 0xE0, 0x70}},
    {'c', {0x20, 0x18, 0x40}}, {'p', {0xE0, 0xD0, 0xF0}}, {'P', {0x70, 0x50, 0xA0}},
};
constexpr std::uint8_t SwatchIndex(std::span<const Swatch> swatches, char symbol) {
  for (std::size_t i = 0; i < swatches.size(); ++i) {
    if (swatches[i].symbol == symbol) return static_cast<std::uint8_t>(i);
  }
  throw std::invalid_argument("no swatch for the symbol");
}

constexpr std::uint8_t kAboutBody = SwatchIndex(kAboutSwatches, 's');
constexpr std::uint8_t kSkyRamp = 32;   // 32 entries, one per row
constexpr std::uint8_t kBodyRamp = 64;  // 32 entries, one per row

std::uint8_t Mix(std::uint8_t from, std::uint8_t to, int step, int steps) {
  return static_cast<std::uint8_t>(from + (to - from) * step / (steps - 1));
}

Rgb Mix(Rgb from, Rgb to, int step, int steps) {
  return {Mix(from.red, to.red, step, steps), Mix(from.green, to.green, step, steps),
          Mix(from.blue, to.blue, step, steps)};
}

}  // namespace

std::vector<Rgb> IconPalette() {
  return PaletteOf(kIconSwatches, 16);
}

std::span<const std::string_view> HandheldArt() {
  return kArt32;
}

Canvas DrawIcon(int size) {
  if (size != 16 && size != 32) {
    throw std::invalid_argument("the icon is drawn at 16 or 32 pixels only");
  }
  Canvas icon(size, size, kClear);
  const std::vector<Ink> inks = InksOf(kIconSwatches);
  if (size == 16) {
    icon.Paint(0, 0, kArt16, inks);
  } else {
    icon.Paint(0, 0, kArt32, inks);
  }
  return icon;
}

namespace {

struct ThemeIcon {
  int size;
  int artSize;  // 16 or 32: the drawing it is enlarged from
};

// Each size from the larger drawing that divides it: 48 is the 16 pixel art three times over.
constexpr std::array<ThemeIcon, 6> kThemeIcons{{
    {16, 16},
    {32, 32},
    {48, 16},
    {64, 32},
    {128, 32},
    {256, 32},
}};
constexpr std::array<int, 6> kThemeIconSizes{16, 32, 48, 64, 128, 256};

}  // namespace

std::span<const int> ThemeIconSizes() {
  return kThemeIconSizes;
}

Canvas DrawThemeIcon(int size) {
  for (const ThemeIcon& icon : kThemeIcons) {
    if (icon.size == size) return ScaledUp(DrawIcon(icon.artSize), size / icon.artSize);
  }
  throw std::invalid_argument("the icon theme has no size " + std::to_string(size));
}

std::vector<Rgb> AboutPalette() {
  std::vector<Rgb> palette = PaletteOf(kAboutSwatches, 256);
  for (int row = 0; row < 32; ++row) {
    palette[static_cast<std::size_t>(kSkyRamp + row)] =
        Mix(Rgb{0xFF, 0xC8, 0x40}, Rgb{0xC0, 0x30, 0x90}, row, 32);
    palette[static_cast<std::size_t>(kBodyRamp + row)] =
        Mix(Rgb{0x50, 0xD8, 0xD0}, Rgb{0x20, 0x88, 0xA0}, row, 32);
  }
  return palette;
}

Canvas DrawAboutPicture() {
  Canvas picture(32, 32, kClear);
  picture.Paint(0, 0, kArt32, InksOf(kAboutSwatches));
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      const std::uint8_t p = picture.At(x, y);
      if (p == kClear) {
        picture.Set(x, y, static_cast<std::uint8_t>(kSkyRamp + y));
      } else if (p == kAboutBody) {
        picture.Set(x, y, static_cast<std::uint8_t>(kBodyRamp + y));
      }
    }
  }
  return picture;
}

}  // namespace fennow::art
