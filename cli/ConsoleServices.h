// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <ostream>

#include "link/FrontEnd.h"

namespace fennow {

// The window services of a run from the terminal. The lamps show nothing; the progress is a bar,
// drawn only when the stream is a terminal; every message goes to the same stream, in order, as
// its text alone: the icons cannot tell a failure (the lead test's "Loop Back Detected OK" has a
// warning's), and the exit status says how the run went. The key poll looks at the terminal as in
// the window. There is no save dialog: the command line names its files.
class ConsoleServices final : public WindowServices {
 public:
  // `err`: standard error, which leaves standard output to what a command reports.
  ConsoleServices(std::ostream& err, KeySource& keys, bool drawBar)
      : err_(err), keys_(keys), drawBar_(drawBar) {}
  ~ConsoleServices() override { EndBar(); }

  void SetLamp(Lamp, bool) override {}
  void SetProgress(std::int32_t position) override;
  void ShowMessage(const std::string& text, const std::string& title, MessageStyle style) override;
  bool KeyPressed() override { return keys_.KeyWaiting(); }
  SaveAnswer RunSaveDialog(const SaveRequest&) override { return {}; }

  // Moves off the bar's line, if one is drawn, so that what follows starts a line of its own.
  void EndBar();

 private:
  std::ostream& err_;
  KeySource& keys_;
  bool drawBar_;
  bool barShown_ = false;
  int drawn_ = -1;  // the position last drawn
};

}  // namespace fennow
