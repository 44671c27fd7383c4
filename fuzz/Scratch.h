// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace fennow::fuzz {

// Empties a folder and removes it, whatever its entries' modes: folders are opened up first.
inline void RemoveAll(const std::string& folder) {
  std::error_code ignored;
  for (auto it = std::filesystem::recursive_directory_iterator(folder, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    if (it->is_directory(ignored) && !it->is_symlink(ignored)) ::chmod(it->path().c_str(), 0700);
  }
  std::filesystem::remove_all(folder, ignored);
}

// A folder of this process's own for the files a target works on: in memory where there is
// /dev/shm, so that writing and syncing cost next to nothing. Removed when the process exits
// normally (a finding aborts it, and leaves the folder to look at).
inline const std::string& ScratchFolder() {
  static const std::string folder = [] {
    const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/fennow-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern;
  }();
  static const bool removedAtExit = std::atexit([] { RemoveAll(ScratchFolder()); }) == 0;
  (void)removedAtExit;
  return folder;
}

}  // namespace fennow::fuzz
