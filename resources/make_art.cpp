// Draws the program's icon and pictures and writes them, as the files that get built into the
// program, to the folder named on the command line.

#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "resources/Artwork.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: " << argv[0] << " OUTPUT_FOLDER\n";
    return 2;
  }
  try {
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    for (const fennow::art::ArtFile& file : fennow::art::MakeArtFiles()) {
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
