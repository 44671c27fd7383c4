// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "link/Counter.h"
#include "ports/usb/ChipModels.h"
#include "ports/usb/FtdiChip.h"

namespace fennow {

// Nanoseconds on `counter` since `start`, a reading of it.
std::int64_t NsSince(Counter& counter, std::int64_t start);

// How fast the pins of a chip in bit-bang mode change, in updates a second per unit of the rate
// argument: as measured, and the chip's own rate the adapter takes it to run at.
struct PinRate {
  double measured = 0;
  double taken = 0;
};

// Measures it: pairs of streamed bursts at kMeasureRate that hold `pins`, timed on `counter`, so
// that the USB latency drops out. The chip must be set to kMeasureRate. A chip whose rate cannot
// be measured, or stands for none of the chip's rates (PerRateTakenFor), is a failure that says
// why.
ChipResult MeasurePinRate(FtdiChip& chip, Counter& counter, const UsbChipModel& model,
                          std::uint8_t pins, PinRate& rate);

}  // namespace fennow
