// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "link/Counter.h"

namespace fennow {

// A clock that only moves when it is read: each reading advances it by one step. A busy-wait on
// it therefore ends after a bounded number of readings, and a transfer that takes seconds of
// protocol time takes milliseconds of test time. Now() looks without advancing, for observers
// (the simulated Game Boy's edge log) that must not disturb the timing they record.
class VirtualCounter final : public Counter {
 public:
  static constexpr std::int64_t kTicksPerSecond = 1'000'000'000;  // nanoseconds

  explicit VirtualCounter(std::int64_t stepNs = 1000) : step_(stepNs) {}

  std::int64_t Frequency() override { return frequency_; }
  std::int64_t Count() override {
    ++readings_;
    now_ += step_;
    if (readings_ == jumpAt_) now_ += jump_;
    return now_;
  }

  std::int64_t Now() const { return now_; }
  std::int64_t Readings() const { return readings_; }
  // 0 stands for a machine without a high-resolution counter.
  void SetFrequency(std::int64_t ticksPerSecond) { frequency_ = ticksPerSecond; }
  // Reading number `reading` (from 1) comes `ticks` later than the step alone would make it: the
  // process was stopped (Ctrl-Z, a debugger) between two readings.
  void JumpAtReading(std::int64_t reading, std::int64_t ticks) {
    jumpAt_ = reading;
    jump_ = ticks;
  }

 private:
  std::int64_t step_;
  std::int64_t now_ = 0;
  std::int64_t readings_ = 0;
  std::int64_t frequency_ = kTicksPerSecond;
  std::int64_t jumpAt_ = 0;
  std::int64_t jump_ = 0;
};

}  // namespace fennow
