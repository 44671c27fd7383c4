// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "art/Canvas.h"
#include "art/ImageFiles.h"

namespace fennow::art {

// The program's window icon: a handheld with its link lead and plug, in two sizes (16 and 32
// pixels square) that share one 16-colour palette. Other sizes throw std::invalid_argument.
std::vector<Rgb> IconPalette();
Canvas DrawIcon(int size);

// The icon at the sizes a desktop's icon theme asks for (16, 32, 48, 64, 128 and 256 pixels),
// each the 16 or 32 pixel art enlarged by a whole factor, so that no pixel is blurred or
// redrawn. Other sizes throw std::invalid_argument.
std::span<const int> ThemeIconSizes();
Canvas DrawThemeIcon(int size);

// The 32 x 32 icon art as rows of symbols, reused by the larger pictures. The handheld itself
// fills columns 0 to kHandheldWidth - 1; the lead and plug are to its right.
std::span<const std::string_view> HandheldArt();
inline constexpr int kHandheldWidth = 22;

// The main window's picture while nothing has been captured: 160 x 144, black and white, the
// size of the handheld's own screen.
std::vector<Rgb> IdlePalette();
Canvas DrawIdlePicture();

// The About box's picture: the icon in brighter colours on a gradient, 32 x 32 with 256 colours.
std::vector<Rgb> AboutPalette();
Canvas DrawAboutPicture();

struct ArtFile {
  std::string name;
  Bytes bytes;
};

// Every file the program embeds, encoded and named as it is built into the binary.
std::vector<ArtFile> MakeArtFiles();

// The icon theme's PNG files, "icon-16.png" to "icon-256.png", which are installed beside the
// program rather than embedded in it.
std::vector<ArtFile> MakeThemeIconFiles();

}  // namespace fennow::art
