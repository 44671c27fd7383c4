// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "ports/usb/FtdiChip.h"

// How the adapter reads libftdi's and libusb's failures. The codes and words are libftdi 1.5's
// (src/ftdi.c, tag v1.5, as Debian's libftdi1 ships it) and libusb 1.0's (libusb.h); the real
// chip (ports/usb/libftdi/) and the simulated one both hand their raw failures to these, so the
// simulated chip can fail as the library does and be read the same way.
namespace fennow {

// libusb's error codes (enum libusb_error), which libftdi passes on from a failed read.
namespace libusb {
inline constexpr int kSuccess = 0;
inline constexpr int kIo = -1;
inline constexpr int kInvalidParam = -2;
inline constexpr int kAccess = -3;
inline constexpr int kNoDevice = -4;
inline constexpr int kNotFound = -5;
inline constexpr int kBusy = -6;
inline constexpr int kTimeout = -7;
inline constexpr int kPipe = -9;
}  // namespace libusb

// "LIBUSB_ERROR_ACCESS" and so on; "LIBUSB_ERROR_OTHER" for a code libusb does not have.
const char* LibusbErrorName(int code);

// The calls the adapter makes, by how their failures read.
enum class FtdiCall {
  Open,      // ftdi_usb_open_bus_addr (through ftdi_usb_open_dev)
  Setting,   // ftdi_set_bitmode, ftdi_set_baudrate, ftdi_[gs]et_latency_timer, ftdi_tciflush
  Transfer,  // a bulk transfer: ftdi_read_data, or libusb's own for writes and streams
};

// The words of a failed bulk transfer, before libusb's name for its code.
inline constexpr const char* kWriteFailed = "usb bulk write failed";
inline constexpr const char* kReadFailed = "usb bulk read failed";

// A failed call as the library reported it.
struct LibFtdiFailure {
  FtdiCall call = FtdiCall::Open;
  int code = 0;      // libftdi's return value; for a transfer, libusb's own code
  std::string text;  // ftdi_get_error_string, or which transfer failed
  // libusb's own code for opening the device, found out afresh after libftdi's -4 ("libusb_open()
  // failed"), which says no more than that: access, gone or busy.
  int openCode = libusb::kSuccess;
  // A setting's failure carries libftdi's code alone, and a transfer cut off by an unplug may fail
  // with LIBUSB_ERROR_IO, so the handle is asked once more: false when that request failed with
  // LIBUSB_ERROR_NO_DEVICE, the device having gone.
  bool answers = true;
};

// What the failure means for the user: permission, busy, gone or an I/O error, with the library's
// words (and libusb's name for its code, where it has one). A transfer that failed with
// LIBUSB_ERROR_NO_DEVICE, or a call after which the handle found no device, was cut off by an
// unplug: libusb's device list may still hold the device for a while after (until its hotplug
// thread hears of it), so it is not asked.
ChipResult ChipResultOf(const LibFtdiFailure& failure);

// libftdi's codes from ftdi_usb_get_strings2 when reading a chip's serial number.
inline constexpr int kStringsOpenFailed = -4;    // "libusb_open() failed"
inline constexpr int kStringsSerialFailed = -9;  // the serial string could not be read

// A chip as the bus lists it, from what reading its serial number gave: `stringsCode` 0 with the
// serial; -9 for a chip that has none to give (a blank or serial-less EEPROM: the device opened,
// but its serial string index is 0, which libusb_get_string_descriptor_ascii refuses with
// LIBUSB_ERROR_INVALID_PARAM, libusb 1.0.26's libusb/descriptor.c), which is still usable; -4 for
// one that could not be opened, whose cause `openCode` tells; anything else as an I/O error.
ChipListing ListingOf(std::uint16_t vendor, std::uint16_t product, std::uint8_t bus,
                      std::uint8_t address, int stringsCode, const std::string& serial,
                      int openCode);

}  // namespace fennow
