// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "link/LineScript.h"

namespace fennow {

struct LinkPort;

// The two things the link ever does to hardware: write a byte to an I/O address and read a byte
// from one. Each call must reach the register at once and in program order. The parallel-port
// device, direct port I/O, an unreachable port, the simulated Game Boy and the USB adapter all
// sit behind it.
//
// Three more calls have defaults: a port for which each access is a USB round trip takes whole
// scripts of line activity, and may stream them (the USB adapter); and a port that can fail or
// vanish mid-run says so (the adapter, the kernel's parallel-port device).

class PortIo {
 public:
  virtual ~PortIo() = default;
  virtual void Write(std::uint16_t address, std::uint8_t value) = 0;
  virtual std::uint8_t Read(std::uint16_t address) = 0;

  // Performs all of `script` on the registers of `port`, starting from its OutputLatch, and
  // appends the status register as each of the script's samples read it: one per Sample step.
  // Every wait of the script must hold at the lines as a minimum. False, with nothing done, when
  // the port does not take scripts: the link then performs the steps one by one through Write,
  // Read and its own busy-waits.
  virtual bool RunScript(const LineScript& /*script*/, const LinkPort& /*port*/,
                         LineSamples& /*samples*/) {
    return false;
  }

  // True for a port that streams a streamable script (LineScript::Streamable): it takes many bytes
  // of a payload in one script and keeps their pauses at the lines itself.
  virtual bool QueuesAhead() const { return false; }

  // Why the port stopped working during the run (a USB adapter unplugged), naming it; empty while
  // it works. Once lost, writes go nowhere and reads see 0xFF, as on an empty socket.
  virtual std::string LostReason() const { return {}; }
};

// A port that is not there: writes go nowhere and reads see 0xFF, like an empty socket. What the
// link holds before it has reached a port, and what a port that cannot be reached gives it.
PortIo& NoPort();

}  // namespace fennow
