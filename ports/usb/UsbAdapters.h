// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/Counter.h"
#include "link/PortIo.h"
#include "ports/PortAssignment.h"
#include "ports/PortProblem.h"
#include "ports/usb/ChipModels.h"
#include "ports/usb/FtdiChip.h"
#include "ports/usb/PinMap.h"

// The USB link adapter, an FTDI FT232R or FT232H in synchronous bit-bang mode wired to the lead:
// listing the adapters on the bus, opening one as a port, and what its failures mean to the user.
namespace fennow {

// A supported adapter found on the bus.
struct UsbAdapterListing {
  std::string name;  // "USB FT232R A50285BI", for the user
  std::uint16_t product = 0;
  std::string serial;  // empty when the chip has none, or it could not be read
  ChipResult access;   // why it could not be read, usually a missing udev rule
  // Where it sits on the bus, as the listing found it.
  std::uint8_t bus = 0;
  std::uint8_t address = 0;
};

// Every supported adapter on the bus, ordered by serial number (unreadable ones last), so that
// the same adapters are listed in the same order whichever USB socket they are in.
std::vector<UsbAdapterListing> ListUsbAdapters(FtdiBus& bus);

// The adapter as one of the ports the choices are given (AssignPorts): a USB adapter, known by its
// chip and serial number (or, without one, by where it sits on the bus), named as the user sees
// it, with no address.
PortTarget AdapterTarget(const UsbAdapterListing& adapter);

// What a failure of the chip means for the user of the adapter called `name`, as the window
// explains every port that cannot be reached: permission, busy, unplugged, or the library's words.
PortProblem UsbProblem(const std::string& name, const ChipResult& failure);

struct UsbOpenResult {
  std::unique_ptr<PortIo> port;  // null on failure
  ChipError error = ChipError::None;
  PortProblem problem;  // why it failed, when it did
  std::string reason;   // the same in a line: the adapter, why, the library's words, what to do
  // Once open, what was measured: "3.00 M pin updates a second (64.0 per unit of rate 46875), a
  // round trip 2.93 ms; payloads stream at 0.24 M (rate 3750)".
  std::string report;
};

// Opens an adapter, puts it in synchronous bit-bang mode with its outputs low, measures how fast
// its pins change (pairs of streamed bursts at kMeasureRate, timed on `counter`, so that the USB
// latency drops out; a chip whose rate cannot be measured or lies outside
// kPerRateFloor..perRateLimit is refused) and presents it as a parallel port: writes set the data
// register, reads give the status register. `counter` times the pauses the adapter leaves to the
// host.
UsbOpenResult OpenUsbAdapter(FtdiBus& bus, const UsbAdapterListing& adapter, Counter& counter);

}  // namespace fennow
