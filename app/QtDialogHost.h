// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMessageBox>
#include <memory>

#include "app/WindowPlatform.h"

class QFileDialog;

namespace fennow {

QMessageBox::Icon IconFor(MessageStyle style);

// The message box ShowMessage runs, ready to exec: one OK button, the title as given, the icon
// of the style, the text as plain text so that a line feed starts a new line.
std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* owner, const std::string& text,
                                            const std::string& title, MessageStyle style);

// "<description> (<wildcard>)": the filter names its own pattern, as Qt's filters must.
QString SaveFilter(const SaveType& type);

// The save dialog RunSaveDialog runs, ready to exec: a fresh dialog every time, so the name box
// always starts from the first type's wildcard and never from the last path. Each type is a filter
// of its own; each option a labelled list below them, usable while its type is chosen. The default
// suffix is added to a name typed without one; an existing file is replaced without a question. A
// name holding
// * or ? (the untouched "*.bmp" among them) becomes the list's filter and the dialog stays open,
// so no name with a wildcard ever comes back. Qt's own dialog, also where a desktop has another.
std::unique_ptr<QFileDialog> MakeSaveDialog(QWidget* owner, const SaveRequest& request);

// The program's dialogs, all modal over their owner.
class QtDialogHost final : public DialogHost {
 public:
  void ShowMessage(QWidget* owner, const std::string& text, const std::string& title,
                   MessageStyle style) override;
  SaveAnswer RunSaveDialog(QWidget* owner, const SaveRequest& request) override;
  void RunAboutBox(QWidget* owner) override;
  // Save, Discard or Cancel, Save the default and Escape Cancel.
  UnsavedChoice AskUnsaved(QWidget* owner, std::size_t unsaved) override;
};

}  // namespace fennow
