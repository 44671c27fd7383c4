// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "app/AboutBox.h"
#include "app/TemplateControls.h"
#include "tests/support/WindowRig.h"

namespace fennow {
namespace {

TEST(AboutBox, HasTemplate100) {
  test::TestApp();
  AboutBox box;
  const DialogBaseUnits units = box.BaseUnits();
  EXPECT_EQ(box.windowTitle(), "About Quillet");
  EXPECT_EQ(box.parentWidget(), nullptr);
  EXPECT_EQ(box.size(), ToPixels({0, 0, 217, 55}, units).size());

  const struct {
    const char* name;
    const char* caption;
    DialogRect rect;
  } labels[] = {
      {"VersionLabel", "GameBoy Quillet Version 1.2", {40, 10, 101, 10}},
      {"CompatibleLabel", "Windows XP Compatible", {40, 21, 101, 10}},
  };
  for (const auto& row : labels) {
    SCOPED_TRACE(row.name);
    const auto* label = box.findChild<QLabel*>(row.name);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), row.caption);
    EXPECT_EQ(label->geometry(), ToPixels(row.rect, units));
  }

  const auto* ok = qobject_cast<QPushButton*>(ControlById(box, 1));
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->text(), "OK");
  EXPECT_TRUE(ok->isDefault());
  EXPECT_EQ(ok->geometry(), ToPixels({178, 7, 32, 14}, units));

  const auto* picture = box.findChild<QLabel*>("AboutPicture");
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->pos(), ToPixels({12, 12, 21, 20}, units).topLeft());
  // A plain picture, no frame, at the bitmap's own size.
  EXPECT_EQ(picture->pixmap().size(), QSize(32, 32));
  EXPECT_EQ(picture->frameShape(), QFrame::NoFrame);
  EXPECT_EQ(picture->size(), QSize(32, 32));
}

TEST(AboutBox, OkEnterEscapeAndCloseEndIt) {
  test::TestApp();
  enum class Way { Ok, Enter, Escape, Close };
  const struct {
    Way way;
    int result;
  } cases[] = {
      {Way::Ok, QDialog::Accepted},
      {Way::Enter, QDialog::Accepted},
      {Way::Escape, QDialog::Rejected},
      {Way::Close, QDialog::Rejected},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.way));
    AboutBox box;
    box.show();
    ASSERT_TRUE(box.isVisible());
    QWidget* target = box.focusWidget() != nullptr ? box.focusWidget() : &box;
    switch (c.way) {
      case Way::Ok:
        qobject_cast<QPushButton*>(ControlById(box, 1))->click();
        break;
      case Way::Enter:
      case Way::Escape: {
        QKeyEvent press(QEvent::KeyPress, c.way == Way::Enter ? Qt::Key_Return : Qt::Key_Escape,
                        Qt::NoModifier);
        QApplication::sendEvent(target, &press);
        break;
      }
      case Way::Close:
        box.close();
        break;
    }
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.result(), c.result);
  }
}

}  // namespace
}  // namespace fennow
