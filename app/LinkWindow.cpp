// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/LinkWindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <algorithm>

#include "app/CapturePreview.h"
#include "app/CapturesWindow.h"
#include "app/DialogTemplates.h"
#include "app/LampButton.h"
#include "app/TemplateControls.h"
#include "app/WindowRules.h"
#include "capture/LeadTest.h"
#include "capture/Transfer.h"
#include "export/Exporters.h"
#include "link/Delay.h"
#include "link/LinkLines.h"
#include "link/Protocol.h"
#include "ports/PortSelection.h"

namespace fennow {

namespace {

// An application window rather than a dialog: window managers give a dialog no task bar button
// of its own. The hints keep the caption buttons to the close box, and exec() still runs it
// modally.
constexpr Qt::WindowFlags kFrameFlags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                        Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The five push buttons of the template, as opposed to the push-like port buttons and lamps.
bool IsPushButton(int id) {
  return std::any_of(kMainTemplate.begin(), kMainTemplate.end(), [id](const ControlTemplate& row) {
    return row.id == id && row.kind == ControlKind::PushButton;
  });
}

template <typename Control>
Control* Find(const QWidget& window, int id) {
  return qobject_cast<Control*>(ControlById(window, id));
}

}  // namespace

// Button presses reach their operation through these rows only. The window's other messages
// have no rows in Qt's scheme: the system commands arrive through OnSysCommand and painting
// through paintEvent. Qt asks no window for a drag icon; the window icon serves everywhere.
const std::array<LinkWindow::CommandRoute, 8> LinkWindow::kCommandRoutes{{
    {Notification::Clicked, kStartTransferId, &LinkWindow::OnStartTransfer},
    {Notification::Clicked, kLpt1Id, &LinkWindow::OnLpt1},
    {Notification::Clicked, kLpt2Id, &LinkWindow::OnLpt2},
    {Notification::Clicked, kTestId, &LinkWindow::OnTest},
    {Notification::Clicked, kScreenFormatId, &LinkWindow::OnScreenFormat},
    {Notification::Clicked, kRawDataFormatId, &LinkWindow::OnRawDataFormat},
    {Notification::Clicked, kMathcadFormatId, &LinkWindow::OnMathcadFormat},
    {Notification::Clicked, kLpt3Id, &LinkWindow::OnLpt3},
}};

LinkWindow::LinkWindow(WindowPlatform& platform)
    : QDialog(nullptr, kFrameFlags),
      platform_(platform),
      link_(platform.counter),
      chosen_{PortChoice::LPT1, TargetOf(platform.ports.Ports(), PortChoice::LPT1)},
      WindowIcon(QString::fromUtf8(kIconResource)) {
  PointPortAt(link_.port, chosen_.choice, chosen_.target);
  setWindowTitle(ToQString(kMainCaption));
  setFont(DialogFont());
  units_ = BaseUnitsOf(fontMetrics());
  setFixedSize(ToPixels(kMainSize, units_).size());

  CreateControls(*this, kMainTemplate, units_);
  for (std::size_t i = 0; i < lamps_.size(); ++i) lamps_[i] = Find<LampButton>(*this, kLampIds[i]);
  progress_ = Find<QProgressBar>(*this, kProgressId);
  startTransfer_ = Find<QAbstractButton>(*this, kStartTransferId);
  picture_ = findChild<QLabel*>(QStringLiteral("ScreenPicture"));
  if (picture_ != nullptr) {
    idlePicture_ = picture_->pixmap().toImage();
    // A click on the picture opens every capture of the run.
    picture_->installEventFilter(this);
    picture_->setCursor(Qt::PointingHandCursor);
    picture_->setToolTip(tr("Captures of this run"));
  }

  ports_ = new QButtonGroup(this);
  ports_->setExclusive(true);
  for (int id : {kLpt1Id, kLpt2Id, kLpt3Id}) {
    auto* button = Find<QAbstractButton>(*this, id);
    ports_->addButton(button, id);
    // Some styles draw a checked push button as they draw any other in a dark palette: the chosen
    // port is shown in the palette's highlight, which every theme sets apart.
    button->setStyleSheet(
        QStringLiteral("QPushButton:checked { background-color: palette(highlight); "
                       "color: palette(highlighted-text); border: 1px solid palette(dark); }"));
  }

  systemMenu_ = new QMenu(this);
  QAction* captures = systemMenu_->addAction(tr("C&aptures…"));
  captures->setData(kCapturesCommand);
  QAction* close = systemMenu_->addAction(tr("&Close"));
  close->setData(kCloseCommand);
  connect(systemMenu_, &QMenu::triggered, this,
          [this](QAction* action) { OnSysCommand(action->data().toUInt()); });

  BindRoutes();
  ShowCapture();
}

LinkWindow::~LinkWindow() {
  // Off the screen first: the two seconds below are the program's last, and nothing in them
  // repaints.
  hide();
  if (!reached_) link_.Use(*platform_.ports.Reach(chosen_.target).port);
  link_.lines.Clear(LinkClock | LinkDataOut);
  link_.delay.DelayMilliseconds(kCloseIdleMs);
}

void LinkWindow::BindRoutes() {
  for (const CommandRoute& route : kCommandRoutes) {
    auto* button = Find<QAbstractButton>(*this, route.controlId);
    if (button == nullptr) continue;
    switch (route.notification) {
      case Notification::Clicked:
        connect(button, &QAbstractButton::clicked, this,
                [this, operation = route.operation] { (this->*operation)(); });
        break;
    }
  }
}

void LinkWindow::changeEvent(QEvent* event) {
  if (event->type() == QEvent::PaletteChange) ShowCapture();
  QDialog::changeEvent(event);
}

void LinkWindow::setVisible(bool visible) {
  // Qt has no creation step between building the controls and showing them; the first show
  // is the moment the set-up belongs to, and the timer warning must come before the window.
  if (visible && !initialised_) OnInitDialog();
  QDialog::setVisible(visible);
}

void LinkWindow::OnInitDialog() {
  if (initialised_) return;
  initialised_ = true;

  systemMenu_->addSeparator();
  QAction* about = systemMenu_->addAction(ToQString(kAboutMenuText));
  about->setData(kAboutCommand);
  // Qt keeps one icon for the title bar, the task bar and the window list alike.
  setWindowIcon(WindowIcon);
  // Only the look: the port fields already hold what LPT1 reaches, and no message is due.
  ports_->button(kLpt1Id)->setChecked(true);
  CheckTimer(platform_.counter, *this);
  startTransfer_->setFocus(Qt::OtherFocusReason);
}

void LinkWindow::OnSysCommand(unsigned commandId) {
  if (OpensAboutBox(commandId)) {
    platform_.dialogs.RunAboutBox(this);
    return;
  }
  if (commandId == kCapturesCommand) {
    OpenCaptures();
    return;
  }
  DefaultSysCommand(commandId);
}

void LinkWindow::DefaultSysCommand(unsigned commandId) {
  switch (commandId & 0xFFF0u) {
    case kCloseCommand:
      close();  // a dialog turns its close into a cancel
      break;
    case kMinimiseCommand:
      showMinimized();
      break;
    case kRestoreCommand:
      showNormal();
      break;
    default:
      break;
  }
}

void LinkWindow::SetLamp(Lamp lamp, bool on) {
  const auto index = static_cast<std::size_t>(lamp);
  if (index >= lamps_.size()) return;
  lamps_[index]->setChecked(on);
  // repaint, not update: a transfer holds the thread for seconds and no event loop would run
  // to deliver a scheduled paint.
  lamps_[index]->repaint();
}

void LinkWindow::SetProgress(std::int32_t position) {
  // QProgressBar ignores a value outside its range instead of pinning it.
  progress_->setValue(std::clamp(position, progress_->minimum(), progress_->maximum()));
  progress_->repaint();
}

void LinkWindow::ShowMessage(const std::string& text, const std::string& title,
                             MessageStyle style) {
  platform_.dialogs.ShowMessage(this, text, title, style);
}

bool LinkWindow::KeyPressed() {
  return platform_.keys.KeyWaiting() || stopAsked_;
}

void LinkWindow::WhileWaiting() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

template <typename Operation>
void LinkWindow::RunOperation(Operation operation) {
  QWidget* focused = focusWidget();
  busy_ = true;
  stopAsked_ = closeWhenDone_ = false;
  const QList<QAbstractButton*> buttons = findChildren<QAbstractButton*>();
  for (QAbstractButton* button : buttons) button->setEnabled(false);
  operation();
  for (QAbstractButton* button : buttons) button->setEnabled(true);
  busy_ = false;
  if (focused != nullptr) focused->setFocus(Qt::OtherFocusReason);
  if (closeWhenDone_) close();
}

SaveAnswer LinkWindow::RunSaveDialog(const SaveRequest& request) {
  return platform_.dialogs.RunSaveDialog(this, request);
}

void LinkWindow::ReachChosen() {
  ReachChosenPort(chosen_, platform_.ports, notices_, *this, link_);
  reached_ = true;
}

void LinkWindow::ReleaseChosen() {
  ReleaseChosenPort(chosen_, platform_.ports, link_);
  reached_ = false;
}

void LinkWindow::OnStartTransfer() {
  RunOperation([this] {
    ReachChosen();
    if (StartTransfer(link_, *this, capture_) == TransferStatus::Success) roll_.Add(capture_);
    ReleaseChosen();
    ShowCapture();
    if (captures_ != nullptr) captures_->Refresh();
  });
}

void LinkWindow::ShowCapture() {
  if (picture_ == nullptr) return;
  // The idle picture is drawn dark on light; in a dark palette it is shown light on dark.
  QImage idle = idlePicture_;
  if (palette().color(QPalette::Window).lightness() < 128) idle.invertPixels();
  picture_->setPixmap(QPixmap::fromImage(CapturePreview(capture_, idle)));
}

void LinkWindow::Choose(PortChoice choice) {
  // The ports are looked up afresh, so a card or driver that arrived since is offered too. The
  // link lets go of the port it reached: the next operation reaches the new choice.
  link_.Use(NoPort());
  reached_ = false;
  chosen_ = {choice, SelectPort(link_.port, choice, platform_.ports.Ports(), *this)};
}
void LinkWindow::OnLpt1() {
  Choose(PortChoice::LPT1);
}
void LinkWindow::OnLpt2() {
  Choose(PortChoice::LPT2);
}
void LinkWindow::OnLpt3() {
  Choose(PortChoice::LPT3);
}
void LinkWindow::OnTest() {
  RunOperation([this] {
    ReachChosen();
    TestLink(link_, *this);
    ReleaseChosen();
  });
}
void LinkWindow::OnScreenFormat() {
  SaveLatest(kScreenFormatId);
}
void LinkWindow::OnRawDataFormat() {
  SaveLatest(kRawDataFormatId);
}
void LinkWindow::OnMathcadFormat() {
  SaveLatest(kMathcadFormatId);
}

void LinkWindow::reject() {
  if (busy_) {
    stopAsked_ = closeWhenDone_ = true;
    return;
  }
  if (MayClose()) QDialog::reject();
}

void LinkWindow::accept() {
  if (busy_) return;
  if (MayClose()) QDialog::accept();
}

bool LinkWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == picture_ && event->type() == QEvent::MouseButtonRelease && !busy_) {
    OpenCaptures();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void LinkWindow::paintEvent(QPaintEvent* event) {
  if (!isMinimized()) {
    QDialog::paintEvent(event);
    return;
  }
  // Where the window system asks a minimised window to paint itself, it shows as its icon.
  QPainter painter(this);
  painter.fillRect(rect(), palette().window());
  const int size = style()->pixelMetric(QStyle::PM_LargeIconSize, nullptr, this);
  const QPoint at = IconPosition(width(), height(), size, size);
  WindowIcon.paint(&painter, QRect(at, QSize(size, size)));
}

void LinkWindow::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
  if (busy_) {
    // While the lead is in use Escape stops the transfer, as a key in the terminal does; no other
    // key may start anything or end the window.
    if (key == Qt::Key_Escape) stopAsked_ = true;
    return;
  }
  if ((key == Qt::Key_Return || key == Qt::Key_Enter) && modifiers == Qt::NoModifier) {
    // Enter presses the focused push button; from any other control it ends the window, like OK.
    auto* focused = qobject_cast<QPushButton*>(focusWidget());
    if (focused != nullptr && IsPushButton(focused->property(kControlIdProperty).toInt())) {
      focused->click();
    } else {
      accept();
    }
    return;
  }
  if (key == Qt::Key_Space && modifiers == Qt::AltModifier) {
    systemMenu_->popup(mapToGlobal(QPoint(0, 0)));
    return;
  }
  QDialog::keyPressEvent(event);
}

void LinkWindow::contextMenuEvent(QContextMenuEvent* event) {
  if (busy_) return;  // its About box would hold the link's waits
  systemMenu_->exec(event->globalPos());
}

void LinkWindow::closeEvent(QCloseEvent* event) {
  if (!busy_) {
    QDialog::closeEvent(event);
    return;
  }
  // The lead is in use: stop the operation first; the window closes once it has ended.
  stopAsked_ = closeWhenDone_ = true;
  event->ignore();
}

}  // namespace fennow
