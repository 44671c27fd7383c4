// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <memory>

#include "ports/usb/UsbAdapters.h"
#include "ports/usb/libftdi/LibFtdiChip.h"

// libftdi and libusb as they are, on whatever bus this machine has: no adapter here carries the
// serial number asked for, and the library says so in its own words.
namespace fennow {
namespace {

TEST(UsbAdapters, TheRealBusFindsNoSuchSerialNumber) {
  const std::unique_ptr<FtdiBus> bus = MakeLibFtdiBus();
  for (const ChipListing& chip : bus->List(kFtdiVendor, 0x6001)) {
    EXPECT_EQ(chip.product, 0x6001);
    EXPECT_EQ(chip.serial.empty(), !chip.access.ok());
  }
  const FtdiBus::Opened opened = bus->Open(kFtdiVendor, 0x6001, "FENNOW-NO-SUCH-ADAPTER");
  EXPECT_EQ(opened.chip, nullptr);
  EXPECT_EQ(opened.result.error, ChipError::NotFound) << opened.result.text;
  EXPECT_EQ(opened.result.text, "device not found");
}

}  // namespace
}  // namespace fennow
