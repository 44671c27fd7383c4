// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/QtDialogHost.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>

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

QString SaveFilter(const SaveType& type) {
  return QString::fromStdString(type.filterText) + QStringLiteral(" (") +
         QString::fromStdString(type.initialName) + QStringLiteral(")");
}

namespace {

bool HoldsWildcard(const QString& name) {
  return name.contains(QLatin1Char('*')) || name.contains(QLatin1Char('?'));
}

// A name with * or ? in it is a pattern, never a file to save: the dialog takes it as the filter
// of its list, as common save dialogs do, and stays open. A pattern typed with a
// folder in front of it also opens that folder.
//
// Choosing another type gives the dialog that type's suffix, and its wildcard where the name box
// still holds the last type's; the options that go with a type are usable only while it is chosen.
class SaveFileDialog final : public QFileDialog {
 public:
  SaveFileDialog(QWidget* owner, const SaveRequest& request)
      : QFileDialog(owner), request_(request) {
    for (const SaveType& type : request.types) typeFilters_.push_back(SaveFilter(type));
    connect(this, &QFileDialog::filterSelected, this, &SaveFileDialog::OnFilter);
  }

  std::size_t Type() const { return type_; }

  void AddOptions() {
    auto* grid = qobject_cast<QGridLayout*>(layout());
    for (const SaveOption& option : request_.options) {
      auto* box = new QComboBox(this);
      for (const std::string& value : option.values) box->addItem(QString::fromStdString(value));
      box->setCurrentIndex(static_cast<int>(option.chosen));
      auto* label = new QLabel(QString::fromStdString(option.label) + QLatin1Char(':'), this);
      label->setBuddy(box);
      if (grid != nullptr) {
        const int row = grid->rowCount();
        grid->addWidget(label, row, 0);
        grid->addWidget(box, row, 1);
      }
      options_.push_back(box);
    }
    Enable();
  }

  std::vector<std::size_t> Options() const {
    std::vector<std::size_t> chosen;
    for (const QComboBox* box : options_) {
      chosen.push_back(static_cast<std::size_t>(std::max(0, box->currentIndex())));
    }
    return chosen;
  }

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
    QStringList filters = typeFilters_;
    filters.push_back(typed.fileName());
    setNameFilters(filters);
    selectNameFilter(typed.fileName());
    selectFile(typed.fileName());
  }

 private:
  void OnFilter(const QString& filter) {
    const auto at = typeFilters_.indexOf(filter);
    if (at < 0) return;  // a typed pattern: the type stays as it was
    const SaveType& from = request_.types[type_];
    type_ = static_cast<std::size_t>(at);
    const SaveType& to = request_.types[type_];
    setDefaultSuffix(QString::fromStdString(to.defaultExtension));
    const auto* name = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (name != nullptr && name->text() == QString::fromStdString(from.initialName)) {
      selectFile(QString::fromStdString(to.initialName));
    }
    Enable();
  }

  void Enable() {
    for (std::size_t i = 0; i < options_.size(); ++i) {
      options_[i]->setEnabled(request_.options[i].forType == type_);
    }
  }

  const SaveRequest& request_;
  QStringList typeFilters_;
  std::vector<QComboBox*> options_;
  std::size_t type_ = 0;
};

}  // namespace

std::unique_ptr<QFileDialog> MakeSaveDialog(QWidget* owner, const SaveRequest& request) {
  auto dialog = std::make_unique<SaveFileDialog>(owner, request);
  // Qt's own dialog everywhere: a desktop's native one would return a wildcard as a file name.
  dialog->setOption(QFileDialog::DontUseNativeDialog, true);
  dialog->setAcceptMode(QFileDialog::AcceptSave);
  dialog->setFileMode(QFileDialog::AnyFile);
  // Saving over a file asks first ("… already exists. Do you want to replace it?"), as desktop
  // save dialogs do: the name is checked with the type's suffix added, which is the file written.
  QStringList filters;
  for (const SaveType& type : request.types) filters.push_back(SaveFilter(type));
  dialog->setNameFilters(filters);
  if (!request.types.empty()) {
    dialog->setDefaultSuffix(QString::fromStdString(request.types.front().defaultExtension));
    dialog->selectFile(QString::fromStdString(request.types.front().initialName));
  }
  dialog->AddOptions();
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
  const auto* own = static_cast<const SaveFileDialog*>(dialog.get());
  answer.type = own->Type();
  answer.options = own->Options();
  return answer;
}

UnsavedChoice QtDialogHost::AskUnsaved(QWidget* owner, std::size_t unsaved) {
  const QString text =
      unsaved == 1 ? QStringLiteral("A capture of this run has not been saved.")
                   : QStringLiteral("%1 captures of this run have not been saved.").arg(unsaved);
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Fennow Link"), text,
                  QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, owner);
  box.setInformativeText(QStringLiteral("Save before closing? Discard loses what was not saved."));
  box.setDefaultButton(QMessageBox::Save);
  box.setEscapeButton(QMessageBox::Cancel);
  box.setWindowModality(owner != nullptr ? Qt::WindowModal : Qt::ApplicationModal);
  switch (box.exec()) {
    case QMessageBox::Save:
      return UnsavedChoice::Save;
    case QMessageBox::Discard:
      return UnsavedChoice::Discard;
    default:
      return UnsavedChoice::Cancel;
  }
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
