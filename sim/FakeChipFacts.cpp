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

ChipResult SettingFailed(Setting setting, bool answers) {
  for (const SettingFailure& f : kSettingFailures) {
    if (f.setting == setting) {
      return ChipResultOf({FtdiCall::Setting, f.code, f.text, libusb::kSuccess, answers});
    }
  }
  return {};
}

ChipResult WriteFailed(int code, bool answers) {
  return ChipResultOf({FtdiCall::Transfer, code, kWriteFailed, libusb::kSuccess, answers});
}

ChipResult ReadFailed(int code, bool answers) {
  return ChipResultOf({FtdiCall::Transfer, code, kReadFailed, libusb::kSuccess, answers});
}

ChipResult NotOnBus() {
  return ChipResultOf({FtdiCall::Open, -3, "device not found", libusb::kSuccess, false});
}

}  // namespace fennow::fake_chip
