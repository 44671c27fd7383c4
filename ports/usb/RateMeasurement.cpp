// SPDX-License-Identifier: GPL-3.0-or-later
#include "ports/usb/RateMeasurement.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "ports/usb/Wording.h"

namespace fennow {

namespace {

// `n` updates of `pins` streamed and read back, timed into `ns`; a burst that does not all come
// back within `limitMs` is the mark of a chip slower than any in bit-bang mode.
ChipResult TimedStream(FtdiChip& chip, Counter& counter, std::uint8_t pins, std::size_t n,
                       std::int64_t limitMs, std::int64_t& ns) {
  const std::vector<std::uint8_t> out(n, pins);
  std::vector<std::uint8_t> back(n);
  const std::int64_t start = counter.Count();
  ChipResult result =
      chip.Stream(out, back, static_cast<int>(limitMs), static_cast<int>(kStreamIdleMs));
  if (!result.ok()) return result;
  if (static_cast<std::size_t>(result.count) != n) {
    return {ChipError::IoError,
            "its pins change fewer than " + Fixed(kPerRateFloor, 0) +
                " times a second per unit of rate (" + ShortReply(result.count, n, limitMs) +
                "): it is not in bit-bang mode as expected",
            0};
  }
  ns = NsSince(counter, start);
  return {};
}

}  // namespace

std::int64_t NsSince(Counter& counter, std::int64_t start) {
  const auto ticks = static_cast<std::int64_t>(static_cast<std::uint64_t>(counter.Count()) -
                                               static_cast<std::uint64_t>(start));
  return static_cast<std::int64_t>(static_cast<double>(ticks) * 1e9 /
                                   static_cast<double>(counter.Frequency()));
}

// Each burst is the quickest of three tries: both of a pair wait out the same USB round trip and
// the same latency timer at their end, so their difference is the time the extra updates took at
// the pins. Streamed, so that the longer burst is not held to what the chip may have outstanding.
ChipResult MeasurePinRate(FtdiChip& chip, Counter& counter, const UsbChipModel& model,
                          std::uint8_t pins, PinRate& rate) {
  constexpr std::size_t kSmall = 32;
  constexpr double kFirstPairSlack = 1.5;
  constexpr int kTries = 3;
  std::size_t large = 128;
  for (bool first = true;; first = false) {
    const auto limitMs = static_cast<std::int64_t>(
        static_cast<double>(large) * 1000 / (kPerRateFloor * kMeasureRate) + kRoundTripLimitMs);
    std::int64_t small = -1;
    std::int64_t long_ = -1;
    for (int i = 0; i < kTries; ++i) {
      std::int64_t s = 0;
      std::int64_t l = 0;
      if (ChipResult timed = TimedStream(chip, counter, pins, kSmall, limitMs, s); !timed.ok()) {
        return timed;
      }
      if (ChipResult timed = TimedStream(chip, counter, pins, large, limitMs, l); !timed.ok()) {
        return timed;
      }
      small = small < 0 ? s : std::min(small, s);
      long_ = long_ < 0 ? l : std::min(long_, l);
    }
    if (long_ <= small) {
      return {ChipError::IoError,
              "its pin rate could not be measured: " + std::to_string(large) +
                  " updates took no longer than " + std::to_string(kSmall),
              0};
    }
    const double spanNs = static_cast<double>(long_ - small);
    const auto updates = static_cast<double>(large - kSmall);
    rate.measured = updates * 1e9 / spanNs / kMeasureRate;
    rate.taken = PerRateTakenFor(model, rate.measured);
    // The first pair may be a USB frame or two out; only the last decides.
    const bool outside =
        first ? rate.measured * kFirstPairSlack < kPerRateFloor ||
                    rate.measured / kFirstPairSlack > model.perRates.back() * kMeasureMargin
              : rate.taken == 0;
    if (outside) {
      return {ChipError::IoError,
              "its pins change " + Fixed(rate.measured, 1) +
                  " times a second per unit of rate, outside " + Fixed(kPerRateFloor, 0) + " to " +
                  Fixed(model.perRates.back(), 0) + ": it is not in bit-bang mode as expected",
              0};
    }
    if (!first || spanNs >= kMeasureSpanMs * 1e6) return {};
    large = kSmall + static_cast<std::size_t>(std::ceil(updates * kMeasureSpanMs * 1e6 / spanNs));
  }
}

}  // namespace fennow
