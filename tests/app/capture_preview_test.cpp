// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QImage>

#include "app/CapturePreview.h"
#include "tests/support/WindowRig.h"

namespace fennow {
namespace {

bool IsTrace(QRgb pixel) {
  return qGreen(pixel) > 150 && qRed(pixel) < 200;
}

int TracePixelsInRow(const QImage& image, int row, int fromColumn, int toColumn) {
  int count = 0;
  for (int x = fromColumn; x <= toColumn; ++x) count += IsTrace(image.pixel(x, row)) ? 1 : 0;
  return count;
}

CaptureStore DataBlock(std::function<int(int)> sample, int c1 = 6, int c2 = 3, int c3 = 12) {
  CaptureStore store;
  for (int k = 0; k < kSampleCount; ++k)
    store.CaptureBuffer[static_cast<std::size_t>(k)] = sample(k);
  store.CaptureBuffer[kSampleCount] = c1;
  store.CaptureBuffer[kSampleCount + 1] = c2;
  store.CaptureBuffer[kSampleCount + 2] = c3;
  store.Kind = CaptureKind::Data;
  return store;
}

class Preview : public ::testing::Test {
 protected:
  void SetUp() override { test::TestApp(); }
};

TEST_F(Preview, WithoutACaptureThePictureIsTheIdleOne) {
  QImage idle(kScreenWidth, kScreenHeight, QImage::Format_RGB32);
  idle.fill(qRgb(1, 2, 3));
  CaptureStore store;
  for (auto& slot : store.CaptureBuffer) slot = 0xAA;  // leftovers of a lost capture
  EXPECT_EQ(CapturePreview(store, idle), idle);
}

TEST_F(Preview, AScreenShowsAsTheBitmapFileWould) {
  CaptureStore store;
  for (std::size_t slot = 0; slot < store.CaptureBuffer.size(); ++slot) {
    store.CaptureBuffer[slot] = static_cast<std::int32_t>((slot * 131 + 7) % 256);
  }
  store.Kind = CaptureKind::Screen;
  const QImage image = CapturePreview(store, QImage());
  ASSERT_EQ(image.size(), QSize(kScreenWidth, kScreenHeight));
  for (int y = 0; y < kScreenHeight; ++y) {
    for (int x = 0; x < kScreenWidth; ++x) {
      const bool white =
          (store.Byte(static_cast<std::size_t>(ScreenSlot(y, x / 8))) & (0x80u >> (x % 8))) != 0;
      ASSERT_EQ(image.pixel(x, y), white ? qRgb(255, 255, 255) : qRgb(0, 0, 0)) << x << ',' << y;
    }
  }
}

TEST_F(Preview, ATraceFollowsTheRecentredSamples) {
  struct Case {
    int raw;    // the byte received
    int value;  // as the Mathcad file has it
  };
  for (Case c : {Case{127, 0}, Case{0, 127}, Case{255, -128}, Case{60, 67}}) {
    const QImage image = DataPreview(DataBlock([&](int) { return c.raw; }));
    const int row = TraceArea::RowOf(c.value);
    EXPECT_GE(TracePixelsInRow(image, row, 2, 157), 150) << "raw " << c.raw;
    const int farRow = TraceArea::RowOf(c.value > 0 ? c.value - 64 : c.value + 64);
    EXPECT_EQ(TracePixelsInRow(image, farRow, 0, 159), 0) << "raw " << c.raw;
  }
}

TEST_F(Preview, ATraceRunsLeftToRightInSampleOrder) {
  // low for the first half of the block, high for the second
  const QImage image = DataPreview(DataBlock([](int k) { return k < kSampleCount / 2 ? 255 : 0; }));
  const int bottom = TraceArea::RowOf(-128);
  const int top = TraceArea::RowOf(127);
  EXPECT_GT(TracePixelsInRow(image, bottom, 2, 70), 60);
  EXPECT_EQ(TracePixelsInRow(image, bottom, 90, 157), 0);
  EXPECT_GT(TracePixelsInRow(image, top, 90, 157), 60);
  EXPECT_EQ(TracePixelsInRow(image, top, 2, 70), 0);
}

TEST_F(Preview, TheLegendGivesTheScaleValuesOrTheCodesWithoutOne) {
  EXPECT_EQ(ScaleLegend(DataBlock([](int) { return 0; }, 6, 3, 12)),
            QStringLiteral("1.00  0.10  0.010000"));
  EXPECT_EQ(ScaleLegend(DataBlock([](int) { return 0; }, 0, 9, 26)),
            QStringLiteral("0.00  10.00  500.000000"));
  EXPECT_EQ(ScaleLegend(DataBlock([](int) { return 0; }, 10, 1, 27)),
            QStringLiteral("#10  0.00  #27"));
}

}  // namespace
}  // namespace fennow
