// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/Counter.h"

#include <sys/prctl.h>
#include <time.h>

#include <algorithm>
#include <cerrno>

namespace fennow {

std::int64_t MonotonicCounter::Frequency() {
  timespec resolution{};
  // A clock coarser than a microsecond cannot time the 2 us half-bits: report it as missing.
  if (clock_getres(CLOCK_MONOTONIC, &resolution) != 0 || resolution.tv_sec != 0 ||
      resolution.tv_nsec > 1000) {
    return 0;
  }
  return 1'000'000'000;
}

std::int64_t MonotonicCounter::Count() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

namespace {

// The margin stays within these: a wake-up never comes earlier than asked, and one much later than
// a couple of milliseconds is the machine's load, which no margin would make up for.
constexpr std::int64_t kMinMarginNs = 10'000;
constexpr std::int64_t kMaxMarginNs = 2'000'000;
constexpr std::int64_t kMarginStepNs = 2'000;
// Linux lets a sleep end up to the thread's timer slack late, 50 us by default; a microsecond
// keeps the wake-up close to the deadline it was given.
constexpr unsigned long kTimerSlackNs = 1000;

}  // namespace

void MonotonicCounter::SleepUntil(std::int64_t until) {
  if (!slackSet_) {
    prctl(PR_SET_TIMERSLACK, kTimerSlackNs, 0, 0, 0);
    slackSet_ = true;
  }
  const std::int64_t wake = until - marginNs_;
  if (wake <= Count()) return;
  const timespec at{static_cast<time_t>(wake / 1'000'000'000),
                    static_cast<long>(wake % 1'000'000'000)};
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
  }
  // The margin follows the 98th percentile of how late wake-ups come: up by as much as 49 steps
  // (never past the lateness seen) after a wake-up later than it, down by one after any other. Most
  // sleeps then end before their deadline and leave a short busy-wait; a rare late one makes its
  // wait that much longer.
  const std::int64_t late = Count() - wake;
  const std::int64_t step =
      late > marginNs_ ? std::min(49 * kMarginStepNs, late - marginNs_) : -kMarginStepNs;
  marginNs_ = std::clamp(marginNs_ + step, kMinMarginNs, kMaxMarginNs);
}

}  // namespace fennow
