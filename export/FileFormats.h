// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string_view>

#include "capture/CaptureStore.h"
#include "link/FrontEnd.h"

namespace fennow {

// Every kind of file a capture can be saved as.
enum class FileFormat { Bitmap, Png, RawText, Csv, Mathcad };

struct FormatRow {
  FileFormat format;
  std::string_view name;  // on the command line, and the file's usual extension
  CaptureKind kind;       // what the store must hold
  std::string_view wildcard;
  std::string_view filterText;
  std::string_view missingText;  // the message when the store holds something else
};

inline constexpr std::array<FormatRow, 5> kFileFormats{{
    {FileFormat::Bitmap, "bmp", CaptureKind::Screen, "*.bmp", "Windows Bitmap file (.bmp)",
     "No Screen Information Transferred"},
    {FileFormat::Png, "png", CaptureKind::Screen, "*.png", "PNG image",
     "No Screen Information Transferred"},
    {FileFormat::RawText, "txt", CaptureKind::Data, "*.txt", "Raw Data Format (.txt)",
     "No Data Information Transferred"},
    {FileFormat::Csv, "csv", CaptureKind::Data, "*.csv", "CSV table",
     "No Data Information Transferred"},
    {FileFormat::Mathcad, "dat", CaptureKind::Data, "*.dat", "Mathcad 6.0 file (.dat)",
     "No Data Information Transferred"},
}};

// Every format, in the table's order.
inline constexpr auto kAllFormats = [] {
  std::array<FileFormat, kFileFormats.size()> all{};
  for (std::size_t i = 0; i < all.size(); ++i) all[i] = kFileFormats[i].format;
  return all;
}();

// What each Save to Disk button offers, its original type first and the default.
inline constexpr std::array<FileFormat, 2> kScreenButtonFormats{FileFormat::Bitmap,
                                                                FileFormat::Png};
inline constexpr std::array<FileFormat, 2> kRawDataButtonFormats{FileFormat::RawText,
                                                                 FileFormat::Csv};
inline constexpr std::array<FileFormat, 1> kMathcadButtonFormats{FileFormat::Mathcad};

const FormatRow& RowOf(FileFormat format);
SaveType SaveTypeOf(FileFormat format);
std::optional<FileFormat> FormatNamed(std::string_view name);
// The format among `offered` that the path's extension names, ignoring case; nothing when the
// path has no extension or another one.
std::optional<FileFormat> FormatOfPath(std::string_view path, std::span<const FileFormat> offered);

}  // namespace fennow
