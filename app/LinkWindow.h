// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QIcon>
#include <QImage>
#include <array>
#include <string>

#include "app/DialogUnits.h"
#include "app/WindowPlatform.h"
#include "capture/CaptureRoll.h"
#include "capture/CaptureStore.h"
#include "export/ScreenPng.h"
#include "link/FrontEnd.h"
#include "link/LinkSession.h"
#include "ports/ChosenPort.h"

class QAbstractButton;
class QButtonGroup;
class QLabel;
class QMenu;
class QProgressBar;

namespace fennow {

class CapturesWindow;
class LampButton;

// The main window and the owner of all run-time state: the chosen port with its latch, the last
// capture, the last save path and the icon. Every operation behind a button runs to completion
// inside its click, on the one thread, and talks back through the WindowServices below.
class LinkWindow final : public QDialog, public WindowServices {
  Q_OBJECT

 public:
  // A top-level application window with no parent and no transient owner, so that it has its own
  // task bar entry; it ends the run when it closes. It starts on what LPT1 reaches.
  explicit LinkWindow(WindowPlatform& platform);
  // Drives the clock and data lines low on the port chosen last and holds them there for two
  // seconds, so the Game Boy sees the lead go idle before the program lets go of the port.
  ~LinkWindow() override;

  LinkWindow(const LinkWindow&) = delete;
  LinkWindow& operator=(const LinkWindow&) = delete;

  void SetLamp(Lamp lamp, bool on) override;
  void SetProgress(std::int32_t position) override;
  void ShowMessage(const std::string& text, const std::string& title, MessageStyle style) override;
  // A key waiting in the terminal the program was started from, or Escape pressed in the window
  // (or its close box) since the operation began.
  bool KeyPressed() override;
  SaveAnswer RunSaveDialog(const SaveRequest& request) override;
  // Delivers the window's events: it repaints, answers the desktop and takes Escape. Every button
  // is unavailable meanwhile, so no second operation can start.
  void WhileWaiting() override;

  // Whether an operation on the lead is running.
  bool Busy() const { return busy_; }

  // First-time set-up, run once just before the window first shows: the About entry, the icon,
  // LPT1 shown chosen, the timer check and the focus on Start Transfer.
  void OnInitDialog();
  // The window menu's commands: About (any ID in 0x10..0x1F), else the standard ones.
  void OnSysCommand(unsigned commandId);

  // The stand-in for the system menu, shown by a right click on the window or Alt+Space.
  QMenu& SystemMenu() const { return *systemMenu_; }
  DialogBaseUnits BaseUnits() const { return units_; }

  const LinkPort& Port() const { return link_.port; }
  const CaptureStore& Capture() const { return capture_; }
  // Every capture of the run that came whole, newest first.
  const CaptureRoll& Captures() const { return roll_; }
  // The Captures window, opened if it is not (a click on the picture, or the window menu).
  CapturesWindow& OpenCaptures();
  const std::string& LastSavePath() const { return SavePath; }
  const QIcon& Icon() const { return WindowIcon; }

  void setVisible(bool visible) override;
  // Every way the window ends comes here: with captures of the run never saved it asks first
  // (Save, Discard or Cancel); while an operation runs it stops that first.
  void reject() override;
  void accept() override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void changeEvent(QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // One row of the routing table: a notification from a control, and the operation it runs.
  enum class Notification { Clicked };
  struct CommandRoute {
    Notification notification;
    int controlId;
    void (LinkWindow::*operation)();
  };
  static const std::array<CommandRoute, 8> kCommandRoutes;

  void OnStartTransfer();
  void OnLpt1();
  void OnLpt2();
  void OnLpt3();
  void OnTest();
  void OnScreenFormat();
  void OnRawDataFormat();
  void OnMathcadFormat();

  void DefaultSysCommand(unsigned commandId);
  // Readies the chosen port for an operation and gives the link what it reached; after it, lets
  // go of it, so that a printer on the same port can print between operations.
  void ReachChosen();
  void ReleaseChosen();
  // Runs an operation on the lead with every button unavailable; a close asked for meanwhile
  // stops it, and closes the window once it has ended.
  template <typename Operation>
  void RunOperation(Operation operation);
  // Saves `store` as the Save to Disk button `buttonId` does; true once it is written.
  bool SaveAs(const CaptureStore& store, int buttonId);
  // Saves what the main window's button `buttonId` saves: the latest capture.
  void SaveLatest(int buttonId);
  // False when the user chose to keep the window open; unsaved captures asked about first.
  bool MayClose();
  void Choose(PortChoice choice);
  // The picture shows the last capture, or the idle picture when there is none.
  void ShowCapture();
  void BindRoutes();

  WindowPlatform& platform_;
  LinkSession link_;
  ChosenPort chosen_;
  bool reached_ = false;  // the link holds what the chosen port was reached as
  PortNotices notices_;
  CaptureStore capture_;
  CaptureRoll roll_;
  CapturesWindow* captures_ = nullptr;
  std::string SavePath;
  ScreenLook screenLook_;  // the PNG's scale and colours, as the save dialog was last left
  QIcon WindowIcon;

  DialogBaseUnits units_{};
  std::array<LampButton*, 4> lamps_{};
  QProgressBar* progress_ = nullptr;
  QButtonGroup* ports_ = nullptr;
  QAbstractButton* startTransfer_ = nullptr;
  QLabel* picture_ = nullptr;
  QImage idlePicture_;
  QMenu* systemMenu_ = nullptr;
  bool initialised_ = false;
  bool busy_ = false;           // an operation on the lead is running
  bool stopAsked_ = false;      // Escape or the close box, since it began
  bool closeWhenDone_ = false;  // the close box, since it began
};

}  // namespace fennow
