// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/Counter.h"

#include <time.h>

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

}  // namespace fennow
