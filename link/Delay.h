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

// Busy-waits on the counter. Nothing here sleeps or yields: the 2 us half-bits of the link
// would otherwise stretch to the scheduler's tick.
class Delay {
 public:
  explicit Delay(Counter& counter) : counter_(counter) {}

  // Returns once at least n microseconds have passed; n <= 0 returns after one reading.
  void DelayMicroseconds(std::int32_t n);
  // n x 1000 microseconds, the product taken in 32-bit arithmetic.
  void DelayMilliseconds(std::int32_t n);

  Counter& counter() { return counter_; }

 private:
  Counter& counter_;
};

// Warns, once per call, when the counter reports no frequency; the caller goes on either way.
void CheckTimer(Counter& counter, WindowServices& ui);

}  // namespace fennow
