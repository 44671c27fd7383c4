// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <signal.h>
#include <time.h>

#include <chrono>

namespace fennow {

// Interrupts the calling thread's blocking system call once `after` has passed, so that it fails
// with EINTR instead of sleeping on: ppdev's claim has no form that does not wait. While it
// exists, SIGALRM sent to this thread only interrupts; the previous handling is restored after.
// Where no timer can be set, the call waits as long as it waits.
class SyscallDeadline {
 public:
  explicit SyscallDeadline(std::chrono::milliseconds after);
  ~SyscallDeadline();
  SyscallDeadline(const SyscallDeadline&) = delete;
  SyscallDeadline& operator=(const SyscallDeadline&) = delete;

 private:
  bool created_ = false;
  timer_t timer_{};
  struct sigaction savedAction_ {};
  sigset_t savedMask_{};
};

}  // namespace fennow
