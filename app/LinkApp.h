// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/WindowPlatform.h"

class QWidget;

namespace fennow {

// The application: runs the main window once, modally, and ends.
class LinkApp {
 public:
  explicit LinkApp(WindowPlatform& platform) : platform_(platform) {}

  // A window shown beside the main one for the whole run and usable while it runs: the simulator's
  // simulated Game Boy. The program itself has none.
  void SetCompanion(QWidget* companion) { companion_ = companion; }

  // Builds the window, runs it until it is closed (however it ends), destroys it, which idles the
  // lead for two seconds, and returns false: there is no message loop after the window.
  bool InitInstance();

 private:
  WindowPlatform& platform_;
  QWidget* companion_ = nullptr;
};

}  // namespace fennow
