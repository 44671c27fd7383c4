// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's payload loaders against any file: the raw data loader (--data, "Open data
// file...") and the picture loader (--screen, "Open picture..."). The raw data loader must take
// exactly the files the format allows, with the numbers in them, and refuse the rest with a
// message that is safe to print; a picture that loads must make a screen that survives the way
// back and forth through an image unchanged.
//
// Input: the first byte chooses the loader (even: raw data, odd: picture); the rest is the file.
#include <fcntl.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "fuzz/Check.h"
#include "fuzz/Scratch.h"
#include "fuzz/Script.h"
#include "sim_app/SimPayloads.h"

namespace fennow::fuzz {
namespace {

constexpr std::size_t kLimit = 64 * 1024;

// The loaders read from a path.
std::string FilePath(const char* name) {
  return ScratchFolder() + "/" + name;
}

void WriteWhole(const std::string& path, std::span<const std::uint8_t> bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  FUZZ_CHECK(fd >= 0);
  FUZZ_CHECK(::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()));
  ::close(fd);
}

bool Blank(std::uint8_t c) {
  return c == ' ' || c == '\t';
}

// The raw data format read independently: lines ended by LF (a CR before it belongs to the line
// end), a last line end that may be missing, blanks around one number of 0 to 255 on each line.
std::optional<std::vector<std::uint8_t>> ParseRaw(std::span<const std::uint8_t> file) {
  if (file.size() > kLimit) return std::nullopt;
  std::vector<std::span<const std::uint8_t>> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= file.size(); ++i) {
    if (i == file.size() || file[i] == '\n') {
      lines.push_back(file.subspan(start, i - start));
      start = i + 1;
    }
  }
  bool lastIsBlank = true;
  for (std::uint8_t c : lines.back()) lastIsBlank = lastIsBlank && (Blank(c) || c == '\r');
  if (lastIsBlank) lines.pop_back();
  if (lines.size() != 1205) return std::nullopt;
  std::vector<std::uint8_t> values;
  for (std::span<const std::uint8_t> line : lines) {
    if (!line.empty() && line.back() == '\r') line = line.first(line.size() - 1);
    std::size_t at = 0;
    while (at < line.size() && Blank(line[at])) ++at;
    const std::size_t digits = at;
    unsigned value = 0;
    while (at < line.size() && line[at] >= '0' && line[at] <= '9') {
      value = value * 10 + (line[at++] - '0');
      if (value > 255) return std::nullopt;
    }
    if (at == digits) return std::nullopt;
    while (at < line.size() && Blank(line[at])) ++at;
    if (at != line.size()) return std::nullopt;
    values.push_back(static_cast<std::uint8_t>(value));
  }
  return values;
}

// A message meant for a terminal or a message box: nothing in it can drive the terminal, and a
// long line of the file does not make it long.
void CheckMessage(const std::string& message, const std::string& path) {
  FUZZ_CHECK(message.find(path) != std::string::npos);
  FUZZ_CHECK(message.size() <= path.size() + 300);
  for (unsigned char c : message) FUZZ_CHECK(c >= 0x20 && c != 0x7F);
}

void CheckRawData(std::span<const std::uint8_t> file) {
  const std::string path = FilePath("data.txt");
  WriteWhole(path, file);
  const auto loaded = LoadRawData(QString::fromStdString(path));
  const std::optional<std::vector<std::uint8_t>> expected = ParseRaw(file);
  FUZZ_CHECK(std::holds_alternative<DataBytes>(loaded) == expected.has_value());
  if (expected) {
    const DataBytes& data = std::get<DataBytes>(loaded);
    for (std::size_t i = 0; i < data.size(); ++i) FUZZ_CHECK(data[i] == (*expected)[i]);
  } else {
    CheckMessage(std::get<std::string>(loaded), path);
  }
}

void CheckPicture(std::span<const std::uint8_t> file) {
  const std::string path = FilePath("picture");
  WriteWhole(path, file);
  const auto loaded = LoadScreenImage(QString::fromStdString(path));
  if (const auto* screen = std::get_if<ScreenBytes>(&loaded)) {
    FUZZ_CHECK(ScreenFromImage(ImageFromScreen(*screen)) == *screen);
  } else {
    FUZZ_CHECK(std::get<std::string>(loaded).find(path) != std::string::npos);
  }
}

}  // namespace
}  // namespace fennow::fuzz

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  // The picture loader paints: that wants a GUI application, which needs no display offscreen.
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static QGuiApplication app(*argc, *argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fennow::fuzz::Script script(data, size);
  const bool picture = script.Flag();
  const std::span<const std::uint8_t> file = script.Rest();
  if (picture) {
    fennow::fuzz::CheckPicture(file);
  } else {
    fennow::fuzz::CheckRawData(file);
  }
  return 0;
}
