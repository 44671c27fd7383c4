// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/FileFormats.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace fennow {

const FormatRow& RowOf(FileFormat format) {
  return kFileFormats[static_cast<std::size_t>(format)];
}

SaveType SaveTypeOf(FileFormat format) {
  const FormatRow& row = RowOf(format);
  return {std::string(row.name), std::string(row.wildcard), std::string(row.filterText)};
}

std::optional<FileFormat> FormatNamed(std::string_view name) {
  for (const FormatRow& row : kFileFormats) {
    if (row.name == name) return row.format;
  }
  return std::nullopt;
}

std::optional<FileFormat> FormatOfPath(std::string_view path, std::span<const FileFormat> offered) {
  const std::size_t slash = path.rfind('/');
  const std::string_view file = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const std::size_t dot = file.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return std::nullopt;
  std::string extension(file.substr(dot + 1));
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (FileFormat format : offered) {
    if (RowOf(format).name == extension) return format;
  }
  return std::nullopt;
}

}  // namespace fennow
