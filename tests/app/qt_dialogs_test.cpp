// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>

#include "app/AboutBox.h"
#include "app/QtDialogHost.h"
#include "export/FileFormats.h"
#include "tests/support/WindowRig.h"

namespace fennow {
namespace {

using test::WhenShown;

struct SeenBox {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QString title;
  QString text;
  Qt::TextFormat format = Qt::AutoText;
  qsizetype buttonCount = 0;
  QMessageBox::StandardButton onlyButton = QMessageBox::NoButton;
  QWidget* parent = nullptr;
  bool modal = false;
};

TEST(QtMessageBox, StyleGivesTheIconAndTheBoxHasOneOkButton) {
  test::TestApp();
  const struct {
    MessageStyle style;
    QMessageBox::Icon icon;
  } cases[] = {
      {MessageStyle::MB_OK, QMessageBox::NoIcon},
      {MessageStyle::MB_ICONSTOP, QMessageBox::Critical},
      {MessageStyle::MB_ICONEXCLAMATION, QMessageBox::Warning},
      {MessageStyle::MB_ICONINFORMATION, QMessageBox::Information},
  };
  QWidget owner;
  owner.show();
  QtDialogHost host;
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.style));
    SeenBox seen;
    bool found = false;
    WhenShown<QMessageBox>(
        [&](QMessageBox& box) {
          seen.icon = box.icon();
          seen.title = box.windowTitle();
          seen.text = box.text();
          seen.format = box.textFormat();
          seen.buttonCount = box.buttons().size();
          seen.onlyButton =
              box.standardButtons() == QMessageBox::Ok ? QMessageBox::Ok : QMessageBox::NoButton;
          seen.parent = box.parentWidget();
          seen.modal = box.isModal();
          box.button(QMessageBox::Ok)->click();
        },
        &found);
    host.ShowMessage(&owner, "first line\nsecond line", "Some Title", c.style);
    ASSERT_TRUE(found);
    EXPECT_EQ(seen.icon, c.icon);
    EXPECT_EQ(seen.title, "Some Title");
    EXPECT_EQ(seen.text, "first line\nsecond line");
    EXPECT_EQ(seen.format, Qt::PlainText);  // so the line feed breaks the line
    EXPECT_EQ(seen.buttonCount, 1);
    EXPECT_EQ(seen.onlyButton, QMessageBox::Ok);
    EXPECT_EQ(seen.parent, &owner);
    EXPECT_TRUE(seen.modal);
  }
}

TEST(QtMessageBox, EscapeAlsoDismissesIt) {
  test::TestApp();
  QtDialogHost host;
  bool found = false;
  WhenShown<QMessageBox>([](QMessageBox& box) { box.reject(); }, &found);
  host.ShowMessage(nullptr, "text", "title",
                   MessageStyle::MB_ICONSTOP);  // returns: the box has ended
  EXPECT_TRUE(found);
}

SaveRequest RequestOf(std::initializer_list<FileFormat> formats) {
  SaveRequest request;
  for (FileFormat format : formats) request.types.push_back(SaveTypeOf(format));
  return request;
}

TEST(QtSaveDialog, IsConfiguredFromTheTypes) {
  test::TestApp();
  const struct {
    SaveRequest request;
    QStringList filters;
  } cases[] = {
      {RequestOf({FileFormat::Bitmap, FileFormat::Png}),
       {"Windows Bitmap file (.bmp) (*.bmp)", "PNG image (*.png)"}},
      {RequestOf({FileFormat::RawText, FileFormat::Csv}),
       {"Raw Data Format (.txt) (*.txt)", "CSV table (*.csv)"}},
      {RequestOf({FileFormat::Mathcad}), {"Mathcad 6.0 file (.dat) (*.dat)"}},
  };
  QWidget owner;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.filters.join(' ').toStdString());
    const auto dialog = MakeSaveDialog(&owner, c.request);
    EXPECT_EQ(dialog->parentWidget(), &owner);
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(dialog->fileMode(), QFileDialog::AnyFile);
    EXPECT_EQ(dialog->defaultSuffix(), QString::fromStdString(c.request.types[0].defaultExtension));
    EXPECT_EQ(dialog->nameFilters(), c.filters);
    EXPECT_FALSE(dialog->testOption(QFileDialog::DontConfirmOverwrite));  // replacing asks
    const auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->text(), QString::fromStdString(c.request.types[0].initialName));
  }
}

// The user picks the second type from the list: its suffix and wildcard take over, and the option
// that goes with it becomes usable; the answer says which type and value were chosen.
TEST(QtSaveDialog, ChoosingATypeBringsItsSuffixWildcardAndOptions) {
  test::TestApp();
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  SaveRequest request = RequestOf({FileFormat::Bitmap, FileFormat::Png});
  request.options.push_back({"Scale", {"1", "2", "3"}, 1, 1});
  QtDialogHost host;
  struct Seen {
    bool enabledAtStart = true;
    bool enabledAfter = false;
    QString suffix, name;
  } seen;
  WhenShown<QFileDialog>([&](QFileDialog& dialog) {
    auto* types = dialog.findChild<QComboBox*>("fileTypeCombo");
    auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
    const auto boxes = dialog.findChildren<QComboBox*>();
    QComboBox* scale = nullptr;
    for (QComboBox* box : boxes) {
      if (box != types && box->count() == 3) scale = box;
    }
    if (types == nullptr || name == nullptr || scale == nullptr) {
      dialog.reject();
      return;
    }
    seen.enabledAtStart = scale->isEnabled();
    types->setCurrentIndex(1);
    emit types->activated(1);  // as a click in the list does
    emit types->textActivated(types->itemText(1));
    seen.enabledAfter = scale->isEnabled();
    seen.suffix = dialog.defaultSuffix();
    seen.name = name->text();
    scale->setCurrentIndex(2);
    name->setText(folder.filePath("shot"));
    static_cast<QDialog&>(dialog).accept();
  });
  const SaveAnswer answer = host.RunSaveDialog(nullptr, request);
  EXPECT_FALSE(seen.enabledAtStart);
  EXPECT_TRUE(seen.enabledAfter);
  EXPECT_EQ(seen.suffix, "png");
  EXPECT_EQ(seen.name, "*.png");
  EXPECT_EQ(answer.result, IDOK);
  EXPECT_EQ(QString::fromStdString(answer.path), folder.filePath("shot.png"));
  EXPECT_EQ(answer.type, 1u);
  EXPECT_EQ(answer.options, (std::vector<std::size_t>{2}));
}

TEST(QtSaveDialog, AcceptReportsTheFullPathWithTheSuffixAddedCancelReportsCancel) {
  test::TestApp();
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  QWidget owner;
  owner.show();
  QtDialogHost host;

  const struct {
    const char* typed;
    bool accept;
    int result;
    QString path;
  } cases[] = {
      {"shot", true, IDOK, folder.filePath("shot.bmp")},
      {"shot.bmp", true, IDOK, folder.filePath("shot.bmp")},
      {"notes.txt", true, IDOK, folder.filePath("notes.txt")},
      {"gone", false, IDCANCEL, QString()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    QString nameAtStart;
    bool found = false;
    WhenShown<QFileDialog>(
        [&](QFileDialog& dialog) {
          auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
          if (name == nullptr) {
            dialog.reject();
            return;
          }
          nameAtStart = name->text();
          name->setText(folder.filePath(QString::fromUtf8(c.typed)));
          if (c.accept) {
            static_cast<QDialog&>(dialog).accept();  // QFileDialog hides it
          } else {
            dialog.reject();
          }
        },
        &found);
    const SaveAnswer answer =
        host.RunSaveDialog(&owner, RequestOf({FileFormat::Bitmap, FileFormat::Png}));
    ASSERT_TRUE(found);
    EXPECT_EQ(nameAtStart, "*.bmp");  // every time, whatever was chosen before
    EXPECT_EQ(answer.result, c.result);
    if (c.accept) {
      EXPECT_EQ(QString::fromStdString(answer.path), c.path);
    }
  }
}

// Enter in the name box, as the user presses it: the dialog's default button answers it.
void PressEnter(QLineEdit& name) {
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(&name, &press);
  QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(&name, &release);
}

// A name with * or ? is a pattern, not a file: the dialog takes it as its filter and stays open.
// Enter on the name the dialog opens with ("*.bmp") must not save a file called "*.bmp".
TEST(QtSaveDialog, AWildcardNameBecomesTheFilterAndTheDialogStaysOpen) {
  test::TestApp();
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  QWidget owner;
  owner.show();
  QtDialogHost host;

  struct Step {
    QString typed;  // empty: the name box as the dialog opened
    bool open = false;
    QString filter;
    QString name;
  };
  std::vector<Step> steps = {
      {QString(), false, {}, {}},
      {QStringLiteral("*.txt"), false, {}, {}},
      {QStringLiteral("shot?.dat"), false, {}, {}},
      {QStringLiteral("*"), false, {}, {}},
      {folder.filePath(QStringLiteral("*.bmp")), false, {}, {}},
  };
  bool found = false;
  QStringList chosen;  // every name the dialog gave out
  WhenShown<QFileDialog>(
      [&](QFileDialog& dialog) {
        QObject::connect(&dialog, &QFileDialog::fileSelected,
                         [&](const QString& file) { chosen << file; });
        dialog.setDirectory(folder.path());
        auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
        if (name == nullptr) {
          dialog.reject();
          return;
        }
        for (Step& step : steps) {
          if (!step.typed.isEmpty()) name->setText(step.typed);
          PressEnter(*name);
          step.open = dialog.isVisible();
          step.filter = dialog.selectedNameFilter();
          step.name = name->text();
        }
        name->setText(QStringLiteral("shot"));
        PressEnter(*name);
        if (dialog.isVisible()) dialog.reject();
      },
      &found);
  const SaveAnswer answer =
      host.RunSaveDialog(&owner, RequestOf({FileFormat::Bitmap, FileFormat::Png}));
  ASSERT_TRUE(found);

  // the filter the list now shows, and the name box still holding the pattern
  const char* expected[][2] = {{"*.bmp", "*.bmp"},
                               {"*.txt", "*.txt"},
                               {"shot?.dat", "shot?.dat"},
                               {"*", "*"},
                               {"*.bmp", "*.bmp"}};
  for (std::size_t i = 0; i < steps.size(); ++i) {
    SCOPED_TRACE(steps[i].typed.toStdString());
    EXPECT_TRUE(steps[i].open);
    EXPECT_EQ(steps[i].filter.toStdString(), expected[i][0]);
    EXPECT_EQ(steps[i].name.toStdString(), expected[i][1]);
  }
  EXPECT_EQ(chosen.join(QLatin1Char('|')).toStdString(),
            folder.filePath(QStringLiteral("shot.bmp")).toStdString());
  EXPECT_EQ(answer.result, IDOK);
  EXPECT_EQ(answer.path, folder.filePath(QStringLiteral("shot.bmp")).toStdString());
}

// Saving over a file asks first; No leaves the dialog open on it, Yes saves there. The name typed
// without its suffix is the same file, and asks too.
TEST(QtSaveDialog, AnExistingFileIsReplacedOnlyOnceTheUserSaysSo) {
  test::TestApp();
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QString existing = folder.filePath("old.dat");
  QFile file(existing);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  const struct {
    QString typed;
    QMessageBox::StandardButton answer;
    int result;
  } cases[] = {
      {existing, QMessageBox::No, IDCANCEL},
      {existing, QMessageBox::Yes, IDOK},
      {folder.filePath("old"), QMessageBox::Yes, IDOK},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed.toStdString());
    QtDialogHost host;
    QString asked;
    bool stayedOpen = false;
    WhenShown<QFileDialog>([&](QFileDialog& dialog) {
      if (auto* name = dialog.findChild<QLineEdit*>("fileNameEdit")) name->setText(c.typed);
      WhenShown<QMessageBox>([&](QMessageBox& box) {
        asked = box.text();
        box.button(c.answer)->click();
      });
      static_cast<QDialog&>(dialog).accept();
      stayedOpen = dialog.isVisible();
      if (stayedOpen) dialog.reject();
    });
    const SaveAnswer answer = host.RunSaveDialog(nullptr, RequestOf({FileFormat::Mathcad}));
    EXPECT_EQ(asked, QStringLiteral("old.dat already exists.\nDo you want to replace it?"));
    EXPECT_EQ(stayedOpen, c.answer == QMessageBox::No);
    EXPECT_EQ(answer.result, c.result);
    if (c.result == IDOK) {
      EXPECT_EQ(QString::fromStdString(answer.path), existing);
    }
  }
}

TEST(QtAboutBox, RunsParentlessCentredOverItsOwnerUntilOk) {
  test::TestApp();
  QWidget owner;
  owner.setGeometry(100, 80, 600, 400);
  owner.show();
  QtDialogHost host;
  bool found = false;
  QWidget* parent = &owner;
  QPoint centre;
  WhenShown<AboutBox>(
      [&](AboutBox& box) {
        parent = box.parentWidget();
        centre = box.geometry().center();
        box.findChild<QAbstractButton*>("OK")->click();
      },
      &found);
  host.RunAboutBox(&owner);
  ASSERT_TRUE(found);
  EXPECT_EQ(parent, nullptr);
  EXPECT_EQ(centre, owner.geometry().center());
}

}  // namespace
}  // namespace fennow
