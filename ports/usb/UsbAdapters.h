// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/Counter.h"
#include "link/LinkLines.h"
#include "link/PortIo.h"
#include "ports/PortAssignment.h"
#include "ports/PortProblem.h"
#include "ports/usb/FtdiChip.h"

// The USB link adapter: an FTDI FT232R or FT232H in synchronous bit-bang mode, wired to the lead,
// presented to the link as a parallel port's data and status registers.
namespace fennow {

inline constexpr std::uint16_t kFtdiVendor = 0x0403;

// How the lead's lines sit on the chip's eight bit-bang pins, D0..D7: the one table of the wiring.
// `line` is the line's bit in the register the link knows it by: data register bits 0..2 for the
// outputs, status register bits 6 and 7 for the inputs.
struct PinRoute {
  std::uint32_t line;
  bool output;        // driven by the chip (data register) or read from a pin (status register)
  std::uint8_t pin;   // bit of the bit-bang byte: D0..D7
  bool inverted;      // the register shows the pin inverted, as a parallel port shows BUSY
  const char* label;  // the pin's name on an FT232R breakout
};

// D0..D4 are on every FT232R breakout, also the smallest ones.
inline constexpr std::array<PinRoute, 5> kUsbPinMap{{
    {LinkDataOut, true, 0, false, "TXD"},
    {LinkClock, true, 1, false, "RXD"},
    {LoopDrive, true, 2, false, "RTS"},
    {LinkDataIn, false, 3, false, "CTS"},
    {LoopSense, false, 4, true, "DTR"},
}};

// The pins the adapter drives; all others are inputs.
constexpr std::uint8_t UsbOutputPins() {
  std::uint8_t mask = 0;
  for (const PinRoute& route : kUsbPinMap) {
    if (route.output) mask = static_cast<std::uint8_t>(mask | (1u << route.pin));
  }
  return mask;
}

// The pins for a data register value, and the status register for the pins as read. Status bits
// with no line read 1, like a parallel port's unconnected inputs.
std::uint8_t PinsForData(std::uint8_t dataRegister);
std::uint8_t StatusFromPins(std::uint8_t pins);

// What the adapter assumes of each chip. The rate is the argument libftdi is given once bit-bang
// mode is on (it multiplies it by 4 for the chip's baud generator). How often the pins then change
// is not well documented: the reports range from 4 to 80 updates a second per unit of that
// argument, as they take the chip's clock to be 1, 4 or 16 times the baud rate. So the adapter
// measures it when it opens the chip (OpenUsbAdapter) and holds every phase for enough updates at
// the rate measured; `perRateLimit` is the most it takes for true, twice the fastest report (64
// for the FT232R, 80 for the FT232H). `rate` gives at most 3 M updates a second at that report.
struct UsbChipModel {
  std::uint16_t product;
  const char* name;
  int rate;
  double perRateLimit;
  // Bytes written and not yet read back, at most: the chip stalls when it has no room for the
  // readings, and drivers of the FT232R keep to 128. The FT232H's buffers are said to hold 1 KiB;
  // half of that still takes a whole high-speed packet.
  int maxOutstanding;
  // The rate arguments the chip's baud generator divides down to exactly are those that divide
  // this: its base clock (3 MHz on the FT232R; 12 MHz on the FT232H, as libftdi 1.5 sets it for
  // rates this high) in eighths, over libftdi's 4 (ftdi_to_clkbits in src/ftdi.c). The pins'
  // rate is then in proportion to the argument, so one measurement holds for every such rate.
  int exactRates;
};

inline constexpr std::array<UsbChipModel, 2> kUsbChips{{
    {0x6001, "FT232R", 46'875, 128, 128, 6'000'000},
    {0x6014, "FT232H", 37'500, 160, 512, 24'000'000},
}};

// The rate is measured at this argument, slow enough that even the fastest chip cannot outrun the
// bus, and fast enough that the slowest is measured in about a second: first with bursts of 32 and
// 128 updates, then, where those took less than kMeasureSpanMs apart, with a second burst long
// enough to take that long, so that a USB frame either way is 1 % of the difference. Every hold
// is worked out for the measured rate with this margin.
inline constexpr int kMeasureRate = 100;
inline constexpr int kMeasureSpanMs = 150;
inline constexpr double kMeasureMargin = 1.03;
// Below this many updates a second per unit, the chip is not in bit-bang mode as it should be.
inline constexpr double kPerRateFloor = 2;
// The pins' rate while a payload streams, at most, as planned: each 2 us phase is then one update,
// and the readings and the bytes for the pins together take well under half of what a full-speed
// bus carries.
inline constexpr std::int64_t kStreamUpdates = 250'000;

// The rates measured at and used for round trips are exact on every chip.
constexpr bool RatesAreExact() {
  for (const UsbChipModel& model : kUsbChips) {
    if (model.exactRates % kMeasureRate != 0 || model.exactRates % model.rate != 0) return false;
  }
  return true;
}
static_assert(RatesAreExact());

// The fastest exact rate argument (one that divides `exactRates`) of at most `wanted`, and at
// least 1.
int ExactRateAtMost(int wanted, int exactRates);

const UsbChipModel* UsbChipOf(std::uint16_t product);

// Updates of the pins that last at least `us` microseconds at `updatesPerSecond`.
constexpr int HoldUpdates(std::int32_t us, std::int64_t updatesPerSecond) {
  return static_cast<int>((static_cast<std::int64_t>(us) * updatesPerSecond + 999'999) / 1'000'000);
}

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
// it, with no address until a choice gives it one.
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
// kPerRateFloor..perRateLimit is refused) and presents it as a parallel port at `base`: writes to
// `base` set the data register, reads of `base + 1` give the status register. `counter` times the
// pauses the adapter leaves to the host.
UsbOpenResult OpenUsbAdapter(FtdiBus& bus, const UsbAdapterListing& adapter, Counter& counter,
                             std::uint16_t base = 0x378);

}  // namespace fennow
