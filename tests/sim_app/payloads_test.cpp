// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include "export/FileContent.h"
#include "sim_app/SimPayloads.h"
#include "tests/support/WindowRig.h"

namespace fennow {
namespace {

bool Dark(const ScreenBytes& screen, int x, int y) {
  return (screen[static_cast<std::size_t>(y * kScreenRowBytes + x / 8)] & (0x80u >> (x % 8))) != 0;
}

class Payloads : public ::testing::Test {
 protected:
  void SetUp() override {
    test::TestApp();
    ASSERT_TRUE(dir_.isValid());
  }
  QString Write(const QString& name, const QByteArray& bytes) {
    QFile file(dir_.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return file.fileName();
  }
  QTemporaryDir dir_;
};

TEST_F(Payloads, AScreenSizedBlackAndWhiteImageIsTakenPixelForPixel) {
  QImage image(kScreenWidth, kScreenHeight, QImage::Format_RGB32);
  image.fill(Qt::white);
  // Corners, both sides of a byte boundary, and a diagonal: any shift or mirror shows.
  const QPoint dark[] = {{0, 0}, {159, 0}, {0, 143}, {159, 143}, {7, 5}, {8, 5}, {80, 72}};
  for (QPoint p : dark) image.setPixel(p, qRgb(0, 0, 0));
  for (int i = 0; i < 144; ++i) image.setPixel(i, i, qRgb(0, 0, 0));

  const ScreenBytes screen = ScreenFromImage(image);
  for (int y = 0; y < kScreenHeight; ++y) {
    for (int x = 0; x < kScreenWidth; ++x) {
      ASSERT_EQ(Dark(screen, x, y), qGray(image.pixel(x, y)) < 128) << x << ',' << y;
    }
  }
  EXPECT_EQ(ImageFromScreen(screen), image);
}

TEST_F(Payloads, AWideImageIsFittedAndCentredOnWhite) {
  QImage wide(480, 144, QImage::Format_RGB32);  // three times as wide as high
  wide.fill(Qt::black);
  const ScreenBytes screen = ScreenFromImage(wide);
  // 160 x 48 of black in the middle rows, white above and below
  for (int y : {0, 47, 96, 143}) EXPECT_FALSE(Dark(screen, 80, y)) << y;
  for (int y : {49, 72, 94}) EXPECT_TRUE(Dark(screen, 80, y)) << y;
  EXPECT_TRUE(Dark(screen, 0, 72));
  EXPECT_TRUE(Dark(screen, 159, 72));
}

TEST_F(Payloads, GreyIsDitheredNotThresholdedAway) {
  QImage grey(kScreenWidth, kScreenHeight, QImage::Format_RGB32);
  grey.fill(qRgb(128, 128, 128));
  const ScreenBytes screen = ScreenFromImage(grey);
  int dark = 0;
  for (int y = 0; y < kScreenHeight; ++y) {
    for (int x = 0; x < kScreenWidth; ++x) dark += Dark(screen, x, y) ? 1 : 0;
  }
  // about half the pixels dark, not all or none
  EXPECT_GT(dark, kScreenWidth * kScreenHeight * 4 / 10);
  EXPECT_LT(dark, kScreenWidth * kScreenHeight * 6 / 10);
}

TEST_F(Payloads, ImageFilesLoadAndBadOnesSayWhy) {
  QImage image(320, 288, QImage::Format_RGB32);
  image.fill(Qt::white);
  for (int y = 0; y < 144; ++y) {
    for (int x = 0; x < 320; ++x) image.setPixel(x, y, qRgb(0, 0, 0));  // top half black
  }
  const QString png = dir_.filePath("half.png");
  ASSERT_TRUE(image.save(png));
  auto loaded = LoadScreenImage(png);
  ASSERT_TRUE(std::holds_alternative<ScreenBytes>(loaded)) << std::get<std::string>(loaded);
  EXPECT_TRUE(Dark(std::get<ScreenBytes>(loaded), 10, 10));
  EXPECT_FALSE(Dark(std::get<ScreenBytes>(loaded), 10, 130));

  for (const QString& bad : {dir_.filePath("missing.png"), Write("text.png", "not a picture")}) {
    auto failed = LoadScreenImage(bad);
    ASSERT_TRUE(std::holds_alternative<std::string>(failed)) << bad.toStdString();
    EXPECT_NE(std::get<std::string>(failed).find(bad.toStdString()), std::string::npos)
        << std::get<std::string>(failed);
  }
}

TEST_F(Payloads, TheRawDataFileTheProgramWritesLoadsBack) {
  CaptureStore store;
  for (int i = 0; i < kDataBytes; ++i)
    store.CaptureBuffer[static_cast<std::size_t>(i)] = (i * 37) % 256;
  const std::string raw = RawDataText(store);
  auto loaded = LoadRawData(Write("capture.txt", QByteArray::fromStdString(raw)));
  ASSERT_TRUE(std::holds_alternative<DataBytes>(loaded)) << std::get<std::string>(loaded);
  for (int i = 0; i < kDataBytes; ++i) {
    ASSERT_EQ(std::get<DataBytes>(loaded)[static_cast<std::size_t>(i)],
              store.Byte(static_cast<std::size_t>(i)))
        << i;
  }
  // plain LF line ends, as a hand-made file has them, load the same
  QByteArray lf = QByteArray::fromStdString(raw);
  lf.replace("\r\n", "\n");
  auto fromLf = LoadRawData(Write("lf.txt", lf));
  ASSERT_TRUE(std::holds_alternative<DataBytes>(fromLf));
  EXPECT_EQ(std::get<DataBytes>(fromLf), std::get<DataBytes>(loaded));
}

TEST_F(Payloads, BadRawDataFilesAreRefusedWithTheLineAtFault) {
  QByteArray good;
  for (int i = 0; i < kDataBytes; ++i) good += "7\r\n";
  auto withLine = [&](int line, const QByteArray& text) {
    QList<QByteArray> lines = good.split('\n');
    lines[line - 1] = text + "\r";
    return lines.join('\n');
  };
  struct Case {
    const char* name;
    QByteArray content;
    const char* expected;
  };
  const Case cases[] = {
      {"short.txt", good.left(good.size() - 3), "holds 1204 lines"},
      {"long.txt", good + "7\r\n", "holds 1206 lines"},
      {"empty.txt", "", "holds 0 lines"},
      {"word.txt", withLine(5, "abc"), "line 5: \"abc\""},
      {"big.txt", withLine(1203, "256"), "line 1203: \"256\""},
      {"negative.txt", withLine(1, "-1"), "line 1: \"-1\""},
      {"fraction.txt", withLine(9, "1.5"), "line 9: \"1.5\""},
  };
  for (const Case& c : cases) {
    auto loaded = LoadRawData(Write(c.name, c.content));
    ASSERT_TRUE(std::holds_alternative<std::string>(loaded)) << c.name;
    EXPECT_NE(std::get<std::string>(loaded).find(c.expected), std::string::npos)
        << c.name << ": " << std::get<std::string>(loaded);
  }
  auto missing = LoadRawData(dir_.filePath("nowhere.txt"));
  ASSERT_TRUE(std::holds_alternative<std::string>(missing));
  EXPECT_NE(std::get<std::string>(missing).find("cannot read"), std::string::npos);
}

// Each line holds blanks, one decimal number and the line end, and nothing else: what a looser
// reading takes (a sign, a NUL that ends the number early, a vertical tab) is refused.
TEST_F(Payloads, ALineHoldsOneNumberBetweenBlanksAndNothingElse) {
  QByteArray good;
  for (int i = 0; i < kDataBytes; ++i) good += "7\r\n";
  auto withFirstLine = [&](const QByteArray& text) { return text + good.mid(3); };
  const struct {
    QByteArray line;
    int value;  // -1: refused
  } cases[] = {
      {" 12 \t\r\n", 12},
      {"\t0\n", 0},
      {"007\r\n", 7},
      {"255\r\n", 255},
      {QByteArray("1\0"
                  "63\r\n",
                  6),
       -1},
      {"+5\r\n", -1},
      {"\v7\r\n", -1},
      {"7\f\r\n", -1},
      {"1 2\r\n", -1},
      {"7\r\r\n", -1},
      {"99999999999999999999\r\n", -1},
      {"\r\n", -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line.toPercentEncoding().toStdString());
    auto loaded = LoadRawData(Write("line.txt", withFirstLine(c.line)));
    if (c.value < 0) {
      ASSERT_TRUE(std::holds_alternative<std::string>(loaded));
      EXPECT_NE(std::get<std::string>(loaded).find("line 1:"), std::string::npos)
          << std::get<std::string>(loaded);
    } else {
      ASSERT_TRUE(std::holds_alternative<DataBytes>(loaded)) << std::get<std::string>(loaded);
      EXPECT_EQ(std::get<DataBytes>(loaded)[0], c.value);
      EXPECT_EQ(std::get<DataBytes>(loaded)[1], 7);
    }
  }
}

// The offending line is quoted with every control byte written out, so that nothing in the file
// can drive the terminal the message is printed on, and a long line is cut short.
TEST_F(Payloads, TheQuotedLineCannotReachTheTerminalAndIsCutShort) {
  QByteArray good;
  for (int i = 0; i < kDataBytes; ++i) good += "7\r\n";
  const struct {
    QByteArray line;
    const char* quoted;
  } cases[] = {
      {"\x1b]0;owned\x07\x1b[2J", R"("\x1b]0;owned\x07\x1b[2J")"},
      {QByteArray("1\0"
                  "63",
                  4),
       R"("1\x0063")"},
      {"\x9b"
       "31m\xff",
       R"("\x9b31m\xff")"},
      {QByteArray(5000, 'x'), "\"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx...\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.quoted);
    auto loaded = LoadRawData(Write("bad.txt", c.line + "\r\n" + good.mid(3)));
    ASSERT_TRUE(std::holds_alternative<std::string>(loaded));
    const std::string& message = std::get<std::string>(loaded);
    EXPECT_NE(message.find(std::string("line 1: ") + c.quoted), std::string::npos) << message;
    for (unsigned char byte : message) ASSERT_TRUE(byte >= 0x20 && byte != 0x7F) << message;
    EXPECT_LT(message.size(), 200u);
  }
}

// A raw data file is about 6 KB: a device, a folder, a pipe or a file of more than 64 KiB is
// refused before anything is read from it.
TEST_F(Payloads, OnlyARegularFileOfAtMost64KiBIsRead) {
  const QString folder = dir_.filePath("folder");
  ASSERT_TRUE(QDir().mkdir(folder));
  const QString fifo = dir_.filePath("pipe");
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  for (const QString& path : {QStringLiteral("/dev/zero"), folder, fifo}) {
    auto loaded = LoadRawData(path);  // the pipe has no writer: it must not wait for one
    ASSERT_TRUE(std::holds_alternative<std::string>(loaded)) << path.toStdString();
    EXPECT_NE(std::get<std::string>(loaded).find("not a regular file"), std::string::npos)
        << std::get<std::string>(loaded);
  }

  QByteArray justFits;
  for (int i = 0; i < kDataBytes; ++i) justFits += "7\r\n";
  justFits.prepend(QByteArray(64 * 1024 - justFits.size(), ' '));
  ASSERT_EQ(justFits.size(), 64 * 1024);
  EXPECT_TRUE(std::holds_alternative<DataBytes>(LoadRawData(Write("fits.txt", justFits))));

  const QString big = Write("big.txt", " " + justFits);
  QFile sparse(dir_.filePath("sparse.txt"));
  ASSERT_TRUE(sparse.open(QIODevice::WriteOnly));
  ASSERT_TRUE(sparse.resize(qint64{1} << 30));  // a gigabyte of nothing, taking no disk
  sparse.close();
  for (const QString& path : {big, sparse.fileName()}) {
    auto loaded = LoadRawData(path);
    ASSERT_TRUE(std::holds_alternative<std::string>(loaded)) << path.toStdString();
    EXPECT_NE(std::get<std::string>(loaded).find("64 KiB"), std::string::npos)
        << std::get<std::string>(loaded);
  }
}

TEST_F(Payloads, TheBuiltInWaveformCarriesItsScaleCodesAndMoves) {
  const DataBytes data = BuiltInWaveform(9, 2, 26);
  EXPECT_EQ(data[kSampleCount], 9);
  EXPECT_EQ(data[kSampleCount + 1], 2);
  EXPECT_EQ(data[kSampleCount + 2], 26);
  const auto [low, high] = std::minmax_element(data.begin(), data.begin() + kSampleCount);
  EXPECT_GT(*high - *low, 100);  // a trace worth looking at, not a flat line
}

}  // namespace
}  // namespace fennow
