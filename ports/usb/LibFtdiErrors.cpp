// SPDX-License-Identifier: GPL-3.0-or-later
#include "ports/usb/LibFtdiErrors.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace fennow {

namespace {

struct LibusbCode {
  int code;
  const char* name;
  ChipError error;  // what it means when it ends an open or a transfer
};

constexpr std::array<LibusbCode, 9> kLibusbCodes{{
    {libusb::kIo, "LIBUSB_ERROR_IO", ChipError::IoError},
    {libusb::kInvalidParam, "LIBUSB_ERROR_INVALID_PARAM", ChipError::IoError},
    {libusb::kAccess, "LIBUSB_ERROR_ACCESS", ChipError::PermissionDenied},
    {libusb::kNoDevice, "LIBUSB_ERROR_NO_DEVICE", ChipError::NotFound},
    {libusb::kNotFound, "LIBUSB_ERROR_NOT_FOUND", ChipError::NotFound},
    {libusb::kBusy, "LIBUSB_ERROR_BUSY", ChipError::Busy},
    {libusb::kTimeout, "LIBUSB_ERROR_TIMEOUT", ChipError::IoError},
    {-8, "LIBUSB_ERROR_OVERFLOW", ChipError::IoError},
    {libusb::kPipe, "LIBUSB_ERROR_PIPE", ChipError::IoError},
}};

const LibusbCode* Find(int code) {
  const auto found = std::find_if(kLibusbCodes.begin(), kLibusbCodes.end(),
                                  [code](const LibusbCode& c) { return c.code == code; });
  return found != kLibusbCodes.end() ? &*found : nullptr;
}

ChipError LibusbError(int code) {
  const LibusbCode* found = Find(code);
  return found != nullptr ? found->error : ChipError::IoError;
}

// ftdi_usb_open_dev's own codes. -3 is "device not found" from ftdi_usb_open_bus_addr, but the
// same -3 from a configuration that the kernel's serial driver would not give up; -4 is any
// failure of libusb_open, whose cause is asked of libusb afresh; -8 follows a detach refused for
// want of permission.
struct OpenCode {
  int code;
  ChipError error;
};

constexpr std::array<OpenCode, 3> kOpenCodes{{
    {-3, ChipError::Busy},
    {-5, ChipError::Busy},
    {-8, ChipError::PermissionDenied},
}};

constexpr std::string_view kNotFoundText = "device not found";

ChipError OpenError(const LibFtdiFailure& failure) {
  if (failure.code == kStringsOpenFailed) return LibusbError(failure.openCode);
  if (failure.text == kNotFoundText) return ChipError::NotFound;
  const auto found = std::find_if(kOpenCodes.begin(), kOpenCodes.end(),
                                  [&](const OpenCode& c) { return c.code == failure.code; });
  return found != kOpenCodes.end() ? found->error : ChipError::IoError;
}

}  // namespace

const char* LibusbErrorName(int code) {
  const LibusbCode* found = Find(code);
  return found != nullptr ? found->name : "LIBUSB_ERROR_OTHER";
}

ChipResult ChipResultOf(const LibFtdiFailure& failure) {
  ChipResult result{ChipError::IoError, failure.text, 0};
  switch (failure.call) {
    case FtdiCall::Open:
      result.error = OpenError(failure);
      if (failure.code == kStringsOpenFailed) {
        result.text += std::string(": ") + LibusbErrorName(failure.openCode);
      }
      break;
    case FtdiCall::Transfer:
      result.error = LibusbError(failure.code);
      result.text += std::string(": ") + LibusbErrorName(failure.code);
      break;
    case FtdiCall::Setting:
      // libftdi's own words, whatever the cause: the handle's next answer tells an unplug.
      break;
  }
  if (!failure.answers) result.error = ChipError::NotFound;
  return result;
}

ChipListing ListingOf(std::uint16_t vendor, std::uint16_t product, std::uint8_t bus,
                      std::uint8_t address, int stringsCode, const std::string& serial,
                      int openCode) {
  ChipListing listing{vendor, product, {}, {}, bus, address};
  if (stringsCode == 0) {
    listing.serial = serial;
  } else if (stringsCode == kStringsOpenFailed) {
    listing.access = ChipResultOf({FtdiCall::Open, stringsCode, "libusb_open() failed", openCode});
  } else if (stringsCode != kStringsSerialFailed) {
    listing.access = {ChipError::IoError, "the chip's strings could not be read", 0};
  }
  return listing;
}

}  // namespace fennow
