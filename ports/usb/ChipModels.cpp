// SPDX-License-Identifier: GPL-3.0-or-later
#include "ports/usb/ChipModels.h"

#include <algorithm>

namespace fennow {

int ExactRateAtMost(int wanted, int exactRates) {
  for (int rate = std::max(wanted, 1); rate > 1; --rate) {
    if (exactRates % rate == 0) return rate;
  }
  return 1;
}

double PerRateTakenFor(const UsbChipModel& model, double measured) {
  if (measured < kPerRateFloor) return 0;
  for (const double perRate : model.perRates) {
    if (perRate * kMeasureMargin >= measured) return perRate;
  }
  return 0;
}

const UsbChipModel* UsbChipOf(std::uint16_t product) {
  const auto found = std::find_if(kUsbChips.begin(), kUsbChips.end(),
                                  [&](const UsbChipModel& m) { return m.product == product; });
  return found != kUsbChips.end() ? &*found : nullptr;
}

}  // namespace fennow
