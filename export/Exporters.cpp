#include "export/Exporters.h"

#include "export/SavePrompt.h"

namespace fennow {

namespace {

constexpr const char* kSaveStatus = "Save Status";

bool HasKind(const CaptureStore& store, CaptureKind kind, WindowServices& ui, const char* text) {
  if (store.Kind == kind) return true;
  ui.ShowMessage(text, kSaveStatus, MB_ICONINFORMATION);
  return false;
}

}  // namespace

// The file writing itself lands in the next change; until then a confirmed prompt writes nothing.
void SaveScreenBitmap(const CaptureStore& store, WindowServices& ui, std::string& savePath) {
  if (!HasKind(store, CaptureKind::Screen, ui, "No Screen Information Transferred")) return;
  PromptSavePath(ui, savePath, kBitmapSaveRow);
}

void SaveRawData(const CaptureStore& store, WindowServices& ui, std::string& savePath) {
  if (!HasKind(store, CaptureKind::Data, ui, "No Data Information Transferred")) return;
  PromptSavePath(ui, savePath, kRawDataSaveRow);
}

void SaveMathcadData(const CaptureStore& store, WindowServices& ui, std::string& savePath) {
  if (!HasKind(store, CaptureKind::Data, ui, "No Data Information Transferred")) return;
  PromptSavePath(ui, savePath, kMathcadSaveRow);
}

}  // namespace fennow
