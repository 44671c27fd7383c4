// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace fennow {

// The kinds of port the program reaches: the same choices and the same reasons a port cannot be
// reached, but each kind with its own remedies and its own way of being opened.
enum class PortKind {
  ParallelPort,  // a parallel port the kernel lists, or a legacy address reached directly
  UsbAdapter,    // a USB link adapter (FT232R, FT232H), opened by its serial number
};

}  // namespace fennow
