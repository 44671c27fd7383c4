#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>

#include "app/AboutBox.h"
#include "app/QtDialogHost.h"
#include "export/SavePrompt.h"
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

TEST(QtSaveDialog, IsConfiguredFromTheRow) {
  test::TestApp();
  const struct {
    SaveRequest row;
    const char* filter;
  } cases[] = {
      {kBitmapSaveRow, "Windows Bitmap file (.bmp) (*.bmp)"},
      {kRawDataSaveRow, "Raw Data Format (.txt) (*.txt)"},
      {kMathcadSaveRow, "Mathcad 6.0 file (.dat) (*.dat)"},
  };
  QWidget owner;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.filter);
    const auto dialog = MakeSaveDialog(&owner, c.row);
    EXPECT_EQ(dialog->parentWidget(), &owner);
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(dialog->fileMode(), QFileDialog::AnyFile);
    EXPECT_EQ(dialog->defaultSuffix(), QString::fromStdString(c.row.defaultExtension));
    EXPECT_EQ(dialog->nameFilters(), QStringList{c.filter});
    EXPECT_TRUE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
    const auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->text(), QString::fromStdString(c.row.initialName));
  }
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
    const SaveAnswer answer = host.RunSaveDialog(&owner, kBitmapSaveRow);
    ASSERT_TRUE(found);
    EXPECT_EQ(nameAtStart, "*.bmp");  // every time, whatever was chosen before
    EXPECT_EQ(answer.result, c.result);
    if (c.accept) {
      EXPECT_EQ(QString::fromStdString(answer.path), c.path);
    }
  }
}

TEST(QtSaveDialog, AnExistingFileIsChosenWithoutAQuestion) {
  test::TestApp();
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QString existing = folder.filePath("old.dat");
  QFile file(existing);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  QtDialogHost host;
  WhenShown<QFileDialog>([&](QFileDialog& dialog) {
    if (auto* name = dialog.findChild<QLineEdit*>("fileNameEdit")) name->setText(existing);
    static_cast<QDialog&>(dialog).accept();
  });
  const SaveAnswer answer = host.RunSaveDialog(nullptr, kMathcadSaveRow);
  EXPECT_EQ(answer.result, IDOK);
  EXPECT_EQ(QString::fromStdString(answer.path), existing);
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
