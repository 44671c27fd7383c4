// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>

namespace fennow {

inline constexpr std::uint16_t kFtdiVendor = 0x0403;

// What the adapter assumes of each chip. The rate is the argument libftdi is given once bit-bang
// mode is on (it multiplies it by 4 for the chip's baud generator). How often the pins then change
// is not well documented: the reports range from 4 to 80 updates a second per unit of that
// argument, as they take the chip's clock to be 1, 4 or 16 times the baud rate. So the adapter
// measures it when it opens the chip (OpenUsbAdapter) and takes the chip to run at the slowest of
// `perRates` the measurement allows: those three multiples, and twice the fastest as the most it
// takes for true (128 for the FT232R, 160 for the FT232H, whose clocks are 5/4 as fast). `rate`
// gives at most 3 M updates a second at the fastest report.
struct UsbChipModel {
  std::uint16_t product;
  const char* name;
  int rate;
  std::array<double, 4> perRates;
  // Bytes written and not yet read back, at most: the chip stalls when it has no room for the
  // readings, and drivers of the FT232R keep to 128. The FT232H's buffers are said to hold 1 KiB;
  // half of that still takes a whole high-speed packet.
  int maxOutstanding;
  // The rate arguments the chip's baud generator divides down to exactly are those that divide
  // this: its base clock (3 MHz on the FT232R; 12 MHz on the FT232H, as libftdi 1.5 sets it for
  // rates this high) in eighths, over libftdi's 4 (ftdi_to_clkbits in src/ftdi.c). The pins'
  // rate is then in proportion to the argument, so one measurement holds for every such rate.
  int exactRates;
};

inline constexpr std::array<UsbChipModel, 2> kUsbChips{{
    {0x6001, "FT232R", 46'875, {4, 16, 64, 128}, 128, 6'000'000},
    {0x6014, "FT232H", 37'500, {5, 20, 80, 160}, 512, 24'000'000},
}};

// The rate is measured at this argument, slow enough that even the fastest chip cannot outrun the
// bus, and fast enough that the slowest is measured in about a second: first with bursts of 32 and
// 128 updates, then, where those took less than kMeasureSpanMs apart, with a second burst long
// enough to take that long, so that a USB frame either way is 1 % of the difference.
inline constexpr int kMeasureRate = 100;
inline constexpr int kMeasureSpanMs = 150;
// Every hold is worked out with this margin over the rate the chip is taken to run at. A
// measurement that comes out low (a busy host stretches the longer bursts) only makes the chip be
// taken for one at a faster rate, which makes every hold longer, never shorter; one that comes out
// at most this much high is still taken for the rate it was at. So every hold lasts at least its
// time, whatever the measurement's noise, and for any true rate up to this much over the rate
// taken.
inline constexpr double kMeasureMargin = 1.03;
// Below this many updates a second per unit, the chip is not in bit-bang mode as it should be.
inline constexpr double kPerRateFloor = 2;
// The pins' rate while a payload streams, at most, as planned: each 2 us phase is then one update,
// and the readings and the bytes for the pins together take well under half of what a full-speed
// bus carries.
inline constexpr std::int64_t kStreamUpdates = 250'000;

// A whole reply takes a USB round trip, the time the chip needs to put its bytes out and at most
// one latency-timer period more: a few milliseconds on either chip. An adapter that has not
// brought the whole reply back after this long, in however many reads, has stopped answering.
// (A read that hangs ends in a USB timeout instead, which is an error.)
inline constexpr std::int64_t kRoundTripLimitMs = 20;

// A stream has stopped once nothing has come back for this long: while its pins run the chip sends
// readings at least every latency-timer period, and it stops them only while the host falls
// behind, which a host that is merely busy makes up for within a few tens of milliseconds.
inline constexpr std::int64_t kStreamIdleMs = 250;

// The rates measured at and used for round trips are exact on every chip.
constexpr bool RatesAreExact() {
  for (const UsbChipModel& model : kUsbChips) {
    if (model.exactRates % kMeasureRate != 0 || model.exactRates % model.rate != 0) return false;
  }
  return true;
}
static_assert(RatesAreExact());

// The fastest exact rate argument (one that divides `exactRates`) of at most `wanted`, and at
// least 1.
int ExactRateAtMost(int wanted, int exactRates);

const UsbChipModel* UsbChipOf(std::uint16_t product);

// The slowest of the chip's rates, per unit of the rate argument, that the measured one may stand
// for: 0 when it is faster than any, or below kPerRateFloor.
double PerRateTakenFor(const UsbChipModel& model, double measured);

// Updates of the pins that last at least `us` microseconds at `updatesPerSecond`.
constexpr int HoldUpdates(std::int32_t us, std::int64_t updatesPerSecond) {
  return static_cast<int>((static_cast<std::int64_t>(us) * updatesPerSecond + 999'999) / 1'000'000);
}

}  // namespace fennow
