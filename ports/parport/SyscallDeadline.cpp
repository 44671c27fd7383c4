// SPDX-License-Identifier: GPL-3.0-or-later
#include "ports/parport/SyscallDeadline.h"

#include <pthread.h>
#include <unistd.h>

namespace fennow {

namespace {

// Does nothing: its only purpose is that the signal is handled without SA_RESTART, so the
// interrupted call returns EINTR instead of being restarted by the kernel.
void Interrupt(int) {}

}  // namespace

SyscallDeadline::SyscallDeadline(std::chrono::milliseconds after) {
  struct sigaction action {};
  action.sa_handler = Interrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  sigaction(SIGALRM, &action, &savedAction_);
  sigset_t unblock;
  sigemptyset(&unblock);
  sigaddset(&unblock, SIGALRM);
  pthread_sigmask(SIG_UNBLOCK, &unblock, &savedMask_);

  // Aimed at this thread alone: in a program with other threads (Qt's), a process-wide alarm
  // could land on one that is not waiting.
  sigevent event{};
  event.sigev_notify = SIGEV_THREAD_ID;
  event.sigev_signo = SIGALRM;
  event._sigev_un._tid = gettid();
  if (timer_create(CLOCK_MONOTONIC, &event, &timer_) != 0) return;
  created_ = true;
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(after);
  itimerspec when{};
  when.it_value.tv_sec = static_cast<time_t>(seconds.count());
  when.it_value.tv_nsec = static_cast<long>(std::chrono::nanoseconds(after - seconds).count());
  timer_settime(timer_, 0, &when, nullptr);
}

SyscallDeadline::~SyscallDeadline() {
  if (created_) timer_delete(timer_);
  // A signal from a timer that fired after the call returned has been handled by now: it was
  // aimed at this thread, which has not blocked it.
  pthread_sigmask(SIG_SETMASK, &savedMask_, nullptr);
  sigaction(SIGALRM, &savedAction_, nullptr);
}

}  // namespace fennow
