// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "link/Counter.h"

namespace fennow {

class WindowServices;

// n milliseconds as microseconds, the product taken in 32-bit arithmetic and wrapping like it.
constexpr std::int32_t MillisecondsAsMicroseconds(std::int32_t ms) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(ms) * 1000u);
}

// Waits on the counter. A wait shorter than a millisecond (the link's 2 us half-bits) is a
// busy-wait: a sleep would stretch it to the scheduler's tick. A longer one lets the front end do
// its work between the link's timed steps, then sleeps until shortly before its end (on a
// counter that can) and busy-waits the rest, so that it ends on time and the processor rests.
class Delay {
 public:
  // Waits of at least this long let the front end run and sleep.
  static constexpr std::int32_t kRestFromUs = 1000;

  explicit Delay(Counter& counter) : counter_(counter) {}

  // Returns once at least n microseconds have passed; n <= 0 returns after one reading.
  void DelayMicroseconds(std::int32_t n);
  // n x 1000 microseconds, the product taken in 32-bit arithmetic.
  void DelayMilliseconds(std::int32_t n);

  Counter& counter() { return counter_; }

  // The front end that runs while a long wait lasts (WindowServices::WhileWaiting); null for
  // none. An operation sets its own for as long as it runs (FrontEndWaits).
  void SetFrontEnd(WindowServices* ui) { ui_ = ui; }

 private:
  // The long wait's rest: the front end first, then sleeps, in slices that let the front end run
  // again, until shortly before `needed` ticks after `start`.
  void Rest(std::int64_t start, std::int64_t needed, std::int64_t frequency);

  Counter& counter_;
  WindowServices* ui_ = nullptr;
};

// For the life of an operation, the long waits of `delay` let `ui` run.
class FrontEndWaits {
 public:
  FrontEndWaits(Delay& delay, WindowServices& ui) : delay_(delay) { delay_.SetFrontEnd(&ui); }
  ~FrontEndWaits() { delay_.SetFrontEnd(nullptr); }
  FrontEndWaits(const FrontEndWaits&) = delete;
  FrontEndWaits& operator=(const FrontEndWaits&) = delete;

 private:
  Delay& delay_;
};

// Warns, once per call, when the counter reports no frequency; the caller goes on either way.
void CheckTimer(Counter& counter, WindowServices& ui);

}  // namespace fennow
