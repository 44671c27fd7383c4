// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <cstddef>
#include <functional>

#include "capture/CaptureRoll.h"
#include "export/ScreenPng.h"

class QListWidget;
class QPushButton;

namespace fennow {

// Every capture of the run, newest first, each with its time, kind and a thumbnail (a screen as
// its picture, a data block as its trace with its scale values). The selected one can be saved
// in every format of its kind, through the main window's own save path, and opened large. It
// belongs to the main window, so it stays usable while that one runs.
class CapturesWindow final : public QDialog {
  Q_OBJECT

 public:
  // Saves capture `index` of the roll as the main window's Save to Disk button `buttonId` does.
  using Save = std::function<void(std::size_t index, int buttonId)>;

  CapturesWindow(QWidget* owner, const CaptureRoll& roll, Save save, const ScreenLook& look);

  // Lists the roll afresh, the newest selected.
  void Refresh();
  // Shows capture `index` large: a screen at a whole-number scale in the PNG's chosen colours, a
  // data block as a plot with axes.
  void Open(std::size_t index);

  QListWidget& List() const { return *list_; }
  QPushButton& SaveButton(int buttonId) const;
  // The large view last opened, if it is still there.
  QDialog* View() const { return view_; }

 private:
  void Enable();
  std::size_t Selected() const;

  const CaptureRoll& roll_;
  Save save_;
  const ScreenLook& look_;
  QListWidget* list_ = nullptr;
  QPushButton* open_ = nullptr;
  QDialog* view_ = nullptr;
};

}  // namespace fennow
