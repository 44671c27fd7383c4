// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <unistd.h>

#include "app/WindowPlatform.h"

namespace fennow {

// The key poll of the transfer: looks at the terminal the program was started from, if any.
// While it holds the terminal, the terminal is out of line mode (and echo is off) so that a single
// key is visible at once; the poll only counts what is waiting and never reads it, so the key is
// still there for whoever reads next. The terminal's own settings come back when this object
// goes, at exit, on SIGINT, SIGTERM, SIGHUP and SIGQUIT (restored, then the signal goes on as
// before) and on a crash, SIGSEGV, SIGABRT, SIGBUS or SIGFPE (restored, then the default action,
// so a core dump is still written).
// Keys typed into the window are not terminal input and never count.
class TerminalKeys final : public KeySource {
 public:
  // fd: the terminal to poll. Without a terminal, or from a background job (which may not change
  // the terminal's settings), every poll answers false.
  explicit TerminalKeys(int fd = STDIN_FILENO);
  ~TerminalKeys() override;

  TerminalKeys(const TerminalKeys&) = delete;
  TerminalKeys& operator=(const TerminalKeys&) = delete;

  bool KeyWaiting() override;
  bool HasTerminal() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
  bool ownsSettings_ = false;
};

}  // namespace fennow
