// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/FakeChipFacts.h"

#include <algorithm>

namespace fennow::fake_chip {

const FakeChipModel& ModelOf(std::uint16_t product) {
  const auto found = std::find_if(kFakeChips.begin(), kFakeChips.end(),
                                  [&](const FakeChipModel& m) { return m.product == product; });
  return found != kFakeChips.end() ? *found : kFakeChips.front();
}

ChipResult Refusal(ChipError error) {
  for (const OpenRefusal& r : kRefusals) {
    if (r.error == error) return ChipResultOf({FtdiCall::Open, r.code, r.text, r.openCode});
  }
  return {};
}

ChipResult SettingGone(Setting setting) {
  for (const SettingFailure& f : kSettingFailures) {
    if (f.setting == setting) {
      return ChipResultOf({FtdiCall::Setting, f.code, f.text, libusb::kSuccess, false});
    }
  }
  return {};
}

ChipResult WriteFailed(bool onBus) {
  return ChipResultOf({FtdiCall::Write, -1, "usb bulk write failed", libusb::kSuccess, onBus});
}

ChipResult ReadGone() {
  return ChipResultOf({FtdiCall::Read, libusb::kNoDevice, "usb bulk read failed"});
}

ChipResult NotOnBus() {
  return ChipResultOf({FtdiCall::Open, -3, "device not found", libusb::kSuccess, false});
}

}  // namespace fennow::fake_chip
