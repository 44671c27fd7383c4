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
};

// CLOCK_MONOTONIC in nanoseconds: never steps back, never sleeps.
class MonotonicCounter final : public Counter {
 public:
  std::int64_t Frequency() override;
  std::int64_t Count() override;
};

}  // namespace fennow
