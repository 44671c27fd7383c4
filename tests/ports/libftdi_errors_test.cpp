// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "ports/usb/LibFtdiErrors.h"

namespace fennow {
namespace {

// The codes and words below are typed from libftdi 1.5's src/ftdi.c (ftdi_usb_open_dev,
// ftdi_usb_open_bus_addr, ftdi_read_data, ftdi_set_latency_timer, ftdi_usb_get_strings2) and
// libusb 1.0's enum libusb_error, not taken from the code under test. A transfer cut off by an
// unplug fails with LIBUSB_ERROR_NO_DEVICE while the device may still answer nothing else to the
// contrary: its own code decides.
TEST(LibFtdiErrors, EachFailureReadsAsTheLibrariesMeanIt) {
  const struct {
    FtdiCall call;
    int code;
    const char* text;
    int openCode;
    bool answers;
    ChipError error;
    const char* said;
  } cases[] = {
      {FtdiCall::Open, -4, "libusb_open() failed", -3, true, ChipError::PermissionDenied,
       "libusb_open() failed: LIBUSB_ERROR_ACCESS"},
      {FtdiCall::Open, -4, "libusb_open() failed", -4, true, ChipError::NotFound,
       "libusb_open() failed: LIBUSB_ERROR_NO_DEVICE"},
      {FtdiCall::Open, -4, "libusb_open() failed", -6, true, ChipError::Busy,
       "libusb_open() failed: LIBUSB_ERROR_BUSY"},
      {FtdiCall::Open, -4, "libusb_open() failed", -99, true, ChipError::IoError,
       "libusb_open() failed: LIBUSB_ERROR_OTHER"},
      {FtdiCall::Open, -3, "device not found", 0, true, ChipError::NotFound, "device not found"},
      {FtdiCall::Open, -3,
       "unable to set usb configuration. Make sure the default FTDI driver is not in use", 0, true,
       ChipError::Busy,
       "unable to set usb configuration. Make sure the default FTDI driver is not in use"},
      {FtdiCall::Open, -5,
       "unable to claim usb device. Make sure the default FTDI driver is not in use", 0, true,
       ChipError::Busy,
       "unable to claim usb device. Make sure the default FTDI driver is not in use"},
      {FtdiCall::Open, -8, "inappropriate permissions on device!", 0, true,
       ChipError::PermissionDenied, "inappropriate permissions on device!"},
      {FtdiCall::Open, -6, "ftdi_usb_reset failed", 0, true, ChipError::IoError,
       "ftdi_usb_reset failed"},
      {FtdiCall::Transfer, -1, "usb bulk write failed", 0, true, ChipError::IoError,
       "usb bulk write failed: LIBUSB_ERROR_IO"},
      {FtdiCall::Transfer, -4, "usb bulk write failed", 0, true, ChipError::NotFound,
       "usb bulk write failed: LIBUSB_ERROR_NO_DEVICE"},
      {FtdiCall::Transfer, -4, "usb bulk read failed", 0, true, ChipError::NotFound,
       "usb bulk read failed: LIBUSB_ERROR_NO_DEVICE"},
      {FtdiCall::Transfer, -1, "usb bulk read failed", 0, false, ChipError::NotFound,
       "usb bulk read failed: LIBUSB_ERROR_IO"},
      {FtdiCall::Transfer, -9, "usb bulk read failed", 0, true, ChipError::IoError,
       "usb bulk read failed: LIBUSB_ERROR_PIPE"},
      {FtdiCall::Transfer, -7, "usb bulk read failed", 0, true, ChipError::IoError,
       "usb bulk read failed: LIBUSB_ERROR_TIMEOUT"},
      {FtdiCall::Setting, -2, "unable to set latency timer", 0, true, ChipError::IoError,
       "unable to set latency timer"},
      {FtdiCall::Setting, -2, "unable to set latency timer", 0, false, ChipError::NotFound,
       "unable to set latency timer"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.said);
    const ChipResult result = ChipResultOf({c.call, c.code, c.text, c.openCode, c.answers});
    EXPECT_EQ(result.error, c.error);
    EXPECT_EQ(result.text, c.said);
  }
}

// What reading the serial number gave: the serial; -9, a chip with none, still usable; -4, a
// chip that could not be opened, for the reason libusb gives.
TEST(LibFtdiErrors, AListingTellsAChipWithoutASerialFromOneThatCannotBeOpened) {
  const ChipListing named = ListingOf(0x0403, 0x6001, 3, 7, 0, "A50285BI", 0);
  EXPECT_EQ(named.serial, "A50285BI");
  EXPECT_TRUE(named.access.ok());
  EXPECT_EQ(named.bus, 3);
  EXPECT_EQ(named.address, 7);
  const ChipListing blank = ListingOf(0x0403, 0x6014, 3, 8, -9, "", 0);
  EXPECT_EQ(blank.serial, "");
  EXPECT_TRUE(blank.access.ok());
  const ChipListing locked = ListingOf(0x0403, 0x6001, 3, 9, -4, "", -3);
  EXPECT_EQ(locked.access.error, ChipError::PermissionDenied);
  EXPECT_EQ(locked.access.text, "libusb_open() failed: LIBUSB_ERROR_ACCESS");
  EXPECT_EQ(ListingOf(0x0403, 0x6001, 3, 9, -11, "", 0).access.error, ChipError::IoError);
}

}  // namespace
}  // namespace fennow
