// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/Exporters.h"

#include <cstring>
#include <stdexcept>
#include <string_view>

#include "export/FileContent.h"
#include "export/SafeWrite.h"
#include "export/SavePrompt.h"

namespace fennow {

namespace {

constexpr const char* kSaveStatus = "Save Status";
constexpr std::size_t kPngType = 1;  // in the screen button's types
constexpr std::size_t kScaleOption = 0;
constexpr std::size_t kPaletteOption = 1;

bool HasKind(const CaptureStore& store, FileFormat format, WindowServices& ui) {
  if (store.Kind == RowOf(format).kind) return true;
  ui.ShowMessage(std::string(RowOf(format).missingText), kSaveStatus,
                 MessageStyle::MB_ICONINFORMATION);
  return false;
}

std::string AsText(const std::vector<std::uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

// The file's bytes, or why they cannot be made.
FileText ContentOf(const CaptureStore& store, FileFormat format, const ScreenLook& look) {
  switch (format) {
    case FileFormat::Bitmap:
      return {AsText(ScreenBitmapFile(store)), {}};
    case FileFormat::Png:
      try {
        return {AsText(ScreenPngFile(store, look)), {}};
      } catch (const std::exception& error) {
        return {{}, std::string("The PNG image was not saved: ") + error.what() + "."};
      }
    case FileFormat::RawText:
      return {RawDataText(store), {}};
    case FileFormat::Csv:
      return {CsvTableText(store), {}};
    case FileFormat::Mathcad:
      return MathcadText(store);
  }
  return {{}, "Unknown file type."};
}

bool Refuse(const FileText& file, WindowServices& ui) {
  if (file.ok()) return false;
  ui.ShowMessage(file.problem, kSaveStatus, MessageStyle::MB_ICONSTOP);
  return true;
}

// A save that fails must say so: the user would otherwise take an old or missing file for
// the capture.
SaveOutcome WriteAndReport(WindowServices& ui, const std::string& path, std::string_view content) {
  const WriteOutcome outcome = WriteFileSafely(path, content);
  if (outcome.ok()) return SaveOutcome::Saved;
  std::string text = "Could not save \"" + path + "\": " + std::strerror(outcome.error) + ".";
  if (outcome.targetIncomplete) text += " The file may be incomplete.";
  ui.ShowMessage(text, kSaveStatus, MessageStyle::MB_ICONSTOP);
  return SaveOutcome::WriteFailed;
}

SaveRequest RequestFor(std::span<const FileFormat> formats) {
  SaveRequest request;
  for (FileFormat format : formats) request.types.push_back(SaveTypeOf(format));
  return request;
}

void OfferLook(SaveRequest& request, const ScreenLook& look) {
  SaveOption scale{"Scale", {}, 0, kPngType};
  for (std::size_t i = 0; i < kScreenScales.size(); ++i) {
    scale.values.push_back(std::to_string(kScreenScales[i]) + " \u00D7");
    if (kScreenScales[i] == look.scale) scale.chosen = i;
  }
  SaveOption palette{"Colours", {}, static_cast<std::size_t>(look.palette), kPngType};
  for (const PaletteRow& row : kScreenPalettes) palette.values.emplace_back(row.shown);
  request.options = {scale, palette};
}

// Whatever the dialog answered, only values the tables hold are taken.
void KeepLook(const SaveAnswer& answer, ScreenLook& look) {
  const auto& chosen = answer.options;
  if (chosen.size() > kScaleOption && chosen[kScaleOption] < kScreenScales.size()) {
    look.scale = kScreenScales[chosen[kScaleOption]];
  }
  if (chosen.size() > kPaletteOption && chosen[kPaletteOption] < kScreenPalettes.size()) {
    look.palette = kScreenPalettes[chosen[kPaletteOption]].palette;
  }
}

FileFormat FormatAnswered(const SaveAnswer& answer, std::span<const FileFormat> formats) {
  if (auto named = FormatOfPath(answer.path, formats)) return *named;
  return answer.type < formats.size() ? formats[answer.type] : formats.front();
}

SaveOutcome Write(const CaptureStore& store, WindowServices& ui, const std::string& path,
                  FileFormat format, const ScreenLook& look) {
  const FileText file = ContentOf(store, format, look);
  if (Refuse(file, ui)) return SaveOutcome::Refused;
  return WriteAndReport(ui, path, file.text);
}

}  // namespace

SaveOutcome SaveScreenBitmap(const CaptureStore& store, WindowServices& ui, std::string& savePath,
                             ScreenLook& look) {
  if (!HasKind(store, FileFormat::Bitmap, ui)) return SaveOutcome::WrongKind;
  SaveRequest request = RequestFor(kScreenButtonFormats);
  OfferLook(request, look);
  SaveAnswer answer;
  if (PromptSavePath(ui, savePath, request, &answer) != IDOK) return SaveOutcome::Cancelled;
  KeepLook(answer, look);
  return Write(store, ui, savePath, FormatAnswered(answer, kScreenButtonFormats), look);
}

SaveOutcome SaveRawData(const CaptureStore& store, WindowServices& ui, std::string& savePath) {
  if (!HasKind(store, FileFormat::RawText, ui)) return SaveOutcome::WrongKind;
  SaveAnswer answer;
  if (PromptSavePath(ui, savePath, RequestFor(kRawDataButtonFormats), &answer) != IDOK) {
    return SaveOutcome::Cancelled;
  }
  return Write(store, ui, savePath, FormatAnswered(answer, kRawDataButtonFormats), {});
}

SaveOutcome SaveMathcadData(const CaptureStore& store, WindowServices& ui, std::string& savePath) {
  if (!HasKind(store, FileFormat::Mathcad, ui)) return SaveOutcome::WrongKind;
  // Refused before the prompt: there is no point in choosing a file that will not be written.
  const FileText file = MathcadText(store);
  if (Refuse(file, ui)) return SaveOutcome::Refused;
  if (PromptSavePath(ui, savePath, RequestFor(kMathcadButtonFormats)) != IDOK) {
    return SaveOutcome::Cancelled;
  }
  return WriteAndReport(ui, savePath, file.text);
}

SaveOutcome SaveCaptureAs(const CaptureStore& store, WindowServices& ui, const std::string& path,
                          FileFormat format, const ScreenLook& look) {
  if (!HasKind(store, format, ui)) return SaveOutcome::WrongKind;
  return Write(store, ui, path, format, look);
}

}  // namespace fennow
