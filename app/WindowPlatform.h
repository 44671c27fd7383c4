// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "link/Counter.h"
#include "link/PortIo.h"
#include "link/WindowServices.h"
#include "ports/PortDirectory.h"

class QWidget;

namespace fennow {

// The modal dialogs the window opens. The program shows real Qt dialogs; tests answer them from a
// script, so no test ever waits on a dialog that nobody will close.
class DialogHost {
 public:
  virtual ~DialogHost() = default;
  // One OK button; returns when it is dismissed. owner may still be hidden (the timer check runs
  // before the main window first shows).
  virtual void ShowMessage(QWidget* owner, const std::string& text, const std::string& title,
                           MessageStyle style) = 0;
  virtual SaveAnswer RunSaveDialog(QWidget* owner, const SaveRequest& request) = 0;
  // The About box, run to its end.
  virtual void RunAboutBox(QWidget* owner) = 0;
};

// "Is a key waiting?" for the transfer's key exit. Never waits and never takes the key.
class KeySource {
 public:
  virtual ~KeySource() = default;
  virtual bool KeyWaiting() = 0;
};

// Everything outside the process that the window reaches. The window keeps references only, so
// each piece must outlive it.
struct WindowPlatform {
  PortIo& port;
  // The ports the choices reach and whether the chosen one can be reached: the machine's parallel
  // ports in the program, the legacy addresses of the simulated Game Boy's lead in the simulator.
  PortDirectory& ports;
  Counter& counter;
  DialogHost& dialogs;
  KeySource& keys;
};

}  // namespace fennow
