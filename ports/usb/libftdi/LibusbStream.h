// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <libusb.h>

#include <cstddef>
#include <cstdint>
#include <span>

namespace fennow {

// Where a stream's transfers went to and came from, and how much each read asks for.
struct StreamEnds {
  libusb_context* context = nullptr;
  libusb_device_handle* handle = nullptr;
  unsigned char outEndpoint = 0;  // to the chip
  unsigned char inEndpoint = 0;   // from it
  std::size_t packetSize = 0;     // wMaxPacketSize: each packet from it leads with status bytes
  std::size_t readLength = 0;     // of each read, in whole packets
};

// How a stream ended: libusb's codes for a failed write and the first failed read (0 when they
// did not fail), and the data that came.
struct StreamOutcome {
  int writeCode = 0;
  int readCode = 0;
  std::size_t got = 0;
};

// Writes all of `out` in one bulk transfer while kReadsInFlight bulk reads stay submitted, each
// submitted again as it completes, until `back` is full, a transfer fails, `limitMs` have passed
// or no data has come for `idleMs`; then cancels what is still in flight and waits for it.
StreamOutcome StreamThrough(const StreamEnds& ends, std::span<const std::uint8_t> out,
                            std::span<std::uint8_t> back, int limitMs, int idleMs);

}  // namespace fennow
