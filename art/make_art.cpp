// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the program's icon and pictures and writes them, as the files that get built into the
// program and the icon theme's files that are installed beside it, to the folder named on the
// command line.

#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <utility>
#include <vector>

#include "art/Artwork.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: " << argv[0] << " OUTPUT_FOLDER\n";
    return 2;
  }
  try {
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    std::vector<fennow::art::ArtFile> files = fennow::art::MakeArtFiles();
    for (fennow::art::ArtFile& icon : fennow::art::MakeThemeIconFiles()) {
      files.push_back(std::move(icon));
    }
    for (const fennow::art::ArtFile& file : files) {
      const std::filesystem::path path = folder / file.name;
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(file.bytes.data()),
                static_cast<std::streamsize>(file.bytes.size()));
      out.close();
      if (!out) {
        std::cerr << "cannot write " << path << "\n";
        return 1;
      }
    }
  } catch (const std::exception& e) {
    std::cerr << "drawing failed: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
