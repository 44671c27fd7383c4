// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "ports/usb/FtdiChip.h"

namespace fennow {

// The USB bus and its FTDI chips through libftdi1 (which reaches them through libusb). While a
// chip is open, libftdi has the kernel's serial driver (ftdi_sio) let go of it; it takes it back
// when the chip is closed.
std::unique_ptr<FtdiBus> MakeLibFtdiBus();

}  // namespace fennow
