// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>

#include "link/Counter.h"
#include "link/FrontEnd.h"
#include "ports/PortDirectory.h"

class QWidget;

namespace fennow {

// What the user chose when closing the window with captures never saved.
enum class UnsavedChoice { Save, Discard, Cancel };

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
  // Asked when the window closes while `unsaved` captures of the run were never saved.
  virtual UnsavedChoice AskUnsaved(QWidget* owner, std::size_t unsaved) = 0;
};

// Everything outside the process that the window reaches. The window keeps references only, so
// each piece must outlive it.
struct WindowPlatform {
  // The ports the choices reach, opened for each operation: the machine's parallel ports and USB
  // adapters in the program, the simulated Game Boy's lead in the simulator.
  PortDirectory& ports;
  Counter& counter;
  DialogHost& dialogs;
  KeySource& keys;
};

}  // namespace fennow
