// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QAction>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <climits>

#include "app/LampButton.h"
#include "app/QtDialogHost.h"
#include "app/TemplateControls.h"
#include "app/WindowRules.h"
#include "tests/support/WindowRig.h"

namespace fennow {
namespace {

using test::Message;
using test::WindowRig;

QAbstractButton* Button(const LinkWindow& window, int id) {
  return qobject_cast<QAbstractButton*>(ControlById(window, id));
}

void SendKey(QWidget* target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QKeyEvent press(QEvent::KeyPress, key, modifiers);
  QApplication::sendEvent(target, &press);
  QKeyEvent release(QEvent::KeyRelease, key, modifiers);
  QApplication::sendEvent(target, &release);
}

// What each control shows, from the template as drawn.
QString CaptionOf(const QWidget* control) {
  if (const auto* button = qobject_cast<const QAbstractButton*>(control)) return button->text();
  if (const auto* label = qobject_cast<const QLabel*>(control)) return label->text();
  if (const auto* group = qobject_cast<const QGroupBox*>(control)) return group->title();
  return QString();
}

struct Row {
  const char* name;
  int id;
  const char* caption;
  DialogRect rect;
};

const Row kTemplate102[] = {
    {"StartTransfer", 1000, "Start Transfer", {15, 74, 105, 15}},
    {"RawDataFormat", 1001, "Raw Data Format", {150, 145, 90, 15}},
    {"ScreenPicture", -1, "", {140, 10, 109, 91}},
    {"TransferGroup", -1, "Screen or Data Transfer", {5, 55, 125, 135}},
    {"MathcadFormat", 1003, "MathCad Format", {150, 165, 90, 15}},
    {"PortGroup", -1, "Printer Interface Port", {5, 10, 125, 35}},
    {"ScreenFormat", 1023, "Screen Format", {150, 125, 90, 15}},
    {"SaveGroup", -1, "Save to Disk", {140, 110, 110, 80}},
    {"LPT1", 1026, "LPT1", {15, 25, 30, 15}},
    {"LPT2", 1027, "LPT2", {52, 25, 30, 15}},
    {"Progress", 1029, "", {15, 164, 105, 15}},
    {"Test", 1032, "Test", {84, 98, 36, 15}},
    {"SyncLamp", 1033, "", {15, 115, 10, 10}},
    {"TransferErrorLabel", -1, "Transfer Error", {30, 100, 45, 8}},
    {"SerialSyncLabel", -1, "Serial Sync", {30, 115, 36, 8}},
    {"ScreenLamp", 1035, "", {15, 130, 10, 10}},
    {"DataLamp", 1036, "", {15, 145, 10, 10}},
    {"ScreenTransferLabel", -1, "Screen Transfer", {30, 130, 52, 8}},
    {"DataTransferLabel", -1, "Data Transfer", {30, 145, 44, 8}},
    {"ErrorLamp", 1045, "", {15, 100, 10, 10}},
    {"LPT3", 1028, "LPT3", {90, 25, 30, 15}},
};

// ---- Layout -------------------------------------------------------------------------------

// At the desktop's font, whatever its size (8, 11 and 14 pt here): the same arrangement, each
// control where its dialog units put it in that font.
TEST(LinkWindowLayout, EveryControlHasItsIdCaptionAndDialogUnitRectangle) {
  test::TestApp();
  const QFont desktop = QApplication::font();
  for (int points : {8, 11, 14}) {
    SCOPED_TRACE(points);
    QFont font = desktop;
    font.setPointSize(points);
    QApplication::setFont(font);
    WindowRig rig;
    LinkWindow& window = rig.Window();
    const DialogBaseUnits units = window.BaseUnits();
    EXPECT_EQ(units, BaseUnitsOf(QFontMetrics(DialogFont())));
    EXPECT_EQ(window.size(), ToPixels({0, 0, 257, 194}, units).size());
    const auto children = window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    EXPECT_EQ(
        std::count_if(children.begin(), children.end(),
                      [](const QWidget* w) { return w->property(kControlIdProperty).isValid(); }),
        static_cast<qsizetype>(std::size(kTemplate102)));

    for (const Row& row : kTemplate102) {
      SCOPED_TRACE(row.name);
      const auto* control = window.findChild<QWidget*>(row.name, Qt::FindDirectChildrenOnly);
      ASSERT_NE(control, nullptr);
      EXPECT_EQ(control->property(kControlIdProperty).toInt(), row.id);
      EXPECT_EQ(CaptionOf(control), QString::fromUtf8(row.caption));
      const QRect expected = ToPixels(row.rect, units);
      if (const auto* picture = qobject_cast<const QLabel*>(control);
          picture != nullptr && row.caption[0] == '\0') {
        // The picture takes its bitmap's size, a Game Boy screen, inside its sunken frame.
        EXPECT_EQ(control->pos(), expected.topLeft());
        EXPECT_EQ(picture->pixmap().size(), QSize(160, 144));
        EXPECT_EQ(picture->contentsRect().size(), QSize(160, 144));
        EXPECT_EQ(picture->frameShadow(), QFrame::Sunken);
      } else if (qobject_cast<const QLabel*>(control) != nullptr) {
        // A label is as wide as its words need where the font's average letter falls short.
        EXPECT_EQ(control->pos(), expected.topLeft());
        EXPECT_EQ(control->height(), expected.height());
        EXPECT_EQ(control->width(), std::max(expected.width(), control->sizeHint().width()));
      } else {
        EXPECT_EQ(control->geometry(), expected);
      }
    }
  }
  QApplication::setFont(desktop);
}

QColor AverageColour(const QImage& image) {
  long long r = 0, g = 0, b = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      r += c.red();
      g += c.green();
      b += c.blue();
    }
  }
  const long long n = std::max(1LL, static_cast<long long>(image.width()) * image.height());
  return QColor(static_cast<int>(r / n), static_cast<int>(g / n), static_cast<int>(b / n));
}

// In a light and in a dark palette alike, the chosen port stands out from the others, and the idle
// picture is drawn in the palette's lightness.
TEST(LinkWindowLayout, TheChosenPortAndTheIdlePictureFollowThePalette) {
  test::TestApp();
  const QPalette desktop = QApplication::palette();
  QPalette dark;
  for (auto role : {QPalette::Window, QPalette::Button, QPalette::Base}) {
    dark.setColor(role, QColor(0x30, 0x30, 0x30));
  }
  for (auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text}) {
    dark.setColor(role, QColor(0xe0, 0xe0, 0xe0));
  }
  dark.setColor(QPalette::Highlight, QColor(0x30, 0x70, 0xc0));
  for (const bool isDark : {false, true}) {
    SCOPED_TRACE(isDark ? "dark" : "light");
    QApplication::setPalette(isDark ? dark : desktop);
    WindowRig rig;
    LinkWindow& window = rig.Shown();
    const QColor chosen = AverageColour(Button(window, kLpt1Id)->grab().toImage());
    const QColor other = AverageColour(Button(window, kLpt2Id)->grab().toImage());
    EXPECT_GT(
        std::abs(chosen.lightness() - other.lightness()) + std::abs(chosen.hue() - other.hue()), 40)
        << "the chosen port looks like the others";
    const auto* picture = window.findChild<QLabel*>(QStringLiteral("ScreenPicture"));
    ASSERT_NE(picture, nullptr);
    const int lightness = AverageColour(picture->pixmap().toImage()).lightness();
    EXPECT_EQ(lightness < 128, isDark) << lightness;
  }
  QApplication::setPalette(desktop);
}

TEST(LinkWindowLayout, CaptionNamesTheInterfaceAndCreditsNoPerson) {
  WindowRig rig;
  const QString caption = rig.Window().windowTitle();
  EXPECT_TRUE(caption.startsWith("Fennow Link Interface (XP)")) << caption.toStdString();
  EXPECT_EQ(caption, "Fennow Link Interface (XP) by the Fennow team");
}

TEST(LinkWindowLayout, ControlsAreOfTheirKinds) {
  WindowRig rig;
  LinkWindow& window = rig.Window();
  for (int id : {1000, 1001, 1003, 1023, 1032}) {
    SCOPED_TRACE(id);
    auto* button = qobject_cast<QPushButton*>(ControlById(window, id));
    ASSERT_NE(button, nullptr);
    EXPECT_FALSE(button->isCheckable());
    EXPECT_TRUE(button->isEnabled());
  }
  for (int id : {1026, 1027, 1028}) {
    SCOPED_TRACE(id);
    auto* button = qobject_cast<QPushButton*>(ControlById(window, id));
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(button->isCheckable());
    EXPECT_TRUE(button->isEnabled());
  }
  for (int id : {1033, 1035, 1036, 1045}) {
    SCOPED_TRACE(id);
    auto* lamp = qobject_cast<LampButton*>(ControlById(window, id));
    ASSERT_NE(lamp, nullptr);
    EXPECT_TRUE(lamp->isCheckable());
    EXPECT_FALSE(lamp->autoExclusive());
    EXPECT_FALSE(lamp->isEnabled());
    EXPECT_EQ(lamp->focusPolicy(), Qt::NoFocus);
  }
  auto* bar = qobject_cast<QProgressBar*>(ControlById(window, kProgressId));
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->minimum(), 0);
  EXPECT_EQ(bar->maximum(), 100);
  EXPECT_EQ(bar->value(), 0);
}

TEST(LinkWindowLayout, GroupBoxesLieBehindTheControlsTheyFrame) {
  WindowRig rig;
  LinkWindow& window = rig.Window();
  // A click in the middle of Start Transfer, inside "Screen or Data Transfer", reaches the
  // button and not the group box created after it.
  for (int id : {1000, 1032, 1026, 1023, 1003}) {
    SCOPED_TRACE(id);
    QWidget* control = ControlById(window, id);
    EXPECT_EQ(window.childAt(control->geometry().center()), control);
  }
}

TEST(LinkWindowLayout, TabVisitsTheFivePushButtonsInTemplateOrder) {
  WindowRig rig;
  LinkWindow& window = rig.Shown();
  ASSERT_EQ(window.focusWidget(), ControlById(window, kStartTransferId));
  std::vector<int> visited;
  for (int i = 0; i < 5; ++i) {
    SendKey(window.focusWidget(), Qt::Key_Tab);
    visited.push_back(window.focusWidget()->property(kControlIdProperty).toInt());
  }
  EXPECT_EQ(visited, (std::vector<int>{1001, 1003, 1023, 1032, 1000}));
}

// ---- Start-up ------------------------------------------------------------------------------

TEST(LinkWindowStart, ShowsLpt1ChosenWithoutAMessageOrAPortWrite) {
  WindowRig rig;
  LinkWindow& window = rig.Shown();
  EXPECT_TRUE(Button(window, kLpt1Id)->isChecked());
  EXPECT_FALSE(Button(window, kLpt2Id)->isChecked());
  EXPECT_FALSE(Button(window, kLpt3Id)->isChecked());
  for (int id : kLampIds) EXPECT_FALSE(Button(window, id)->isChecked()) << id;
  EXPECT_EQ(qobject_cast<QProgressBar*>(ControlById(window, kProgressId))->value(), 0);
  EXPECT_TRUE(rig.dialogs.messages.empty());
  EXPECT_TRUE(rig.port.writes.empty());
  EXPECT_EQ(window.Port().DataPort, 0x378u);
  EXPECT_EQ(window.Port().StatusPort, 0x379u);
  EXPECT_EQ(window.Port().OutputLatch, 0u);
  EXPECT_EQ(window.Capture().Kind, CaptureKind::None);
  EXPECT_TRUE(window.LastSavePath().empty());
}

TEST(LinkWindowStart, MissingCounterIsReportedOnceBeforeTheWindowShows) {
  WindowRig rig;
  rig.counter.SetFrequency(0);
  LinkWindow& window = rig.Window();
  EXPECT_TRUE(rig.dialogs.messages.empty());  // construction alone warns of nothing
  window.show();
  window.hide();
  window.show();
  ASSERT_EQ(rig.dialogs.messages.size(), 1u);
  EXPECT_EQ(rig.dialogs.messages[0],
            (Message{"ERROR: A high frequency timer does not exist on this machine", "Timer test",
                     MessageStyle::MB_ICONSTOP}));
  EXPECT_EQ(rig.dialogs.messageOwners[0], &window);
  EXPECT_FALSE(rig.dialogs.ownerShownAtMessage[0]);
  EXPECT_TRUE(Button(window, kLpt1Id)->isChecked());
  EXPECT_EQ(window.focusWidget(), ControlById(window, kStartTransferId));
}

TEST(LinkWindowStart, IsAnApplicationWindowOfFixedSizeWithOnlyACloseBox) {
  WindowRig rig;
  LinkWindow& window = rig.Shown();
  EXPECT_EQ(window.windowType(), Qt::Window);  // not Qt::Dialog: a task bar button of its own
  EXPECT_EQ(window.parentWidget(), nullptr);
  ASSERT_NE(window.windowHandle(), nullptr);
  EXPECT_EQ(window.windowHandle()->transientParent(), nullptr);
  const Qt::WindowFlags flags = window.windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowSystemMenuHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_EQ(window.minimumSize(), window.maximumSize());
  // The boxes it owns stay with it.
  const auto box = MakeMessageBox(&window, "text", "title", MessageStyle::MB_OK);
  box->winId();
  ASSERT_NE(box->windowHandle(), nullptr);
  EXPECT_EQ(box->windowHandle()->transientParent(), window.windowHandle());
}

TEST(LinkWindowStart, IconIsTheWindowIcon) {
  WindowRig rig;
  LinkWindow& window = rig.Window();
  ASSERT_FALSE(window.Icon().isNull());
  const QList<QSize> sizes = window.Icon().availableSizes();
  EXPECT_TRUE(sizes.contains(QSize(32, 32)));
  EXPECT_TRUE(sizes.contains(QSize(16, 16)));
  window.show();
  EXPECT_EQ(window.windowIcon().cacheKey(), window.Icon().cacheKey());
}

// ---- Ports ---------------------------------------------------------------------------------

TEST(LinkWindowPorts, StartsOnWhatLpt1ReachesAndConfirmsTheRealAddress) {
  WindowRig rig;
  const PortTarget card = ParallelPortAt(0xD010);
  rig.ports.table = AssignPorts(std::vector<PortTarget>{card});
  LinkWindow& window = rig.Shown();
  EXPECT_EQ(window.Port().DataPort, 0xD010u);
  EXPECT_EQ(window.Port().StatusPort, 0xD011u);
  EXPECT_TRUE(rig.dialogs.messages.empty());

  Button(window, kLpt2Id)->click();  // LPT2 has no port of its own: its legacy address
  Button(window, kLpt1Id)->click();
  EXPECT_EQ(rig.dialogs.messages,
            (std::vector<Message>{{"Interface Port set to LPT2 (0x278)", "Interface Port",
                                   MessageStyle::MB_ICONINFORMATION},
                                  {"Interface Port set to LPT1 (0xD010)", "Interface Port",
                                   MessageStyle::MB_ICONINFORMATION}}));
  rig.dialogs.messages.clear();
  Button(window, kStartTransferId)->click();
  EXPECT_EQ(rig.ports.reached, std::vector<std::uint16_t>{0xD010});
  // let go when the transfer is over, so a printer on the port can print in between
  EXPECT_EQ(rig.ports.released, std::vector<std::uint16_t>{0xD010});
  ASSERT_FALSE(rig.port.writes.empty());
  for (const auto& write : rig.port.writes) EXPECT_EQ(write.first, 0xD010);
  for (std::uint16_t read : rig.port.reads) EXPECT_EQ(read, 0xD011);

  // The close idles the lead on the chosen port, reached afresh.
  const std::size_t writes = rig.port.writes.size();
  rig.Destroy();
  EXPECT_EQ(rig.ports.reached, (std::vector<std::uint16_t>{0xD010, 0xD010}));
  ASSERT_EQ(rig.port.writes.size(), writes + 1);
  EXPECT_EQ(rig.port.writes.back(), (std::pair<std::uint16_t, std::uint8_t>{0xD010, 0}));
}

TEST(LinkWindowPorts, AnUnreachablePortIsExplainedOnceAndTheOperationStillRuns) {
  WindowRig rig;
  LinkWindow& window = rig.Shown();
  const PortProblem busy{PortKind::ParallelPort, PortReason::Busy, "/dev/parport0", {}};
  const PortProblem denied{
      PortKind::ParallelPort, PortReason::PermissionDenied, "/dev/parport0", {}};
  rig.ports.problems = {busy, busy, denied};
  const Message timeout{"Serial Sync Timeout", "Transfer Status", MessageStyle::MB_ICONSTOP};
  const Message busyBox{
      "LPT1 (0x378) cannot be reached: " + WhyText(busy) + ". " + RemedyText(busy),
      "Interface Port", MessageStyle::MB_ICONSTOP};

  Button(window, kStartTransferId)->click();
  EXPECT_EQ(rig.dialogs.messages, (std::vector<Message>{busyBox, timeout}));
  EXPECT_EQ(rig.dialogs.messageOwners[0], &window);
  Button(window, kStartTransferId)->click();  // still busy: the transfer's own outcome only
  EXPECT_EQ(rig.dialogs.messages, (std::vector<Message>{busyBox, timeout, timeout}));

  rig.dialogs.messages.clear();
  Button(window, kTestId)->click();  // the lead test, on a new reason
  ASSERT_GE(rig.dialogs.messages.size(), 2u);
  EXPECT_EQ(rig.dialogs.messages[0].text,
            "LPT1 (0x378) cannot be reached: permission denied on /dev/parport0. Add your user to "
            "group lp (sudo adduser $USER lp), then log out and in again.");
  EXPECT_EQ(rig.dialogs.messages[1].title, "Test Link Status");
  EXPECT_EQ(rig.ports.reached, (std::vector<std::uint16_t>{0x378, 0x378, 0x378}));
  EXPECT_EQ(rig.ports.released, (std::vector<std::uint16_t>{0x378, 0x378, 0x378}));
}

TEST(LinkWindowPorts, EachButtonSelectsItsPortAndConfirmsEveryTime) {
  const struct {
    int id;
    std::uint32_t data;
    std::uint32_t status;
    const char* text;
  } cases[] = {
      {1027, 0x278, 0x279, "Interface Port set to LPT2 (0x278)"},
      {1028, 0x3BC, 0x3BD, "Interface Port set to LPT3 (0x3BC)"},
      {1026, 0x378, 0x379, "Interface Port set to LPT1 (0x378)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    WindowRig rig;
    LinkWindow& window = rig.Shown();
    const Message confirmation{c.text, "Interface Port", MessageStyle::MB_ICONINFORMATION};
    Button(window, c.id)->click();
    Button(window, c.id)->click();  // the one already chosen: same again
    EXPECT_EQ(window.Port().DataPort, c.data);
    EXPECT_EQ(window.Port().StatusPort, c.status);
    EXPECT_EQ(rig.dialogs.messages, (std::vector<Message>{confirmation, confirmation}));
    EXPECT_EQ(rig.dialogs.messageOwners, (std::vector<QWidget*>{&window, &window}));
    for (int id : {1026, 1027, 1028}) EXPECT_EQ(Button(window, id)->isChecked(), id == c.id) << id;
    EXPECT_TRUE(rig.port.writes.empty());
  }
}

TEST(LinkWindowPorts, Lpt3ThenLpt1LeavesOnlyLpt1PressedAndInUse) {
  WindowRig rig;
  LinkWindow& window = rig.Shown();
  Button(window, kLpt3Id)->click();
  Button(window, kLpt1Id)->click();
  EXPECT_TRUE(Button(window, kLpt1Id)->isChecked());
  EXPECT_FALSE(Button(window, kLpt2Id)->isChecked());
  EXPECT_FALSE(Button(window, kLpt3Id)->isChecked());
  EXPECT_EQ(window.Port().DataPort, 0x378u);
  EXPECT_EQ(window.Port().StatusPort, 0x379u);
}

TEST(LinkWindowPorts, PortButtonsNeverTouchALamp) {
  WindowRig rig;
  LinkWindow& window = rig.Shown();
  window.SetLamp(Lamp::ScreenLamp, true);
  for (int id : {1027, 1028, 1026}) Button(window, id)->click();
  EXPECT_TRUE(Button(window, kScreenLampId)->isChecked());
  for (int id : {1033, 1036, 1045}) EXPECT_FALSE(Button(window, id)->isChecked()) << id;
}

// ---- Lamps and progress --------------------------------------------------------------------

TEST(LinkWindowServices, SetLampChangesOnlyThatLamp) {
  const struct {
    Lamp lamp;
    int id;
  } cases[] = {{Lamp::SyncLamp, 1033},
               {Lamp::ScreenLamp, 1035},
               {Lamp::DataLamp, 1036},
               {Lamp::ErrorLamp, 1045}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    WindowRig rig;
    LinkWindow& window = rig.Shown();
    Button(window, kLpt2Id)->click();
    // Light every other lamp, so a lamp that put out its siblings would show.
    for (const auto& other : cases) {
      if (other.id != c.id) window.SetLamp(other.lamp, true);
    }
    window.SetLamp(c.lamp, true);
    EXPECT_TRUE(Button(window, c.id)->isChecked());
    for (const auto& other : cases) EXPECT_TRUE(Button(window, other.id)->isChecked()) << other.id;
    window.SetLamp(c.lamp, false);
    EXPECT_FALSE(Button(window, c.id)->isChecked());
    for (const auto& other : cases) {
      if (other.id != c.id) {
        EXPECT_TRUE(Button(window, other.id)->isChecked()) << other.id;
      }
    }
    EXPECT_TRUE(Button(window, kLpt2Id)->isChecked());
    EXPECT_FALSE(Button(window, kLpt1Id)->isChecked());
    EXPECT_FALSE(Button(window, kLpt3Id)->isChecked());
  }
}

TEST(LinkWindowServices, ClickingALampDoesNothing) {
  WindowRig rig;
  LinkWindow& window = rig.Shown();
  window.SetLamp(Lamp::DataLamp, true);
  for (int id : kLampIds) {
    SCOPED_TRACE(id);
    QAbstractButton* lamp = Button(window, id);
    const bool before = lamp->isChecked();
    lamp->click();
    const QPointF centre = QPointF(lamp->rect().center());
    QMouseEvent press(QEvent::MouseButtonPress, centre, lamp->mapToGlobal(centre), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(lamp, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, centre, lamp->mapToGlobal(centre),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(lamp, &release);
    EXPECT_EQ(lamp->isChecked(), before);
  }
  EXPECT_TRUE(rig.dialogs.messages.empty());
  EXPECT_TRUE(rig.port.writes.empty());
  EXPECT_TRUE(Button(window, kLpt1Id)->isChecked());
}

TEST(LinkWindowServices, ProgressIsHeldInsideItsRange) {
  const struct {
    std::int32_t position;
    int shown;
  } cases[] = {
      {-5, 0}, {0, 0}, {1, 1}, {100, 100}, {102, 100}, {120, 100}, {INT_MIN, 0}, {INT_MAX, 100},
  };
  WindowRig rig;
  LinkWindow& window = rig.Shown();
  auto* bar = qobject_cast<QProgressBar*>(ControlById(window, kProgressId));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.position);
    window.SetProgress(50);  // an ignored position would leave this standing
    window.SetProgress(c.position);
    EXPECT_EQ(bar->value(), c.shown);
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
  }
}

TEST(LinkWindowServices, KeysComeFromTheKeySourceAndNeverFromTheWindow) {
  WindowRig rig;
  LinkWindow& window = rig.Shown();
  SendKey(&window, Qt::Key_A);
  EXPECT_FALSE(window.KeyPressed());
  rig.keys.waiting = true;
  EXPECT_TRUE(window.KeyPressed());
  EXPECT_EQ(rig.keys.polls, 2);
}

TEST(LinkWindowServices, SaveDialogGoesToTheDialogHostOwnedByTheWindow) {
  WindowRig rig;
  LinkWindow& window = rig.Shown();
  rig.dialogs.saveAnswers.push_back({IDOK, "/tmp/x.bmp"});
  const SaveAnswer answer =
      window.RunSaveDialog(SaveRequest{{{"bmp", "*.bmp", "Windows Bitmap file (.bmp)"}}, {}});
  EXPECT_EQ(answer.result, IDOK);
  EXPECT_EQ(answer.path, "/tmp/x.bmp");
  ASSERT_EQ(rig.dialogs.saveRequests.size(), 1u);
  EXPECT_EQ(rig.dialogs.saveRequests[0].types.at(0).initialName, "*.bmp");
  EXPECT_EQ(rig.dialogs.saveOwners[0], &window);
}

// ---- Routing ---------------------------------------------------------------------------------

TEST(LinkWindowRouting, EachButtonRunsItsOperation) {
  // The first message each operation shows tells which one ran. Nothing has been captured yet,
  // so every Save button stops at its kind check.
  const struct {
    int id;
    Message first;
  } cases[] = {
      {1000, {"Serial Sync Timeout", "Transfer Status", MessageStyle::MB_ICONSTOP}},
      {1032,
       {"Plug Gameboy Link Lead into PC.\nDisconnect Lead From Gameboy", "Test Link Status",
        MessageStyle::MB_ICONINFORMATION}},
      {1023,
       {"No Screen Information Transferred", "Save Status", MessageStyle::MB_ICONINFORMATION}},
      {1001, {"No Data Information Transferred", "Save Status", MessageStyle::MB_ICONINFORMATION}},
      {1003, {"No Data Information Transferred", "Save Status", MessageStyle::MB_ICONINFORMATION}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    WindowRig rig;
    LinkWindow& window = rig.Shown();
    Button(window, c.id)->click();
    ASSERT_FALSE(rig.dialogs.messages.empty());
    EXPECT_EQ(rig.dialogs.messages[0], c.first);
    EXPECT_TRUE(rig.dialogs.saveRequests.empty());
  }
}

TEST(LinkWindowRouting, FailedTransferLightsTheErrorLampThroughTheWindow) {
  WindowRig rig;
  LinkWindow& window = rig.Shown();
  window.SetLamp(Lamp::DataLamp, true);
  window.SetProgress(70);
  rig.keys.waiting = true;  // a key in the terminal ends the request loop
  Button(window, kStartTransferId)->click();
  ASSERT_FALSE(rig.dialogs.messages.empty());
  EXPECT_EQ(rig.dialogs.messages.back(),
            (Message{"Key Exit", "Transfer Status", MessageStyle::MB_ICONSTOP}));
  EXPECT_GT(rig.keys.polls, 0);
  EXPECT_TRUE(Button(window, kErrorLampId)->isChecked());
  for (int id : {1033, 1035, 1036}) EXPECT_FALSE(Button(window, id)->isChecked()) << id;
  EXPECT_EQ(qobject_cast<QProgressBar*>(ControlById(window, kProgressId))->value(), 0);
  // Every line change went to LPT1's data register, every read to its status register.
  ASSERT_FALSE(rig.port.writes.empty());
  for (const auto& write : rig.port.writes) EXPECT_EQ(write.first, 0x378);
  for (std::uint16_t read : rig.port.reads) EXPECT_EQ(read, 0x379);
}

TEST(LinkWindowRouting, TransferUsesThePortChosenLast) {
  WindowRig rig;
  LinkWindow& window = rig.Shown();
  Button(window, kLpt3Id)->click();
  Button(window, kStartTransferId)->click();
  ASSERT_FALSE(rig.port.writes.empty());
  ASSERT_FALSE(rig.port.reads.empty());
  for (const auto& write : rig.port.writes) EXPECT_EQ(write.first, 0x3BC);
  for (std::uint16_t read : rig.port.reads) EXPECT_EQ(read, 0x3BD);
}

// ---- System commands and the window menu ----------------------------------------------------

TEST(LinkWindowSystemCommands, AboutRangeOpensTheAboutBoxAndCloseEndsTheWindow) {
  const struct {
    unsigned id;
    int aboutRuns;
    bool stillShown;
  } cases[] = {
      {0x10, 1, true}, {0x1F, 1, true}, {0x20, 0, true}, {0x00, 0, true}, {0xF060, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    WindowRig rig;
    LinkWindow& window = rig.Shown();
    window.OnSysCommand(c.id);
    EXPECT_EQ(rig.dialogs.aboutRuns, c.aboutRuns);
    if (c.aboutRuns > 0) {
      EXPECT_EQ(rig.dialogs.aboutOwner, &window);
    }
    EXPECT_EQ(window.isVisible(), c.stillShown);
    if (!c.stillShown) {
      EXPECT_EQ(window.result(), QDialog::Rejected);
    }
  }
}

TEST(LinkWindowSystemCommands, MenuEndsWithASeparatorAndTheAboutEntry) {
  WindowRig rig;
  LinkWindow& window = rig.Window();
  for (const QAction* action : window.SystemMenu().actions()) {
    EXPECT_NE(action->text(), "&About Quillet...");  // added by the first-time set-up only
  }
  window.show();
  window.hide();
  window.show();  // and only once
  const QList<QAction*> actions = window.SystemMenu().actions();
  ASSERT_GE(actions.size(), 2);
  EXPECT_TRUE(actions[actions.size() - 2]->isSeparator());
  QAction* about = actions.back();
  EXPECT_EQ(about->text(), "&About Quillet...");
  EXPECT_EQ(std::count_if(actions.begin(), actions.end(),
                          [](const QAction* a) { return a->text() == "&About Quillet..."; }),
            1);
  about->trigger();
  EXPECT_EQ(rig.dialogs.aboutRuns, 1);
  EXPECT_TRUE(window.isVisible());
}

TEST(LinkWindowSystemCommands, RightClickOnTheWindowOpensTheMenu) {
  WindowRig rig;
  LinkWindow& window = rig.Shown();
  QWidget* popup = nullptr;
  QTimer::singleShot(0, [&] {
    popup = QApplication::activePopupWidget();
    if (popup != nullptr) popup->close();
  });
  const QPoint at(2, 2);
  QContextMenuEvent event(QContextMenuEvent::Mouse, at, window.mapToGlobal(at));
  QApplication::sendEvent(&window, &event);
  EXPECT_EQ(popup, &window.SystemMenu());
}

// ---- Closing -------------------------------------------------------------------------------

TEST(LinkWindowClosing, EscapeAndTheCloseBoxCancelEnterOnANonPushButtonAccepts) {
  {
    WindowRig rig;
    LinkWindow& window = rig.Shown();
    SendKey(window.focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.result(), QDialog::Rejected);
  }
  {
    WindowRig rig;
    LinkWindow& window = rig.Shown();
    window.close();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.result(), QDialog::Rejected);
  }
  {
    WindowRig rig;
    LinkWindow& window = rig.Shown();
    QWidget* lpt2 = ControlById(window, kLpt2Id);
    lpt2->setFocus();
    ASSERT_EQ(window.focusWidget(), lpt2);
    SendKey(lpt2, Qt::Key_Return);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_TRUE(rig.dialogs.messages.empty());
  }
}

TEST(LinkWindowClosing, EnterPressesTheFocusedPushButtonAndKeepsTheWindow) {
  const struct {
    int id;
    const char* title;
  } cases[] = {{1032, "Test Link Status"}, {1001, "Save Status"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    WindowRig rig;
    LinkWindow& window = rig.Shown();
    // Passing through a port button must not leave a default button behind for Enter.
    ControlById(window, kLpt1Id)->setFocus();
    QWidget* button = ControlById(window, c.id);
    button->setFocus();
    ASSERT_EQ(window.focusWidget(), button);
    for (const QPushButton* any : window.findChildren<QPushButton*>()) {
      EXPECT_FALSE(any->isDefault()) << any->objectName().toStdString();
    }
    SendKey(button, Qt::Key_Return);
    EXPECT_TRUE(window.isVisible());
    ASSERT_EQ(rig.dialogs.messages.size(), c.id == 1032 ? 3u : 1u);
    EXPECT_EQ(rig.dialogs.messages[0].title, c.title);
  }
}

TEST(LinkWindowClosing, DestructionDrivesTheLinesLowOnTheLastPortAndWaitsTwoSeconds) {
  const struct {
    int portButton;  // 0: none pressed
    std::uint16_t dataPort;
  } cases[] = {{0, 0x378}, {1028, 0x3BC}, {1027, 0x278}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dataPort);
    WindowRig rig;
    LinkWindow& window = rig.Shown();
    if (c.portButton != 0) Button(window, c.portButton)->click();
    window.close();
    EXPECT_TRUE(rig.port.writes.empty());  // closing alone writes nothing yet
    const std::int64_t before = rig.counter.Now();
    rig.Destroy();
    EXPECT_EQ(rig.port.writes,
              (std::vector<std::pair<std::uint16_t, std::uint8_t>>{{c.dataPort, 0}}));
    EXPECT_GE(rig.counter.Now() - before, 2'000'000'000);
  }
}

TEST(LinkWindowClosing, DestructionKeepsTheLatchBitsItDoesNotOwn) {
  WindowRig rig;
  // A transfer that ends in a sync timeout leaves the data line high; the last byte written
  // before the destruction then still carries it.
  LinkWindow& window = rig.Shown();
  Button(window, kStartTransferId)->click();
  ASSERT_FALSE(rig.port.writes.empty());
  EXPECT_EQ(window.Port().OutputLatch & LinkDataOut, LinkDataOut);
  const std::size_t before = rig.port.writes.size();
  rig.Destroy();
  ASSERT_EQ(rig.port.writes.size(), before + 1);
  EXPECT_EQ(rig.port.writes.back(), (std::pair<std::uint16_t, std::uint8_t>{0x378, 0}));
}

// ---- Minimised painting ----------------------------------------------------------------------

TEST(LinkWindowPainting, LitLampShowsItsColourAndADarkOneDoesNot) {
  WindowRig rig;
  LinkWindow& window = rig.Shown();
  window.SetLamp(Lamp::ErrorLamp, true);
  const QImage image = window.grab().toImage();
  ASSERT_FALSE(image.isNull());
  // The lit error lamp shows its red in the middle.
  const QRect lamp = ControlById(window, kErrorLampId)->geometry();
  const QColor centre = image.pixelColor(lamp.center());
  EXPECT_GT(centre.red(), 150);
  EXPECT_LT(centre.green(), 120);
  window.SetLamp(Lamp::ErrorLamp, false);
  const QColor dark = window.grab().toImage().pixelColor(lamp.center());
  EXPECT_LT(dark.red(), 120);
}

TEST(LinkWindowPainting, MinimisedWindowPaintsItsIconCentred) {
  WindowRig rig;
  LinkWindow& window = rig.Shown();
  // The window's own painting only, without its controls: what a minimised window shows.
  const auto ownPainting = [&window] {
    QImage image(window.size(), QImage::Format_ARGB32);
    image.fill(Qt::magenta);
    window.render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground);
    return image;
  };
  const QImage icon =
      window.Icon().pixmap(QSize(32, 32)).toImage().convertToFormat(QImage::Format_ARGB32);
  ASSERT_EQ(icon.size(), QSize(32, 32));
  const QPoint at = IconPosition(window.width(), window.height(), 32, 32);

  const auto countIconPixels = [&](const QImage& painted) {
    int matching = 0;
    int opaque = 0;
    for (int y = 0; y < 32; ++y) {
      for (int x = 0; x < 32; ++x) {
        const QRgb want = icon.pixel(x, y);
        if (qAlpha(want) != 255) continue;
        ++opaque;
        if (painted.pixel(at.x() + x, at.y() + y) == want) ++matching;
      }
    }
    return std::pair{matching, opaque};
  };

  const auto [normalMatches, opaque] = countIconPixels(ownPainting());
  ASSERT_GT(opaque, 100);
  EXPECT_LT(normalMatches, opaque / 2);  // not minimised: no icon, just the background

  window.showMinimized();
  ASSERT_TRUE(window.isMinimized());
  const auto [minimisedMatches, total] = countIconPixels(ownPainting());
  EXPECT_EQ(minimisedMatches, total);
}

}  // namespace
}  // namespace fennow
