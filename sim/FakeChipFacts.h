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

// The chips as simulated. What they are on the bus: bcdDevice, by which libftdi 1.5 and ftdi_sio
// tell the chip (0x0600 an FT232R, 0x0900 an FT232H: ftdi_usb_open_dev in src/ftdi.c), the
// product string out of the box, the speed, the control endpoint's packet and the bulk endpoints'
// wMaxPacketSize (64 at full speed, 512 at high speed: DS_FT232R, DS_FT232H). Their pins: the
// fastest rate reported per unit of libftdi's rate argument. Their buffers: the one for the pins'
// readings, the most bytes that may be written and not yet read back before the chip stalls (the
// FT232R's 128 bytes, the figure both reference drivers keep to; the FT232H's 1 KiB), and the one
// for bytes from the host (256 bytes and 1 KiB). The bus: the USB frame, 1 ms at full speed and a
// 125 us microframe at high speed, and the most bulk packets a frame carries, both ways together
// (USB 2.0, tables 5-9 and 5-10: 19 of 64 bytes at full speed, 13 of 512 at high speed).
struct FakeChipModel {
  std::uint16_t product;
  std::uint16_t bcdDevice;
  const char* productName;
  bool highSpeed;
  std::uint8_t controlPacket;
  int packetSize;
  double fastestPerRate;
  std::size_t fifo;
  std::size_t fromHost;
  std::int64_t frameNs;
  int packetsPerFrame;
};
constexpr std::array<FakeChipModel, 2> kFakeChips{{
    {0x6001, 0x0600, "FT232R USB UART", false, 8, 64, 64.0, 128, 256, 1'000'000, 19},
    {0x6014, 0x0900, "Single RS232-HS", true, 64, 512, 80.0, 1024, 1024, 125'000, 13},
}};

// Every bulk IN packet starts with two status bytes: the modem status (no modem lines in
// bit-bang mode) and the line status, transmitter holding register and transmitter empty (0x60).
inline constexpr std::array<std::uint8_t, 2> kStatusBytes{0x01, 0x60};

// The bit-bang modes of SIO_SET_BITMODE_REQUEST's high byte that the chip models (ftdi.h,
// enum ftdi_mpsse_mode): reset to the serial port, and synchronous bit-bang.
inline constexpr std::uint8_t kModeReset = 0x00;
inline constexpr std::uint8_t kModeSyncBitBang = 0x04;

// The baud rate generator's base clocks (ftdi_convert_baudrate in src/ftdi.c): 48 MHz over 16,
// and on the FT232H also 120 MHz over 10, which bit 9 of wIndex selects.
inline constexpr std::int64_t kBaseClock = 3'000'000;
inline constexpr std::int64_t kHighBaseClock = 12'000'000;

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

// What libftdi says when a setting fails: its control transfers fail with the words of each. A
// setting on a device that has gone fails the same way; the handle's next request says it has.
enum class Setting { BitMode, Rate, Latency, GetLatency, Purge };
struct SettingFailure {
  Setting setting;
  int code;
  const char* text;
};
constexpr std::array<SettingFailure, 5> kSettingFailures{{
    {Setting::BitMode, -1, "unable to configure bitbang mode. Perhaps not a BM/2232C type chip?"},
    {Setting::Rate, -2, "Setting new baudrate failed"},
    {Setting::Latency, -2, "unable to set latency timer"},
    {Setting::GetLatency, -1, "reading latency timer failed"},
    {Setting::Purge, -1, "FTDI purge of RX buffer failed"},
}};

ChipResult SettingFailed(Setting setting, bool answers);

// A bulk transfer that failed with libusb's `code`; `answers` is what the handle's next request
// found (false: no device).
ChipResult WriteFailed(int code, bool answers = true);
ChipResult ReadFailed(int code, bool answers = true);

ChipResult NotOnBus();

}  // namespace fennow::fake_chip
