// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <memory>

#include "ports/usb/UsbAdapters.h"
#include "ports/usb/libftdi/LibFtdiChip.h"

// libftdi and libusb as they are, on whatever bus this machine has: nothing sits at bus 0, address
// 0, and the library says so in its own words.
namespace fennow {
namespace {

TEST(UsbAdapters, TheRealBusFindsNothingWhereNoDeviceSits) {
  const std::unique_ptr<FtdiBus> bus = MakeLibFtdiBus();
  for (const ChipListing& chip : bus->List(kFtdiVendor, 0x6001)) {
    EXPECT_EQ(chip.product, 0x6001);
    EXPECT_NE(chip.address, 0);
  }
  const FtdiBus::Opened opened = bus->Open(ChipListing{kFtdiVendor, 0x6001, {}, {}, 0, 0});
  EXPECT_EQ(opened.chip, nullptr);
  EXPECT_EQ(opened.result.error, ChipError::NotFound) << opened.result.text;
  EXPECT_EQ(opened.result.text, "device not found");
}

}  // namespace
}  // namespace fennow
