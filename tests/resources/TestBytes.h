#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "resources/ImageFiles.h"

namespace fennow::test {

// Little-endian fields read straight out of a file's bytes, independently of the encoder, so
// that a header written at the wrong place or width shows up.
inline std::uint32_t Field(const art::Bytes& b, std::size_t at, int width) {
  if (at + static_cast<std::size_t>(width) > b.size()) {
    throw std::out_of_range("field at " + std::to_string(at) + " runs past the end");
  }
  std::uint32_t v = 0;
  for (int i = width - 1; i >= 0; --i) v = (v << 8) | b[at + static_cast<std::size_t>(i)];
  return v;
}
inline std::uint32_t U16(const art::Bytes& b, std::size_t at) {
  return Field(b, at, 2);
}
inline std::uint32_t U32(const art::Bytes& b, std::size_t at) {
  return Field(b, at, 4);
}

inline art::Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  return art::Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace fennow::test
