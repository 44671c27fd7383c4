// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Reading and writing the files the tests make and check, and taking their contents apart
// independently of the code that wrote them.
namespace fennow::test {

// The whole file, byte for byte; empty when it cannot be read.
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// True when every byte was written.
inline bool WriteFile(const std::string& path, std::string_view content) {
  std::ofstream out(path, std::ios::binary);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  out.close();
  return !out.fail();
}

// Splits text whose every line must end in CR LF; a bare LF or CR, or a final line without its
// end, comes back as a line containing that character so that comparisons fail visibly.
inline std::vector<std::string> CrLfLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const auto end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start) + "<no CR LF>");
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

// A little-endian field of `width` bytes at `at`, read straight out of a file's bytes, so that a
// header written at the wrong place or width shows up.
template <typename Bytes>
std::uint32_t LittleEndian(const Bytes& bytes, std::size_t at, int width) {
  if (at + static_cast<std::size_t>(width) > bytes.size()) {
    throw std::out_of_range("field at " + std::to_string(at) + " runs past the end");
  }
  std::uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) {
    value = (value << 8) | static_cast<std::uint8_t>(bytes[at + static_cast<std::size_t>(i)]);
  }
  return value;
}
template <typename Bytes>
std::uint32_t U16(const Bytes& bytes, std::size_t at) {
  return LittleEndian(bytes, at, 2);
}
template <typename Bytes>
std::uint32_t U32(const Bytes& bytes, std::size_t at) {
  return LittleEndian(bytes, at, 4);
}

}  // namespace fennow::test
