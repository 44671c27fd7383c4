// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/Delay.h"

#include <algorithm>
#include <limits>
#include <string>

#include "link/FrontEnd.h"

namespace fennow {

namespace {

constexpr std::int64_t kMicrosPerSecond = 1'000'000;
// How long a sleep lasts at most before the front end runs again: a frame at 60 Hz.
constexpr std::int64_t kRestSliceUs = 16'000;

// Ticks on `counter` since `start`, taken modulo 2^64: no two counts are too far apart.
std::int64_t Elapsed(Counter& counter, std::int64_t start) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(counter.Count()) -
                                   static_cast<std::uint64_t>(start));
}

// ceil(n x f / 1e6) for n > 0 and f > 0, without a 64-bit product: f = q x 1e6 + r, and n x r
// stays below 2^31 x 1e6. A count past what 64 bits hold saturates: such a wait never ends.
std::int64_t TicksFor(std::int32_t n, std::int64_t frequency) {
  if (n <= 0) return 0;
  const std::int64_t q = frequency / kMicrosPerSecond;
  const std::int64_t r = frequency % kMicrosPerSecond;
  const std::int64_t fraction = (n * r + kMicrosPerSecond - 1) / kMicrosPerSecond;
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  if (q > (kMax - fraction) / n) return kMax;
  return n * q + fraction;
}

}  // namespace

void Delay::DelayMicroseconds(std::int32_t n) {
  const std::int64_t frequency = counter_.Frequency();
  const std::int64_t start = counter_.Count();
  // Without a frequency the elapsed time cannot be computed; rather than divide by zero or
  // spin for ever, the wait ends at once. CheckTimer has already told the user.
  if (frequency <= 0) return;
  // The wait is over once elapsed ticks x 1e6 / f, truncated, reaches n: exactly when the
  // elapsed ticks reach ceil(n x f / 1e6). Worked out once, the loop only compares, and a
  // counter that jumped hours ahead (the process was stopped) ends the wait instead of
  // overflowing a product into a negative time.
  const std::int64_t needed = TicksFor(n, frequency);
  if (n >= kRestFromUs) Rest(start, needed, frequency);
  while (Elapsed(counter_, start) < needed) {
  }
}

void Delay::Rest(std::int64_t start, std::int64_t needed, std::int64_t frequency) {
  if (ui_ != nullptr) ui_->WhileWaiting();
  if (!counter_.Sleeps()) return;
  const std::int64_t slice = TicksFor(kRestSliceUs, frequency);
  for (;;) {
    const std::int64_t elapsed = Elapsed(counter_, start);
    const std::int64_t left = needed - elapsed;
    if (left <= 0) return;
    const std::int64_t step = std::min(left, slice);
    counter_.SleepUntil(static_cast<std::int64_t>(static_cast<std::uint64_t>(start) +
                                                  static_cast<std::uint64_t>(elapsed + step)));
    if (step == left) return;
    if (ui_ != nullptr) ui_->WhileWaiting();
  }
}

void Delay::DelayMilliseconds(std::int32_t n) {
  DelayMicroseconds(MillisecondsAsMicroseconds(n));
}

void CheckTimer(Counter& counter, WindowServices& ui) {
  if (counter.Frequency() <= 0) {
    ui.ShowMessage(std::string(kTimerWarning), std::string(kTimerTitle), MessageStyle::MB_ICONSTOP);
  }
}

}  // namespace fennow
