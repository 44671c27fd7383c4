// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "capture/CaptureStore.h"
#include "export/Exporters.h"
#include "tests/support/Files.h"

namespace fennow::test {

// A fresh folder per test, removed with everything in it (permissions restored first, so a
// read-only folder made by a test does not outlive it).
class TempDir {
 public:
  TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "fennow-export-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
      if (it->is_directory(ignored) && !it->is_symlink(ignored)) ::chmod(it->path().c_str(), 0700);
    }
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// Makes `folder` the current one for the guard's life.
class CurrentFolder {
 public:
  explicit CurrentFolder(const std::filesystem::path& folder)
      : before_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder);
  }
  ~CurrentFolder() {
    std::error_code ignored;
    std::filesystem::current_path(before_, ignored);
  }
  CurrentFolder(const CurrentFolder&) = delete;
  CurrentFolder& operator=(const CurrentFolder&) = delete;

 private:
  std::filesystem::path before_;
};

// Every name in a folder, hidden ones included: a temporary file left behind shows up here.
inline std::set<std::string> Names(const std::filesystem::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

inline mode_t ModeOf(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return 0;
  return info.st_mode;
}

inline bool RunningAsRoot() {
  return ::geteuid() == 0;
}

// A screen whose bytes differ from slot to slot and include 0x0A and 0x0D, which a text-mode
// write would mangle; the high bits of each slot are set to prove only the low 8 count.
inline CaptureStore MakeScreen() {
  CaptureStore store;
  store.Kind = CaptureKind::Screen;
  for (std::size_t slot = 0; slot < store.CaptureBuffer.size(); ++slot) {
    const int low = static_cast<int>((slot * 37 + 11) % 256);
    store.CaptureBuffer[slot] = low | (slot % 3 == 0 ? 0x5A00 : 0);
  }
  store.CaptureBuffer[100] = 0x0A;
  store.CaptureBuffer[101] = 0x0D;
  return store;
}

// A data block with samples across the whole byte range and the given scale codes; the slots
// after the block hold junk that must never reach a file.
inline CaptureStore MakeData(int first = 3, int second = 9, int third = 26) {
  CaptureStore store;
  store.Kind = CaptureKind::Data;
  for (std::size_t slot = 0; slot < store.CaptureBuffer.size(); ++slot) {
    store.CaptureBuffer[slot] = static_cast<std::int32_t>((slot * 53 + 7) % 256);
  }
  store.CaptureBuffer[0] = 0;
  store.CaptureBuffer[1] = 127;
  store.CaptureBuffer[2] = 128;
  store.CaptureBuffer[3] = 255;
  store.CaptureBuffer[4] = 0x10A;  // low byte 10
  store.CaptureBuffer[kSampleCount] = first;
  store.CaptureBuffer[kSampleCount + 1] = second;
  store.CaptureBuffer[kSampleCount + 2] = third;
  for (std::size_t slot = kDataBytes; slot < store.CaptureBuffer.size(); ++slot) {
    store.CaptureBuffer[slot] = 0x77;
  }
  return store;
}

inline CaptureStore MakeUniformData(std::int32_t value) {
  CaptureStore store;
  store.Kind = CaptureKind::Data;
  store.CaptureBuffer.fill(value);
  return store;
}

// The screen's button with the look every run starts with, in the shape of the other two.
inline SaveOutcome SaveScreen(const CaptureStore& store, WindowServices& ui,
                              std::string& savePath) {
  ScreenLook look;
  return SaveScreenBitmap(store, ui, savePath, look);
}

}  // namespace fennow::test
