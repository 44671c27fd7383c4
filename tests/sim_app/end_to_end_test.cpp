// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QSpinBox>
#include <QTemporaryDir>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/CapturePreview.h"
#include "app/DialogTemplates.h"
#include "app/TemplateControls.h"
#include "sim/SimulatedGameBoy.h"
#include "sim_app/SimPayloads.h"
#include "sim_app/SimulatorWindow.h"
#include "tests/support/Files.h"
#include "tests/support/WindowRig.h"

namespace fennow {
namespace {

using test::CrLfLines;
using test::Message;
using test::ReadFile;
using test::U32;
using test::WriteFile;

constexpr const char* kTitle = "Transfer Status";

// The simulator as a user has it: the real main window and the simulated Game Boy's window, both on
// the one simulator, with the clock advancing only when read so a transfer takes milliseconds.
struct SimulatorRig : test::GameBoyWindowRig {
  SimulatorRig() {
    idle = Picture();
    simulator.show();
    window->show();
  }

  // What Start Transfer reported, and only that.
  std::vector<Message> Transfer() {
    dialogs.messages.clear();
    Click(kStartTransferId);
    return dialogs.messages;
  }
  QImage Picture() const {
    const auto* label = window->findChild<QLabel*>(QStringLiteral("ScreenPicture"));
    return label == nullptr ? QImage()
                            : label->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
  }
  void Save(int button, const QString& path) {
    dialogs.saveAnswers.push_back({IDOK, path.toStdString()});
    Click(button);
  }

  // A control of the simulator's window, found by the label the user reads beside it.
  template <typename T>
  T* Field(const QString& label) const {
    for (QLabel* candidate : simulator.findChildren<QLabel*>()) {
      if (candidate->text() == label) return qobject_cast<T*>(candidate->buddy());
    }
    return nullptr;
  }
  // Picks an item the way the combo's list does when the user chooses it.
  static bool Choose(QComboBox* combo, const QVariant& data) {
    const int index = combo == nullptr ? -1 : combo->findData(data);
    if (index < 0) return false;
    combo->setCurrentIndex(index);
    emit combo->activated(index);
    return true;
  }

  SimulatorWindow simulator{gameBoy};
  QImage idle;  // the picture before any transfer
};

// A 160 x 144 line drawing whose every feature changes under a flip, a turn or a byte-order
// mistake: a block off the byte boundaries in the top left, a diagonal, an L in the bottom
// right, a row of every third pixel and the two top corners.
bool Dark(int x, int y) {
  if (x >= 3 && x < 37 && y >= 5 && y < 29) return true;
  if (y >= 40 && y < 130 && x == y + 10) return true;
  if (y == 135 && x >= 120 && x <= 150) return true;
  if (x == 150 && y >= 100 && y <= 135) return true;
  if (y == 70 && x % 3 == 0) return true;
  return (y == 0 && x == 0) || (y == 0 && x == 159);
}

QImage Pattern() {
  QImage image(kScreenWidth, kScreenHeight, QImage::Format_RGB32);
  for (int y = 0; y < kScreenHeight; ++y) {
    for (int x = 0; x < kScreenWidth; ++x) {
      image.setPixel(x, y, Dark(x, y) ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    }
  }
  return image;
}

// Row y of the pattern as the Game Boy holds it: bit 7 the leftmost pixel, 1 a dark pixel.
std::uint8_t SentByte(int y, int column) {
  std::uint8_t byte = 0;
  for (int bit = 0; bit < 8; ++bit) {
    if (Dark(8 * column + bit, y)) byte = static_cast<std::uint8_t>(byte | (0x80u >> bit));
  }
  return byte;
}

// Counts the pixels where `image` is not the pattern (dark as black, light as white).
int PatternMismatches(const QImage& image) {
  if (image.size() != QSize(kScreenWidth, kScreenHeight)) return -1;
  int wrong = 0;
  for (int y = 0; y < kScreenHeight; ++y) {
    for (int x = 0; x < kScreenWidth; ++x) {
      const QRgb want = Dark(x, y) ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
      if (image.pixel(x, y) != want) ++wrong;
    }
  }
  return wrong;
}

DataBytes Block() {
  DataBytes block{};
  for (int k = 0; k < kSampleCount; ++k) {
    block[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>((k * 37 + 11) % 256);
  }
  block[kSampleCount] = 5;       // 0.50
  block[kSampleCount + 1] = 8;   // 5.00
  block[kSampleCount + 2] = 11;  // 0.005000
  return block;
}

std::string RawText(const DataBytes& block) {
  std::string text;
  for (std::uint8_t byte : block) text += std::to_string(byte) + "\r\n";
  return text;
}

TEST(SimulatorEndToEnd, APictureFileArrivesAsThePreviewAndTheBitmap) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QString picture = folder.filePath(QStringLiteral("pattern.png"));
  ASSERT_TRUE(Pattern().save(picture));

  SimulatorRig rig;
  ASSERT_TRUE(rig.simulator.UseScreenFile(picture)) << rig.simulator.StatusText().toStdString();
  EXPECT_EQ(PatternMismatches(rig.simulator.Shown()), 0);  // what it says it will send

  EXPECT_EQ(rig.Transfer(),
            (std::vector<Message>{{"Screen Transfer Successful", kTitle, MessageStyle::MB_OK}}));
  EXPECT_EQ(rig.window->Capture().Kind, CaptureKind::Screen);
  EXPECT_EQ(PatternMismatches(rig.Picture()), 0);

  const QString saved = folder.filePath(QStringLiteral("screen.bmp"));
  rig.Save(kScreenFormatId, saved);
  EXPECT_EQ(rig.dialogs.messages.size(), 1u);  // a successful save says nothing
  const std::string file = ReadFile(saved.toStdString());
  ASSERT_EQ(file.size(), 2942u);
  EXPECT_EQ(file.substr(0, 2), "BM");
  EXPECT_EQ(U32(file, 2), 2942u);  // file size
  EXPECT_EQ(U32(file, 10), 62u);   // where the pixels start
  EXPECT_EQ(U32(file, 18), 160u);  // width
  EXPECT_EQ(U32(file, 22), 144u);  // height, positive: bottom row first
  // Each row as sent, complemented because colour 0 of the file is black; bottom row first.
  int wrong = 0;
  for (int stored = 0; stored < kScreenHeight; ++stored) {
    const int y = kScreenHeight - 1 - stored;
    for (int c = 0; c < kScreenRowBytes; ++c) {
      const auto at = static_cast<std::size_t>(62 + stored * kScreenRowBytes + c);
      const auto want = static_cast<std::uint8_t>(~SentByte(y, c));
      if (static_cast<std::uint8_t>(file[at]) != want) {
        if (++wrong <= 5) ADD_FAILURE() << "row " << y << " byte " << c;
      }
    }
  }
  EXPECT_EQ(wrong, 0);
  // And whatever reads bitmaps sees the picture the right way up.
  EXPECT_EQ(PatternMismatches(QImage(saved).convertToFormat(QImage::Format_RGB32)), 0);
}

TEST(SimulatorEndToEnd, ARawDataFileArrivesAsTheTraceAndBothDataFiles) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const DataBytes block = Block();
  const std::string raw = RawText(block);
  const QString source = folder.filePath(QStringLiteral("block.txt"));
  ASSERT_TRUE(WriteFile(source.toStdString(), raw));

  SimulatorRig rig;
  ASSERT_TRUE(rig.simulator.UseDataFile(source)) << rig.simulator.StatusText().toStdString();
  rig.simulator.SetSending(SimulatorWindow::Sending::Data);

  EXPECT_EQ(rig.Transfer(),
            (std::vector<Message>{{"Data Transfer Successful", kTitle, MessageStyle::MB_OK}}));
  ASSERT_EQ(rig.window->Capture().Kind, CaptureKind::Data);
  const QImage trace = rig.Picture();
  EXPECT_EQ(trace, DataPreview(rig.window->Capture()));
  // The main window draws the block that arrived as the simulator window drew the one it was to
  // send.
  EXPECT_EQ(trace, rig.simulator.Shown().convertToFormat(QImage::Format_RGB32));
  EXPECT_NE(trace, rig.idle);

  const QString rawSaved = folder.filePath(QStringLiteral("copy.txt"));
  rig.Save(kRawDataFormatId, rawSaved);
  EXPECT_EQ(ReadFile(rawSaved.toStdString()), raw);

  const QString mathcadSaved = folder.filePath(QStringLiteral("copy.dat"));
  rig.Save(kMathcadFormatId, mathcadSaved);
  EXPECT_EQ(rig.dialogs.messages.size(), 1u);  // neither save had anything to say
  const std::vector<std::string> lines = CrLfLines(ReadFile(mathcadSaved.toStdString()));
  ASSERT_EQ(lines.size(), 1205u);
  for (std::size_t k = 0; k < kSampleCount; ++k) {
    ASSERT_EQ(lines[k], std::to_string(127 - block[k])) << "sample " << k;
  }
  EXPECT_EQ(lines[1202], "0.50");
  EXPECT_EQ(lines[1203], "5.00");
  EXPECT_EQ(lines[1204], "0.005000");
}

TEST(SimulatorEndToEnd, TheIdlePictureIsTheOneBuiltIntoTheProgram) {
  SimulatorRig rig;
  const QImage built(QStringLiteral(":/art/bitmap131.bmp"));
  ASSERT_FALSE(built.isNull());
  EXPECT_EQ(rig.idle, built.convertToFormat(QImage::Format_RGB32));
}

// A failure before the first payload byte overwrites nothing: the capture and its picture stay,
// to be saved. A key during the payload has overwritten part of it: the idle picture comes back.
TEST(SimulatorEndToEnd, AFailedTransferKeepsAWholeCaptureAndGivesUpAPartlyOverwrittenOne) {
  const struct Case {
    const char* name;
    bool dataBefore;  // what the good transfer before it brought
    void (*fault)(SimulatorRig&);
    const char* outcome;
    bool overwrites;
  } cases[] = {
      {"lead out, line high", false,
       [](SimulatorRig& r) {
         EXPECT_TRUE(SimulatorRig::Choose(r.Field<QComboBox>(QStringLiteral("Lead")),
                                          static_cast<int>(Connection::StuckSet)));
       },
       "Serial Sync Timeout", false},
      {"lead out, line low", true,
       [](SimulatorRig& r) {
         EXPECT_TRUE(SimulatorRig::Choose(r.Field<QComboBox>(QStringLiteral("Lead")),
                                          static_cast<int>(Connection::StuckClear)));
       },
       "Serial Sync Timeout", false},
      {"five wrong replies", true,
       [](SimulatorRig& r) {
         auto* replies = r.Field<QSpinBox>(QStringLiteral("Wrong replies to requests"));
         ASSERT_NE(replies, nullptr);
         replies->setValue(5);
       },
       "Serial Sync Timeout", false},
      {"key pressed", false, [](SimulatorRig& r) { r.keys.waiting = true; }, "Key Exit", false},
      // poll 1 is the request's; the key is seen after the fifth payload byte
      {"key pressed during a screen", false,
       [](SimulatorRig& r) { r.keys.waitingFromPoll = r.keys.polls + 1 + 5; }, "Key Exit", true},
      {"key pressed during a data block", true,
       [](SimulatorRig& r) { r.keys.waitingFromPoll = r.keys.polls + 1 + 5; }, "Key Exit", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimulatorRig rig;
    if (c.dataBefore) rig.simulator.SetSending(SimulatorWindow::Sending::Data);
    ASSERT_EQ(rig.Transfer().size(), 1u);
    const CaptureKind kind = rig.window->Capture().Kind;
    const QImage picture = rig.Picture();
    ASSERT_NE(kind, CaptureKind::None);
    ASSERT_NE(picture, rig.idle);

    c.fault(rig);
    EXPECT_EQ(rig.Transfer(),
              (std::vector<Message>{{c.outcome, kTitle, MessageStyle::MB_ICONSTOP}}));
    EXPECT_TRUE(rig.Lit(kErrorLampId));
    EXPECT_EQ(rig.window->Capture().Kind, c.overwrites ? CaptureKind::None : kind);
    EXPECT_EQ(rig.Picture(), c.overwrites ? rig.idle : picture);
  }
}

TEST(SimulatorEndToEnd, AModeByteThatIsNeitherScreenNorDataIsRefused) {
  const struct {
    SimulatorWindow::Sending sending;
    int mode;
  } cases[] = {
      {SimulatorWindow::Sending::Screen, 0},
      {SimulatorWindow::Sending::Data, 3},
      {SimulatorWindow::Sending::Screen, 128},
      {SimulatorWindow::Sending::Data, 255},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    const bool screen = c.sending == SimulatorWindow::Sending::Screen;
    const Message arrived{screen ? "Screen Transfer Successful" : "Data Transfer Successful",
                          kTitle, MessageStyle::MB_OK};
    SimulatorRig rig;
    rig.simulator.SetSending(c.sending);
    ASSERT_EQ(rig.Transfer(), std::vector<Message>{arrived});
    const QImage picture = rig.Picture();

    QCheckBox* sendMode = nullptr;
    for (QCheckBox* box : rig.simulator.findChildren<QCheckBox*>()) {
      if (box->text() == QStringLiteral("Send mode byte")) sendMode = box;
    }
    QSpinBox* modeByte = nullptr;
    for (QSpinBox* box : rig.simulator.findChildren<QSpinBox*>()) {
      if (box->maximum() == 255) modeByte = box;
    }
    ASSERT_NE(sendMode, nullptr);
    ASSERT_NE(modeByte, nullptr);
    sendMode->click();
    modeByte->setValue(c.mode);

    EXPECT_EQ(
        rig.Transfer(),
        (std::vector<Message>{{"Serial Acknowledge Error", kTitle, MessageStyle::MB_ICONSTOP}}));
    // Nothing of the payload came, so the capture before it is kept.
    EXPECT_EQ(rig.window->Capture().Kind, screen ? CaptureKind::Screen : CaptureKind::Data);
    EXPECT_TRUE(rig.Lit(kErrorLampId));
    EXPECT_EQ(rig.Picture(), picture);

    // Unticked, the Game Boy names what it is set to send again.
    sendMode->click();
    EXPECT_EQ(rig.Transfer(), std::vector<Message>{arrived});
    EXPECT_EQ(rig.window->Capture().Kind, screen ? CaptureKind::Screen : CaptureKind::Data);
    EXPECT_NE(rig.Picture(), rig.idle);
  }
}

TEST(SimulatorEndToEnd, ScaleCodesChosenInTheWindowArriveWithTheBlock) {
  const struct Case {
    std::array<int, 3> codes;
    std::array<const char*, 3> values;  // as the Mathcad file writes them
    const char* refusal;                // when a code has no value; nullptr when all have
  } cases[] = {
      {{2, 9, 26}, {"0.05", "10.00", "500.000000"}, nullptr},
      {{0, 1, 0}, {"0.00", "0.00", "0.000001"}, nullptr},
      // one past each table: the block still arrives, only the Mathcad file cannot say it
      {{10, 6, 12}, {}, "the first scale code is 10"},
      {{6, 3, 27}, {}, "the third scale code is 27"},
  };
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const DataBytes block = Block();
  SimulatorRig rig;
  rig.simulator.UseData(block, QStringLiteral("test block"));
  rig.simulator.SetSending(SimulatorWindow::Sending::Data);
  const QString names[3] = {QStringLiteral("First scale code"), QStringLiteral("Second scale code"),
                            QStringLiteral("Third scale code")};
  int round = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.codes[0] << ' ' << c.codes[1] << ' ' << c.codes[2]);
    for (std::size_t scale = 0; scale < 3; ++scale) {
      ASSERT_TRUE(SimulatorRig::Choose(rig.Field<QComboBox>(names[scale]), c.codes[scale]));
    }
    ASSERT_EQ(rig.Transfer(),
              (std::vector<Message>{{"Data Transfer Successful", kTitle, MessageStyle::MB_OK}}));
    const CaptureStore& capture = rig.window->Capture();
    for (std::size_t k = 0; k < kSampleCount; ++k) ASSERT_EQ(capture.Byte(k), block[k]) << k;
    for (std::size_t scale = 0; scale < 3; ++scale) {
      EXPECT_EQ(capture.Byte(kSampleCount + scale), c.codes[scale]);
    }

    const QString rawSaved = folder.filePath(QStringLiteral("raw%1.txt").arg(++round));
    rig.Save(kRawDataFormatId, rawSaved);
    const std::vector<std::string> raw = CrLfLines(ReadFile(rawSaved.toStdString()));
    ASSERT_EQ(raw.size(), 1205u);
    for (std::size_t scale = 0; scale < 3; ++scale) {
      EXPECT_EQ(raw[kSampleCount + scale], std::to_string(c.codes[scale]));
    }

    const QString mathcadSaved = folder.filePath(QStringLiteral("mathcad%1.dat").arg(round));
    rig.dialogs.messages.clear();
    rig.Save(kMathcadFormatId, mathcadSaved);
    if (c.refusal != nullptr) {
      ASSERT_EQ(rig.dialogs.messages.size(), 1u);
      EXPECT_NE(rig.dialogs.messages[0].text.find(c.refusal), std::string::npos)
          << rig.dialogs.messages[0].text;
      EXPECT_EQ(rig.dialogs.messages[0].style, MessageStyle::MB_ICONSTOP);
      EXPECT_FALSE(QFile::exists(mathcadSaved));
      rig.dialogs.saveAnswers.clear();  // the refusal comes before any dialog
    } else {
      EXPECT_TRUE(rig.dialogs.messages.empty());
      const std::vector<std::string> lines = CrLfLines(ReadFile(mathcadSaved.toStdString()));
      ASSERT_EQ(lines.size(), 1205u);
      for (std::size_t scale = 0; scale < 3; ++scale) {
        EXPECT_EQ(lines[kSampleCount + scale], c.values[scale]);
      }
    }
  }
}

TEST(SimulatorEndToEnd, AFileThatCannotBeUsedKeepsWhatWasLoadedBefore) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QString picture = folder.filePath(QStringLiteral("pattern.png"));
  ASSERT_TRUE(Pattern().save(picture));
  const QString notPicture = folder.filePath(QStringLiteral("notes.png"));
  ASSERT_TRUE(WriteFile(notPicture.toStdString(), "not a picture\n"));
  const QString shortBlock = folder.filePath(QStringLiteral("short.txt"));
  const std::string whole = RawText(Block());
  ASSERT_TRUE(WriteFile(shortBlock.toStdString(),
                        whole.substr(0, whole.rfind("\r\n", whole.size() - 3) + 2)));

  SimulatorRig rig;
  ASSERT_TRUE(rig.simulator.UseScreenFile(picture));
  EXPECT_FALSE(rig.simulator.UseScreenFile(notPicture));
  EXPECT_TRUE(rig.simulator.StatusText().contains(notPicture));
  EXPECT_FALSE(rig.simulator.UseDataFile(shortBlock));
  EXPECT_TRUE(rig.simulator.StatusText().contains(shortBlock));
  EXPECT_EQ(PatternMismatches(rig.simulator.Shown()), 0);

  ASSERT_EQ(rig.Transfer(),
            (std::vector<Message>{{"Screen Transfer Successful", kTitle, MessageStyle::MB_OK}}));
  EXPECT_EQ(PatternMismatches(rig.Picture()), 0);
}

}  // namespace
}  // namespace fennow
