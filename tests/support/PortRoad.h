// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <utility>

#include "capture/CaptureStore.h"
#include "capture/Transfer.h"
#include "link/Counter.h"
#include "link/LinkSession.h"
#include "ports/PortNotices.h"
#include "ports/PortSelection.h"
#include "ports/SystemPorts.h"
#include "tests/support/FakeServices.h"

namespace fennow::test {

// The window's road to a port: the program's own ports over `environment`, LPT1 chosen and the
// link pointed at it, and the window's state. PressStartTransfer is the button: reach the port,
// telling why not, then transfer.
struct PortRoad {
  PortRoad(SystemPortsEnvironment environment, Counter& counter)
      : host(std::move(environment)),
        chosen{PortChoice::LPT1, TargetOf(host.Ports(), PortChoice::LPT1)},
        link(host, counter) {
    PointPortAt(link.port, chosen.target);
  }
  PortRoad(const PortRoad&) = delete;
  PortRoad& operator=(const PortRoad&) = delete;

  TransferStatus PressStartTransfer() {
    ReachChosenPort(chosen, host, notices, ui);
    return StartTransfer(link, ui, store);
  }

  SystemPorts host;
  ChosenPort chosen;
  PortNotices notices;
  LinkSession link;
  FakeServices ui;
  CaptureStore store;
};

}  // namespace fennow::test
