// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>

#include "link/LinkLines.h"

namespace fennow {

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

}  // namespace fennow
