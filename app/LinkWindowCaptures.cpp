// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's keeping of the run's captures: saving any of them, the Captures window, and
// the question at closing while one was never saved.
#include "app/CapturesWindow.h"
#include "app/DialogTemplates.h"
#include "app/LinkWindow.h"
#include "export/Exporters.h"

namespace fennow {

bool LinkWindow::SaveAs(const CaptureStore& store, int buttonId) {
  SaveOutcome outcome = SaveOutcome::Cancelled;
  switch (buttonId) {
    case kScreenFormatId:
      outcome = SaveScreenBitmap(store, *this, SavePath, screenLook_);
      break;
    case kRawDataFormatId:
      outcome = SaveRawData(store, *this, SavePath);
      break;
    case kMathcadFormatId:
      outcome = SaveMathcadData(store, *this, SavePath);
      break;
    default:
      break;
  }
  return outcome == SaveOutcome::Saved;
}

void LinkWindow::SaveLatest(int buttonId) {
  // The latest capture is the roll's newest whenever it holds one: a transfer that failed before
  // its payload left it as it was, and one that failed after left none.
  if (SaveAs(capture_, buttonId) && capture_.Kind != CaptureKind::None) roll_.MarkSaved(0);
  if (captures_ != nullptr) captures_->Refresh();
}

CapturesWindow& LinkWindow::OpenCaptures() {
  if (captures_ == nullptr) {
    captures_ = new CapturesWindow(
        this, roll_,
        [this](std::size_t index, int buttonId) {
          if (index < roll_.Entries().size() && SaveAs(roll_.Entries()[index].capture, buttonId)) {
            roll_.MarkSaved(index);
          }
        },
        screenLook_);
  }
  captures_->Refresh();
  captures_->show();
  captures_->raise();
  captures_->activateWindow();
  return *captures_;
}

bool LinkWindow::MayClose() {
  const std::size_t unsaved = roll_.UnsavedCount();
  if (unsaved == 0) return true;
  switch (platform_.dialogs.AskUnsaved(this, unsaved)) {
    case UnsavedChoice::Discard:
      return true;
    case UnsavedChoice::Cancel:
      return false;
    case UnsavedChoice::Save:
      break;
  }
  // Each capture never saved, newest first, through its kind's first button; a save dialog
  // cancelled keeps the window open.
  for (std::size_t i = 0; i < roll_.Entries().size(); ++i) {
    if (roll_.Entries()[i].saved) continue;
    const CaptureStore& capture = roll_.Entries()[i].capture;
    const int button = capture.Kind == CaptureKind::Screen ? kScreenFormatId : kRawDataFormatId;
    if (!SaveAs(capture, button)) return false;
    roll_.MarkSaved(i);
  }
  return true;
}

}  // namespace fennow
