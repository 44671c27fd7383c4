// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/Exporters.h"

#include <cstring>
#include <string_view>

#include "export/FileContent.h"
#include "export/SafeWrite.h"
#include "export/SavePrompt.h"

namespace fennow {

namespace {

constexpr const char* kSaveStatus = "Save Status";

bool HasKind(const CaptureStore& store, CaptureKind kind, WindowServices& ui, const char* text) {
  if (store.Kind == kind) return true;
  ui.ShowMessage(text, kSaveStatus, MessageStyle::MB_ICONINFORMATION);
  return false;
}

// A save that fails must say so: the user would otherwise take an old or missing file for
// the capture.
void WriteAndReport(WindowServices& ui, const std::string& path, std::string_view content) {
  const WriteOutcome outcome = WriteFileSafely(path, content);
  if (outcome.ok()) return;
  std::string text = "Could not save \"" + path + "\": " + std::strerror(outcome.error) + ".";
  if (outcome.targetIncomplete) text += " The file may be incomplete.";
  ui.ShowMessage(text, kSaveStatus, MessageStyle::MB_ICONSTOP);
}

}  // namespace

void SaveScreenBitmap(const CaptureStore& store, WindowServices& ui, std::string& savePath) {
  if (!HasKind(store, CaptureKind::Screen, ui, "No Screen Information Transferred")) return;
  if (PromptSavePath(ui, savePath, kBitmapSaveRow) != IDOK) return;
  const std::vector<std::uint8_t> file = ScreenBitmapFile(store);
  WriteAndReport(ui, savePath,
                 std::string_view(reinterpret_cast<const char*>(file.data()), file.size()));
}

void SaveRawData(const CaptureStore& store, WindowServices& ui, std::string& savePath) {
  if (!HasKind(store, CaptureKind::Data, ui, "No Data Information Transferred")) return;
  if (PromptSavePath(ui, savePath, kRawDataSaveRow) != IDOK) return;
  WriteAndReport(ui, savePath, RawDataText(store));
}

void SaveMathcadData(const CaptureStore& store, WindowServices& ui, std::string& savePath) {
  if (!HasKind(store, CaptureKind::Data, ui, "No Data Information Transferred")) return;
  // Refused before the prompt: there is no point in choosing a file that will not be written.
  const FileText file = MathcadText(store);
  if (!file.ok()) {
    ui.ShowMessage(file.problem, kSaveStatus, MessageStyle::MB_ICONSTOP);
    return;
  }
  if (PromptSavePath(ui, savePath, kMathcadSaveRow) != IDOK) return;
  WriteAndReport(ui, savePath, file.text);
}

}  // namespace fennow
