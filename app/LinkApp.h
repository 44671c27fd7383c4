#pragma once

#include "app/WindowPlatform.h"

namespace fennow {

// The application: runs the main window once, modally, and ends.
class LinkApp {
 public:
  explicit LinkApp(WindowPlatform& platform) : platform_(platform) {}

  // Builds the window, runs it until it is closed (however it ends), destroys it, which idles the
  // lead for two seconds, and returns false: there is no message loop after the window.
  bool InitInstance();

 private:
  WindowPlatform& platform_;
};

}  // namespace fennow
