// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/QtDialogHost.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>

#include "app/AboutBox.h"

namespace fennow {

QMessageBox::Icon IconFor(MessageStyle style) {
  switch (style) {
    case MessageStyle::MB_ICONSTOP:
      return QMessageBox::Critical;
    case MessageStyle::MB_ICONEXCLAMATION:
      return QMessageBox::Warning;
    case MessageStyle::MB_ICONINFORMATION:
      return QMessageBox::Information;
    case MessageStyle::MB_OK:
      break;
  }
  return QMessageBox::NoIcon;
}

std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* owner, const std::string& text,
                                            const std::string& title, MessageStyle style) {
  auto box = std::make_unique<QMessageBox>(IconFor(style), QString::fromStdString(title),
                                           QString::fromStdString(text), QMessageBox::Ok, owner);
  // Rich text would swallow the line feeds the texts are laid out with.
  box->setTextFormat(Qt::PlainText);
  box->setDefaultButton(QMessageBox::Ok);
  box->setEscapeButton(QMessageBox::Ok);
  box->setWindowModality(owner != nullptr ? Qt::WindowModal : Qt::ApplicationModal);
  return box;
}

void QtDialogHost::ShowMessage(QWidget* owner, const std::string& text, const std::string& title,
                               MessageStyle style) {
  MakeMessageBox(owner, text, title, style)->exec();
}

QString SaveFilter(const SaveRequest& request) {
  return QString::fromStdString(request.filterText) + QStringLiteral(" (") +
         QString::fromStdString(request.initialName) + QStringLiteral(")");
}

namespace {

bool HoldsWildcard(const QString& name) {
  return name.contains(QLatin1Char('*')) || name.contains(QLatin1Char('?'));
}

// A name with * or ? in it is a pattern, never a file to save: the dialog takes it as the filter
// of its list, as common save dialogs do, and stays open. A pattern typed with a
// folder in front of it also opens that folder.
class SaveFileDialog final : public QFileDialog {
 public:
  SaveFileDialog(QWidget* owner, const QString& rowFilter)
      : QFileDialog(owner), rowFilter_(rowFilter) {}

  void accept() override {
    // The name as typed: "*" is a pattern of its own, not "*" with the default suffix added.
    const QString suffix = defaultSuffix();
    setDefaultSuffix(QString());
    const QStringList chosen = selectedFiles();
    setDefaultSuffix(suffix);
    if (chosen.isEmpty() || !HoldsWildcard(QFileInfo(chosen.first()).fileName())) {
      QFileDialog::accept();
      return;
    }
    const QFileInfo typed(chosen.first());
    if (typed.dir().exists()) setDirectory(typed.dir());
    setNameFilters({rowFilter_, typed.fileName()});
    selectNameFilter(typed.fileName());
    selectFile(typed.fileName());
  }

 private:
  QString rowFilter_;
};

}  // namespace

std::unique_ptr<QFileDialog> MakeSaveDialog(QWidget* owner, const SaveRequest& request) {
  auto dialog = std::make_unique<SaveFileDialog>(owner, SaveFilter(request));
  // Qt's own dialog everywhere: a desktop's native one would return a wildcard as a file name.
  dialog->setOption(QFileDialog::DontUseNativeDialog, true);
  dialog->setAcceptMode(QFileDialog::AcceptSave);
  dialog->setFileMode(QFileDialog::AnyFile);
  dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
  dialog->setNameFilter(SaveFilter(request));
  dialog->setDefaultSuffix(QString::fromStdString(request.defaultExtension));
  dialog->selectFile(QString::fromStdString(request.initialName));
  dialog->setWindowModality(owner != nullptr ? Qt::WindowModal : Qt::ApplicationModal);
  return dialog;
}

SaveAnswer QtDialogHost::RunSaveDialog(QWidget* owner, const SaveRequest& request) {
  const auto dialog = MakeSaveDialog(owner, request);
  const bool accepted = dialog->exec() == QDialog::Accepted;
  const QStringList chosen = dialog->selectedFiles();
  SaveAnswer answer;
  answer.result = accepted ? IDOK : IDCANCEL;
  answer.path = chosen.isEmpty() ? std::string() : QFile::encodeName(chosen.first()).toStdString();
  return answer;
}

void QtDialogHost::RunAboutBox(QWidget* owner) {
  AboutBox box;
  if (owner != nullptr && owner->isVisible()) {
    // A box without a parent opens where the window system likes; this one belongs over the
    // window that asked for it.
    // Client areas, not frames: the frame of a window not yet shown is not known.
    QRect place(QPoint(), box.size());
    place.moveCenter(owner->geometry().center());
    box.setGeometry(place);
  }
  box.exec();
}

}  // namespace fennow
