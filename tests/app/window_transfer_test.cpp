// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <array>
#include <string>

#include "app/CapturesWindow.h"
#include "app/DialogTemplates.h"
#include "app/TemplateControls.h"
#include "export/SavePrompt.h"
#include "sim/SimulatedGameBoy.h"
#include "tests/support/Files.h"
#include "tests/support/WindowRig.h"

namespace fennow {
namespace {

using test::Message;
using test::ReadFile;

using GameBoyRig = test::GameBoyWindowRig;

std::array<std::uint8_t, 2880> Screen() {
  std::array<std::uint8_t, 2880> rows{};
  for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return rows;
}

std::array<std::uint8_t, 1205> Block() {
  std::array<std::uint8_t, 1205> block{};
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i * 13);
  // Scale codes inside both scale tables.
  block[1202] = 9;
  block[1203] = 2;
  block[1204] = 26;
  return block;
}

TEST(WindowWithGameBoy, CaptureThenSaveWithTheButtonForItsKind) {
  const struct {
    const char* name;
    bool screen;
    int portButton;  // 0: the LPT1 chosen at start
    std::uint16_t dataPort;
    int lampId;
    const char* outcome;
    int saveButton;
    std::size_t fileBytes;  // 0: not checked
    const char* types;      // the wildcards offered
  } cases[] = {
      {"screen.bmp", true, 0, 0x378, 1035, "Screen Transfer Successful", 1023, 2942, "*.bmp *.png"},
      {"screen.png", true, 0, 0x378, 1035, "Screen Transfer Successful", 1023, 0, "*.bmp *.png"},
      {"data.txt", false, 1027, 0x278, 1036, "Data Transfer Successful", 1001, 0, "*.txt *.csv"},
      {"data.csv", false, 1027, 0x278, 1036, "Data Transfer Successful", 1001, 0, "*.txt *.csv"},
      {"data.dat", false, 1028, 0x3BC, 1036, "Data Transfer Successful", 1003, 0, "*.dat"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    GameBoyRig rig;
    if (c.screen) {
      ASSERT_TRUE(rig.gameBoy.LoadScreen(Screen()));
    } else {
      ASSERT_TRUE(rig.gameBoy.LoadData(Block()));
    }
    rig.gameBoy.SetPort(c.dataPort, static_cast<std::uint16_t>(c.dataPort + 1));
    rig.window->show();
    if (c.portButton != 0) rig.Click(c.portButton);
    rig.dialogs.messages.clear();

    rig.Click(1000);
    ASSERT_EQ(rig.dialogs.messages.size(), 1u);
    EXPECT_EQ(rig.dialogs.messages[0],
              (Message{c.outcome, "Transfer Status", MessageStyle::MB_OK}));
    EXPECT_TRUE(rig.Lit(c.lampId));
    EXPECT_FALSE(rig.Lit(1033));
    EXPECT_FALSE(rig.Lit(1045));
    EXPECT_EQ(qobject_cast<QProgressBar*>(ControlById(*rig.window, 1029))->value(), 0);
    EXPECT_EQ(rig.window->Capture().Kind, c.screen ? CaptureKind::Screen : CaptureKind::Data);

    const std::string path = folder.filePath(c.name).toStdString();
    rig.dialogs.saveAnswers.push_back({IDOK, path});
    rig.Click(c.saveButton);
    ASSERT_EQ(rig.dialogs.saveRequests.size(), 1u);
    std::string offered;
    for (const SaveType& type : rig.dialogs.saveRequests[0].types) {
      offered += (offered.empty() ? "" : " ") + type.initialName;
    }
    EXPECT_EQ(offered, c.types);
    EXPECT_EQ(rig.dialogs.messages.size(), 1u);  // a successful save says nothing
    EXPECT_EQ(rig.window->LastSavePath(), path);
    EXPECT_GT(ReadFile(path).size(), 0u);
    if (c.fileBytes != 0) {
      EXPECT_EQ(ReadFile(path).size(), c.fileBytes);
    }
  }
}

TEST(WindowWithGameBoy, SaveButtonsOfTheOtherKindRefuse) {
  GameBoyRig rig;
  ASSERT_TRUE(rig.gameBoy.LoadScreen(Screen()));
  rig.window->show();
  rig.Click(1000);
  ASSERT_EQ(rig.window->Capture().Kind, CaptureKind::Screen);
  rig.dialogs.messages.clear();
  for (int id : {1001, 1003}) rig.Click(id);
  const Message refusal{"No Data Information Transferred", "Save Status",
                        MessageStyle::MB_ICONINFORMATION};
  EXPECT_EQ(rig.dialogs.messages, (std::vector<Message>{refusal, refusal}));
  EXPECT_TRUE(rig.dialogs.saveRequests.empty());
}

TEST(WindowWithGameBoy, LinkTestThroughTheWindow) {
  const struct {
    Connection connection;
    LoopWiring wiring;
    const char* verdict;
  } cases[] = {
      {Connection::StuckSet, LoopWiring::Inverted, "Loop Back Detected OK"},
      {Connection::StuckSet, LoopWiring::StuckClear, "No Loop Back Detected"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.verdict);
    GameBoyRig rig;
    rig.gameBoy.SetConnection(c.connection);
    rig.gameBoy.SetLoopWiring(c.wiring);
    rig.window->show();
    rig.Click(1032);
    ASSERT_GE(rig.dialogs.messages.size(), 2u);
    EXPECT_EQ(rig.dialogs.messages[1].text, c.verdict);
  }
}

// Every capture of the run stays in the Captures window, newest first, and each can be saved in
// every format of its kind there, through the same save path; each opens large.
TEST(WindowWithGameBoy, EveryCaptureOfTheRunIsKeptAndSavedFromTheCapturesWindow) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  GameBoyRig rig;
  ASSERT_TRUE(rig.gameBoy.LoadScreen(Screen()));
  rig.window->show();
  rig.Click(kStartTransferId);
  ASSERT_TRUE(rig.gameBoy.LoadData(Block()));
  rig.Click(kStartTransferId);
  ASSERT_EQ(rig.window->Capture().Kind, CaptureKind::Data);

  CapturesWindow& captures = rig.window->OpenCaptures();
  ASSERT_EQ(captures.List().count(), 2);
  EXPECT_TRUE(captures.List().item(0)->text().contains(QStringLiteral("Data")));
  EXPECT_TRUE(captures.List().item(1)->text().contains(QStringLiteral("Screen")));
  const struct {
    int row;
    int button;
    const char* name;
    std::size_t type;
    std::size_t bytes;  // 0: not checked
  } saves[] = {
      {1, kScreenFormatId, "screen.bmp", 0, 2942}, {1, kScreenFormatId, "screen.png", 1, 0},
      {0, kRawDataFormatId, "data.txt", 0, 0},     {0, kRawDataFormatId, "data.csv", 1, 0},
      {0, kMathcadFormatId, "data.dat", 0, 0},
  };
  rig.dialogs.messages.clear();
  for (const auto& save : saves) {
    SCOPED_TRACE(save.name);
    captures.List().setCurrentRow(save.row);
    for (int other : {kScreenFormatId, kRawDataFormatId, kMathcadFormatId}) {
      const bool screen = other == kScreenFormatId;
      EXPECT_EQ(captures.SaveButton(other).isEnabled(), screen == (save.button == kScreenFormatId));
    }
    const std::string path = folder.filePath(save.name).toStdString();
    rig.dialogs.saveAnswers.push_back({IDOK, path, save.type});
    captures.SaveButton(save.button).click();
    const std::string file = ReadFile(path);
    EXPECT_GT(file.size(), 0u);
    if (save.bytes != 0) {
      EXPECT_EQ(file.size(), save.bytes);
    }
  }
  EXPECT_TRUE(rig.dialogs.messages.empty());  // every save went through, silently
  EXPECT_EQ(rig.window->Captures().UnsavedCount(), 0u);
  EXPECT_FALSE(captures.List().item(0)->text().contains(QStringLiteral("not saved")));

  for (int row : {0, 1}) {
    captures.Open(static_cast<std::size_t>(row));
    ASSERT_NE(captures.View(), nullptr);
    const auto* label = captures.View()->findChild<QLabel*>(QStringLiteral("CaptureImage"));
    ASSERT_NE(label, nullptr);
    const QSize size = label->pixmap().size();
    if (row == 1) {  // the screen, a whole number of times its size
      EXPECT_EQ(size.width() % 160, 0);
      EXPECT_EQ(size.width() / 160, size.height() / 144);
    } else {
      EXPECT_GT(size.width(), 600);  // a plot, axes and labels beside the 1202 samples
    }
  }
}

// Closing the window while a capture of the run was never saved asks first: Cancel keeps it open,
// Discard closes it, Save saves each such capture and then closes, unless a save is cancelled.
// Nothing is asked once every capture is saved, or when none came.
TEST(WindowWithGameBoy, ClosingAsksWhileACaptureIsUnsaved) {
  const struct {
    const char* name;
    bool capture;
    UnsavedChoice answer;
    bool saveDialogOk;
    bool closes;
    std::size_t asked;
  } cases[] = {
      {"nothing captured", false, UnsavedChoice::Cancel, false, true, 0},
      {"cancel", true, UnsavedChoice::Cancel, false, false, 1},
      {"discard", true, UnsavedChoice::Discard, false, true, 1},
      {"save", true, UnsavedChoice::Save, true, true, 1},
      {"save, its dialog cancelled", true, UnsavedChoice::Save, false, false, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir folder;
    GameBoyRig rig;
    ASSERT_TRUE(rig.gameBoy.LoadScreen(Screen()));
    rig.window->show();
    if (c.capture) rig.Click(kStartTransferId);
    rig.dialogs.unsavedAnswer = c.answer;
    const std::string path = folder.filePath("kept.bmp").toStdString();
    if (c.saveDialogOk) rig.dialogs.saveAnswers.push_back({IDOK, path});
    rig.window->close();
    EXPECT_EQ(rig.dialogs.unsavedAsked.size(), c.asked);
    EXPECT_EQ(rig.window->isVisible(), !c.closes);
    EXPECT_EQ(QFileInfo::exists(QString::fromStdString(path)), c.saveDialogOk);
  }
}

// Counts the window's paints, and notes how many had come when it got Escape.
class PaintWatch final : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    if (event->type() == QEvent::KeyPress) paintsAtKey = paints;
    return QObject::eventFilter(watched, event);
  }
  int paints = 0;
  int paintsAtKey = -1;
};

// While a transfer runs, the window takes its events: a timer fires, a paint comes, no button can
// start a second operation, and Escape, or the close box, stops the transfer with the terminal
// key's "Key Exit". Escape leaves the window open; the close box closes it once the transfer has
// ended.
TEST(WindowWithGameBoy, StaysAliveDuringATransferAndCanBeStopped) {
  for (const bool closeBox : {false, true}) {
    SCOPED_TRACE(closeBox ? "close box" : "Escape");
    GameBoyRig rig;
    ASSERT_TRUE(rig.gameBoy.LoadScreen(Screen()));
    rig.window->show();
    rig.dialogs.messages.clear();
    PaintWatch watch;
    rig.window->installEventFilter(&watch);
    bool fired = false;
    bool buttonsOff = false;
    QTimer::singleShot(0, rig.window.get(), [&] {
      fired = true;
      buttonsOff = true;
      for (int id : {kStartTransferId, kTestId, kLpt2Id, kScreenFormatId}) {
        buttonsOff = buttonsOff && !rig.Button(id)->isEnabled();
      }
      watch.paints = 0;
      rig.window->update();
      QTimer::singleShot(0, rig.window.get(), [&] {
        if (closeBox) {
          rig.window->close();
        } else {
          QCoreApplication::postEvent(
              rig.window.get(), new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
        }
      });
    });
    rig.Click(kStartTransferId);
    EXPECT_TRUE(fired) << "no timer event came during the transfer";
    EXPECT_TRUE(buttonsOff);
    if (!closeBox) {
      EXPECT_GT(watch.paintsAtKey, 0) << "no paint came during the transfer";
    }
    EXPECT_EQ(rig.dialogs.messages,
              (std::vector<Message>{{"Key Exit", "Transfer Status", MessageStyle::MB_ICONSTOP}}));
    EXPECT_NE(rig.window->Capture().Kind, CaptureKind::Screen);
    EXPECT_EQ(rig.window->isVisible(), !closeBox);
    EXPECT_TRUE(rig.Button(kStartTransferId)->isEnabled());
  }
}

}  // namespace
}  // namespace fennow
