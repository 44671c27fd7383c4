#pragma once

#include "link/Counter.h"
#include "link/Delay.h"
#include "link/LinkPort.h"
#include "link/PortIo.h"

namespace fennow {

// Everything an operation on the lead needs: the chosen port with its latch, the lines over it,
// and the clock that times them. Owned by the window for the whole run.
struct LinkSession {
  LinkSession(PortIo& io, Counter& counter) : lines(port, io), delay(counter) {}
  LinkSession(const LinkSession&) = delete;
  LinkSession& operator=(const LinkSession&) = delete;

  LinkPort port;
  LinkLines lines;
  Delay delay;
};

}  // namespace fennow
