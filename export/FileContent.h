// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "capture/CaptureStore.h"

namespace fennow {

// What the three writers put on disk, made in memory so that a preview or another tool can use
// the same bytes. These read the slots only; checking CaptureKind is the caller's business.

inline constexpr std::size_t kBitmapHeaderBytes = 62;  // both headers and the colour table
inline constexpr std::size_t kBitmapFileBytes = kBitmapHeaderBytes + kScreenBytes;  // 2942

// The whole bitmap file: the fixed header, then the low 8 bits of every slot, bottom row first.
std::vector<std::uint8_t> ScreenBitmapFile(const CaptureStore& store);

// 1205 lines, each the low 8 bits of one slot in decimal, every line ended by CR LF.
std::string RawDataText(const CaptureStore& store);

// A file's text, or why it cannot be made; text is empty whenever problem is set.
struct FileText {
  std::string text;
  std::string problem;
  bool ok() const { return problem.empty(); }
};

// Why the scale codes of a data block have no scale value, naming the first bad code; nothing
// when all three are inside their tables.
std::optional<std::string> ScaleCodeProblem(const CaptureStore& store);

// How many codes scale 0, 1 or 2 (the first, second and third code of a block) has values for.
std::size_t ScaleCodeCount(int scale);

// The value that `code` selects for scale 0, 1 or 2, written as the Mathcad file writes it
// ("0.05", "0.000500"); nothing when the code lies outside its table.
std::optional<std::string> ScaleValueText(int scale, std::uint8_t code);

// 1202 re-centred samples and the three scale values, every line ended by CR LF. Refused when a
// scale code lies outside its table.
FileText MathcadText(const CaptureStore& store);

// A table for spreadsheets and data tools: a header row, then one row per slot, every line ended by
// CR LF. A sample's row holds its index, the raw byte and the re-centred value the Mathcad file
// gives it; a scale code's row holds the code and its scale value as the Mathcad file writes it,
// or nothing where the code is outside its table.
std::string CsvTableText(const CaptureStore& store);

}  // namespace fennow
