// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace fennow {

// The one source of time for every wait in the system: a free-running tick count and its rate.
// The program reads the monotonic clock; tests and the simulator substitute a virtual one.
class Counter {
 public:
  virtual ~Counter() = default;
  // Ticks per second, read afresh by every delay; 0 when the machine has no usable counter.
  virtual std::int64_t Frequency() = 0;
  virtual std::int64_t Count() = 0;

  // Whether SleepUntil lets the processor rest: a clock that moves only when it is read cannot.
  virtual bool Sleeps() const { return false; }
  // Sleeps until shortly before the count `until`, so that a busy-wait after it ends the wait on
  // time; a wake-up the system delays past `until` only makes the wait longer. Returns at once
  // when `until` is too close, or when the counter cannot sleep.
  virtual void SleepUntil(std::int64_t until) { static_cast<void>(until); }
};

// CLOCK_MONOTONIC in nanoseconds: never steps back. It sleeps on the same clock with an absolute
// deadline, a timer slack of a microsecond, and a margin before the deadline that follows how late
// its own wake-ups come.
class MonotonicCounter final : public Counter {
 public:
  std::int64_t Frequency() override;
  std::int64_t Count() override;
  bool Sleeps() const override { return true; }
  void SleepUntil(std::int64_t until) override;

  // How long before a deadline a sleep ends now, in nanoseconds.
  std::int64_t MarginNs() const { return marginNs_; }

 private:
  std::int64_t marginNs_ = 100'000;
  bool slackSet_ = false;
};

}  // namespace fennow
