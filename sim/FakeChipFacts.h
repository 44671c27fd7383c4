// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "ports/usb/FtdiChip.h"
#include "ports/usb/LibFtdiErrors.h"

// What the simulated chip knows of the real ones: their buffers, packets and frames, and the
// words libftdi 1.5 fails with.
namespace fennow::fake_chip {

// The chips as simulated: the fastest pin rate reported per unit of the rate argument; the data
// in one packet to the host (a USB packet less the chip's two status bytes); its buffer for the
// pins' readings, the most bytes that may be written and not yet read back before the chip stalls
// (the FT232R's 128-byte transmit buffer, the figure both reference drivers keep to; the
// FT232H's 1 KiB), and its buffer for bytes from the host (256 bytes and 1 KiB: FT232R and FT232H
// datasheets); the USB frame, 1 ms at full speed (FT232R) and a 125 us microframe at high speed
// (FT232H); and the most bulk packets a frame carries, both ways together (USB 2.0, tables 5-9
// and 5-10: 19 of 64 bytes at full speed, 13 of 512 at high speed).
struct FakeChipModel {
  std::uint16_t product;
  double fastestPerRate;
  int packetPayload;
  std::size_t fifo;
  std::size_t fromHost;
  std::int64_t frameNs;
  int packetsPerFrame;
};
constexpr std::array<FakeChipModel, 2> kFakeChips{{
    {0x6001, 64.0, 62, 128, 256, 1'000'000, 19},
    {0x6014, 80.0, 510, 1024, 1024, 125'000, 13},
}};

const FakeChipModel& ModelOf(std::uint16_t product);

// How each refusal at open comes from libftdi 1.5's ftdi_usb_open_dev, with libusb's code where
// libusb_open is what failed.
struct OpenRefusal {
  ChipError error;
  int code;
  const char* text;
  int openCode;
};
constexpr std::array<OpenRefusal, 4> kRefusals{{
    {ChipError::PermissionDenied, -4, "libusb_open() failed", libusb::kAccess},
    {ChipError::Busy, -5,
     "unable to claim usb device. Make sure the default FTDI driver is not in use",
     libusb::kSuccess},
    {ChipError::NotFound, -4, "libusb_open() failed", libusb::kNoDevice},
    {ChipError::IoError, -6, "ftdi_usb_reset failed", libusb::kSuccess},
}};

ChipResult Refusal(ChipError error);

// What libftdi says when a device has gone from under an open handle: its control transfers (the
// settings) fail with the words of each, a bulk write with "usb bulk write failed", and a read
// passes libusb's LIBUSB_ERROR_NO_DEVICE on.
enum class Setting { BitMode, Rate, Latency, Purge };
struct SettingFailure {
  Setting setting;
  int code;
  const char* text;
};
constexpr std::array<SettingFailure, 4> kSettingFailures{{
    {Setting::BitMode, -1, "unable to configure bitbang mode. Perhaps not a BM/2232C type chip?"},
    {Setting::Rate, -2, "Setting new baudrate failed"},
    {Setting::Latency, -2, "unable to set latency timer"},
    {Setting::Purge, -1, "FTDI purge of RX buffer failed"},
}};

ChipResult SettingGone(Setting setting);

ChipResult WriteFailed(bool onBus);

ChipResult ReadGone();

ChipResult NotOnBus();

}  // namespace fennow::fake_chip
