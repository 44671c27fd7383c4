// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/OutputNames.h"

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

}  // namespace fennow
