// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/OutputNames.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace fennow {

namespace {

struct Expanded {
  std::string name;
  bool numbered = false;
};

std::optional<Expanded> Expand(std::string_view pattern, int n) {
  Expanded out;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%') {
      out.name += pattern[i];
      continue;
    }
    const std::string_view rest = pattern.substr(i + 1);
    if (rest.starts_with('%')) {
      out.name += '%';
      i += 1;
    } else if (rest.starts_with('d')) {
      out.name += std::to_string(n);
      out.numbered = true;
      i += 1;
    } else if (rest.size() >= 3 && rest[0] == '0' && rest[1] >= '1' && rest[1] <= '9' &&
               rest[2] == 'd') {
      std::string digits = std::to_string(n);
      const auto width = static_cast<std::size_t>(rest[1] - '0');
      if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
      out.name += digits;
      out.numbered = true;
      i += 3;
    } else {
      return std::nullopt;
    }
  }
  return out;
}

}  // namespace

std::optional<std::string> OutputName(std::string_view pattern, int n) {
  std::optional<Expanded> expanded = Expand(pattern, n);
  if (!expanded) return std::nullopt;
  std::string& name = expanded->name;
  if (expanded->numbered || n <= 1) return name;
  const std::size_t slash = name.rfind('/');
  const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
  std::size_t dot = name.rfind('.');
  // A leading dot names a hidden file, not an extension.
  if (dot == std::string::npos || dot <= start) dot = name.size();
  name.insert(dot, "-" + std::to_string(n));
  return name;
}

namespace {

// The longest file name Linux file systems take, in bytes (NAME_MAX).
constexpr std::size_t kNameMax = 255;

bool MayWrite(const std::filesystem::path& path) {
  return ::access(path.c_str(), W_OK) == 0;
}

}  // namespace

std::optional<std::string> OutputProblem(const std::string& path) {
  namespace fs = std::filesystem;
  const fs::path target(path);
  const std::string name = target.filename().string();
  if (name.empty() || name == "." || name == "..") return "it names no file";
  if (name.size() > kNameMax)
    return "the file name is longer than " + std::to_string(kNameMax) + " bytes";
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::error_code error;
  if (!fs::exists(folder, error)) return "the folder " + folder.string() + " does not exist";
  if (!fs::is_directory(folder, error)) return folder.string() + " is not a folder";
  if (fs::is_directory(target, error)) return "it is a folder";
  if (fs::exists(target, error) && MayWrite(target)) return std::nullopt;
  if (!MayWrite(folder)) return "the folder " + folder.string() + " may not be written to";
  return std::nullopt;
}

std::optional<std::string> RescueName(const std::string& name) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path file = fs::path(name).filename();
  for (const fs::path& folder : {fs::path("."), fs::temp_directory_path(error)}) {
    if (folder.empty() || !MayWrite(folder)) continue;
    for (int n = 1; n < 1000; ++n) {
      fs::path numbered = file;
      if (n > 1) {
        numbered = file.stem().string() + "-" + std::to_string(n) + file.extension().string();
      }
      const fs::path candidate = folder / numbered;
      if (!fs::exists(candidate, error)) return fs::absolute(candidate, error).lexically_normal();
    }
  }
  return std::nullopt;
}

}  // namespace fennow
