// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QLabel>

#include "app/DialogUnits.h"
#include "app/TemplateControls.h"
#include "app/WindowRules.h"
#include "tests/support/WindowRig.h"

namespace fennow {
namespace {

struct IconCase {
  int client;
  int expected;
};

TEST(IconPosition, CentresAndTruncatesTowardZero) {
  const IconCase cases[] = {
      {36, 2}, {33, 1}, {32, 0}, {31, 0}, {20, -5}, {29, -1}, {0, -15},
  };
  for (const IconCase& c : cases) {
    SCOPED_TRACE(c.client);
    EXPECT_EQ(IconPosition(c.client, c.client, 32, 32), QPoint(c.expected, c.expected));
  }
  // Width and height are worked out independently.
  EXPECT_EQ(IconPosition(36, 20, 32, 32), QPoint(2, -5));
  EXPECT_EQ(IconPosition(20, 33, 16, 32), QPoint(2, 1));
}

TEST(SystemCommandRule, OnlyTheAboutRangeOpensTheAboutBox) {
  const struct {
    unsigned id;
    bool opens;
  } cases[] = {
      {0x10, true},  {0x1F, true},    {0x18, true},    {0x0F, false},  {0x20, false},
      {0x00, false}, {0xF060, false}, {0xF010, false}, {0x110, false}, {0x1010, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(OpensAboutBox(c.id), c.opens);
  }
}

TEST(DialogUnits, BaseUnitsAreTheRoundedLetterAverageAndTheFontHeight) {
  const struct {
    int letters;
    int height;
    DialogBaseUnits expected;
  } cases[] = {
      {312, 13, {6, 13}},                    // 6.0
      {337, 13, {6, 13}},                    // 6.48 rounds down
      {338, 13, {7, 13}},                    // 6.5 rounds up
      {364, 16, {7, 16}},                    // 7.0
      {0, 13, kFallbackBaseUnits},           // no letters: fallback width, and the height is kept
      {-4, 0, kFallbackBaseUnits},           // nothing usable at all
      {20, 11, {kFallbackBaseUnits.x, 11}},  // rounds to 0 wide: fallback width
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.letters);
    EXPECT_EQ(BaseUnitsFrom(c.letters, c.height), c.expected);
  }
}

TEST(DialogUnits, EachCoordinateIsRoundedToTheNearestPixel) {
  const DialogBaseUnits units{6, 13};
  // 4 horizontal units are one average letter, 8 vertical units one font height.
  EXPECT_EQ(HorizontalPixels(4, units), 6);
  EXPECT_EQ(VerticalPixels(8, units), 13);
  EXPECT_EQ(HorizontalPixels(257, units), 386);  // 385.5
  EXPECT_EQ(HorizontalPixels(1, units), 2);      // 1.5
  EXPECT_EQ(HorizontalPixels(15, units), 23);    // 22.5
  EXPECT_EQ(VerticalPixels(194, units), 315);    // 315.25
  EXPECT_EQ(VerticalPixels(1, units), 2);        // 1.625
  EXPECT_EQ(VerticalPixels(3, units), 5);        // 4.875
  EXPECT_EQ(VerticalPixels(0, units), 0);
  EXPECT_EQ(ToPixels({15, 74, 105, 15}, units), QRect(23, 120, 158, 24));
}

// The desktop's face at its size: the layout grows with it.
TEST(DialogUnits, DialogFontIsTheDesktopsAndItsUnitsGrowWithIt) {
  test::TestApp();
  const QFont desktop = QApplication::font();
  DialogBaseUnits before{0, 0};
  for (int points : {8, 11, 14}) {
    SCOPED_TRACE(points);
    QFont font = desktop;
    font.setPointSize(points);
    QApplication::setFont(font);
    EXPECT_EQ(DialogFont(), font);
    const DialogBaseUnits units = BaseUnitsOf(QFontMetrics(DialogFont()));
    EXPECT_GT(units.x, before.x);
    EXPECT_GT(units.y, before.y);
    before = units;
  }
  QApplication::setFont(desktop);
}

TEST(TemplateControls, PictureWhoseImageIsMissingKeepsTheTemplateRectangle) {
  test::TestApp();
  QWidget dialog;
  const DialogBaseUnits units{6, 13};
  for (bool sunken : {false, true}) {
    SCOPED_TRACE(sunken);
    const ControlTemplate row{kStaticId,          ControlKind::Picture,      "Missing", "",
                              {140, 10, 109, 91}, ":/art/no-such-image.bmp", sunken};
    QWidget* control = CreateControl(dialog, row, units);
    auto* picture = qobject_cast<QLabel*>(control);
    ASSERT_NE(picture, nullptr);
    EXPECT_TRUE(picture->pixmap().isNull());
    EXPECT_EQ(picture->geometry(), ToPixels(row.rect, units));
    EXPECT_EQ(picture->frameShape(), sunken ? QFrame::WinPanel : QFrame::NoFrame);
    delete control;
  }
}

}  // namespace
}  // namespace fennow
