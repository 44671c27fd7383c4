// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/Counter.h"
#include "link/Delay.h"
#include "link/LineScript.h"
#include "link/LinkLines.h"
#include "link/PortIo.h"

namespace fennow {

// Everything an operation on the lead needs: the chosen port with its latch, the lines over the
// port object it reached, and the clock that times them. Owned by the window for the whole run.
struct LinkSession {
  // On no port until one is reached (Use).
  explicit LinkSession(Counter& counter) : LinkSession(NoPort(), counter) {}
  LinkSession(PortIo& io, Counter& counter) : lines(port, io), delay(counter) {}
  LinkSession(const LinkSession&) = delete;
  LinkSession& operator=(const LinkSession&) = delete;

  // Performs a script of line activity and returns the status register as each of its samples
  // read it. A port that takes scripts gets it whole (one USB round trip for a byte); any other
  // port sees the steps one by one, as writes through the latch, busy-waits and status reads.
  // The readings stay valid until the next Run: one buffer serves every byte of a transfer.
  const LineSamples& Run(const LineScript& script);

  // The port object the chosen port was reached as: the lines use it until the next one.
  void Use(PortIo& io) { lines.Use(io); }

  LinkPort port;
  LinkLines lines;
  Delay delay;

 private:
  LineSamples samples_;
};

}  // namespace fennow
