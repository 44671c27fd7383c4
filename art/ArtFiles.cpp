// SPDX-License-Identifier: GPL-3.0-or-later
#include <array>
#include <string>

#include "art/Artwork.h"
#include "art/PngFile.h"

namespace fennow::art {

std::vector<ArtFile> MakeArtFiles() {
  const std::array<Canvas, 2> icons = {DrawIcon(32), DrawIcon(16)};
  std::vector<ArtFile> files;
  files.push_back({"icon128.ico", EncodeIco(icons, IconPalette())});
  files.push_back({"bitmap131.bmp", EncodeBmp(DrawIdlePicture(), IdlePalette())});
  files.push_back({"bitmap134.bmp", EncodeBmp(DrawAboutPicture(), AboutPalette())});
  return files;
}

std::vector<ArtFile> MakeThemeIconFiles() {
  std::vector<ArtFile> files;
  for (int size : ThemeIconSizes()) {
    files.push_back(
        {"icon-" + std::to_string(size) + ".png", EncodePng(DrawThemeIcon(size), IconPalette())});
  }
  return files;
}

}  // namespace fennow::art
