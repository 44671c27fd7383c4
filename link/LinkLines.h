// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "link/LineScript.h"
#include "link/PortIo.h"

namespace fennow {

// Lines of the lead, as bits of the port's registers.
inline constexpr std::uint32_t LinkDataOut = 1u << 0;  // data D0: serial data to the Game Boy
inline constexpr std::uint32_t LinkClock = 1u << 1;    // data D1: serial clock, low when idle
inline constexpr std::uint32_t LoopDrive = 1u << 2;    // data D2: drive side of the lead test
inline constexpr std::uint32_t LinkDataIn = 1u << 6;   // status ACK: serial data from the Game Boy
inline constexpr std::uint32_t LoopSense = 1u << 7;    // status BUSY: sense side of the lead test

// The chosen port and the shadow of its data register. Bits 3..7 of the latch are never set.
struct LinkPort {
  std::uint32_t OutputLatch = 0;
  std::uint16_t DataPort = 0x378;
  std::uint16_t StatusPort = 0x379;
};

// The one way output lines change: through OutputLatch, whose low byte is then written whole, to
// the port object the link reached last.
class LinkLines {
 public:
  LinkLines(LinkPort& port, PortIo& io) : port_(port), io_(&io) {}

  // Every access from now on goes to `io`, which must outlive its use.
  void Use(PortIo& io) { io_ = &io; }

  // Clears `clear`, then sets `set`, in one write of the data register.
  void Change(std::uint32_t set, std::uint32_t clear);
  void Set(std::uint32_t lines) { Change(lines, 0); }
  void Clear(std::uint32_t lines) { Change(0, lines); }

  // Reads the status register afresh.
  std::uint8_t ReadStatus();

  // Hands the whole script to a port that takes scripts (PortIo::RunScript); OutputLatch then
  // stands as the script leaves it. False, with nothing done, when the port declines.
  bool RunWhole(const LineScript& script, LineSamples& samples);
  // Whether the port streams a streamable script whole (PortIo::QueuesAhead).
  bool QueuesAhead() const { return io_->QueuesAhead(); }
  // Why the port stopped working during the run; empty while it works.
  std::string LostReason() const { return io_->LostReason(); }

 private:
  LinkPort& port_;
  PortIo* io_;
};

}  // namespace fennow
