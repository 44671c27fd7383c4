// SPDX-License-Identifier: GPL-3.0-or-later
#include "ports/usb/PinMap.h"

namespace fennow {

namespace {

// Status register bits with no line behind them read 1, as a parallel port's unconnected inputs.
constexpr std::uint8_t kUnwiredStatusBits = 0x3F;

}  // namespace

std::uint8_t PinsForData(std::uint8_t dataRegister) {
  std::uint8_t pins = 0;
  for (const PinRoute& route : kUsbPinMap) {
    const bool high = ((dataRegister & route.line) != 0) != route.inverted;
    if (route.output && high) pins = static_cast<std::uint8_t>(pins | (1u << route.pin));
  }
  return pins;
}

std::uint8_t StatusFromPins(std::uint8_t pins) {
  std::uint8_t status = kUnwiredStatusBits;
  for (const PinRoute& route : kUsbPinMap) {
    const bool high = ((pins >> route.pin) & 1u) != 0;
    if (!route.output && high != route.inverted) {
      status = static_cast<std::uint8_t>(status | route.line);
    }
  }
  return status;
}

}  // namespace fennow
