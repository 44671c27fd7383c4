// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/TerminalKeys.h"

#include <sys/ioctl.h>
#include <termios.h>

#include <array>
#include <csignal>
#include <cstdlib>

namespace fennow {

namespace {

// After the terminal is restored, the first four go on to whatever handled them before; the
// crashes go to their default action, so that a core dump is still written.
constexpr std::array<int, 8> kRestoringSignals{SIGINT,  SIGTERM, SIGHUP, SIGQUIT,
                                               SIGSEGV, SIGABRT, SIGBUS, SIGFPE};

bool IsCrash(int signal) {
  return signal == SIGSEGV || signal == SIGABRT || signal == SIGBUS || signal == SIGFPE;
}

// What the handlers need, kept where a signal handler can reach it without a lock. Only one
// TerminalKeys at a time holds the terminal.
struct HeldTerminal {
  volatile std::sig_atomic_t held = 0;
  int fd = -1;
  termios original{};
  std::array<struct sigaction, kRestoringSignals.size()> previous{};
  std::array<bool, kRestoringSignals.size()> handled{};
};

HeldTerminal held;
bool exitHookRegistered = false;

// Async-signal-safe: tcsetattr is, and nothing else is called.
void RestoreTerminal() {
  if (held.held == 0) return;
  held.held = 0;
  // TCSANOW, not TCSAFLUSH: a key waiting in the input stays there for the shell.
  tcsetattr(held.fd, TCSANOW, &held.original);
}

extern "C" void RestoreAtExit() {
  RestoreTerminal();
}

// Async-signal-safe throughout: tcsetattr, sigaction and raise only.
extern "C" void RestoreAndReraise(int signal) {
  RestoreTerminal();
  if (IsCrash(signal)) {
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    sigaction(signal, &byDefault, nullptr);
  } else {
    for (std::size_t i = 0; i < kRestoringSignals.size(); ++i) {
      if (kRestoringSignals[i] == signal) sigaction(signal, &held.previous[i], nullptr);
    }
  }
  // Blocked until this handler returns, then delivered to whatever handled it before us. A real
  // fault (not a raised signal) needs no raise: returning re-runs the faulting instruction, which
  // faults again into the default action; the raise is harmless there.
  raise(signal);
}

void InstallHandlers() {
  for (std::size_t i = 0; i < kRestoringSignals.size(); ++i) {
    struct sigaction previous {};
    sigaction(kRestoringSignals[i], nullptr, &previous);
    held.previous[i] = previous;
    // A signal the process was told to ignore (nohup) stays ignored.
    held.handled[i] = previous.sa_handler != SIG_IGN;
    if (!held.handled[i]) continue;
    struct sigaction action {};
    action.sa_handler = RestoreAndReraise;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(kRestoringSignals[i], &action, nullptr);
  }
}

void RemoveHandlers() {
  for (std::size_t i = 0; i < kRestoringSignals.size(); ++i) {
    if (held.handled[i]) sigaction(kRestoringSignals[i], &held.previous[i], nullptr);
    held.handled[i] = false;
  }
}

// A process outside the terminal's foreground group is stopped by SIGTTOU when it changes the
// terminal's settings. tcgetpgrp fails on a terminal that is not our controlling one, where no
// such stop applies.
bool InBackground(int fd) {
  const pid_t foreground = tcgetpgrp(fd);
  return foreground != -1 && foreground != getpgrp();
}

}  // namespace

TerminalKeys::TerminalKeys(int fd) {
  if (fd < 0 || isatty(fd) == 0 || InBackground(fd)) return;
  fd_ = fd;
  // A second poller on the terminal another one already set up only counts.
  if (held.held != 0) return;

  termios original{};
  if (tcgetattr(fd, &original) != 0) {
    fd_ = -1;
    return;
  }
  held.fd = fd;
  held.original = original;
  InstallHandlers();
  if (!exitHookRegistered) {
    exitHookRegistered = std::atexit(RestoreAtExit) == 0;
  }
  held.held = 1;
  ownsSettings_ = true;

  termios keys = original;
  keys.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  keys.c_cc[VMIN] = 1;
  keys.c_cc[VTIME] = 0;
  if (tcsetattr(fd, TCSANOW, &keys) != 0) {
    held.held = 0;
    RemoveHandlers();
    ownsSettings_ = false;
  }
}

TerminalKeys::~TerminalKeys() {
  if (!ownsSettings_) return;
  RestoreTerminal();
  RemoveHandlers();
}

bool TerminalKeys::KeyWaiting() {
  if (fd_ < 0) return false;
  int waiting = 0;
  // Counts what the terminal holds without reading it.
  return ioctl(fd_, FIONREAD, &waiting) == 0 && waiting > 0;
}

}  // namespace fennow
