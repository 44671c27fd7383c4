// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "capture/CaptureStore.h"
#include "link/LinkSession.h"
#include "link/PortIo.h"
#include "ports/ChosenPort.h"
#include "ports/PortSelection.h"
#include "ports/SystemPorts.h"
#include "ports/usb/UsbAdapters.h"
#include "sim/SimulatedFtdiBus.h"
#include "sim/SimulatedGameBoy.h"
#include "sim/VirtualCounter.h"
#include "tests/support/FakeServices.h"
#include "tests/support/PortRoad.h"

namespace fennow::test {

// A Game Boy (or another far end) wired to a simulated USB adapter on a simulated bus, on a
// virtual clock at 1 us per reading. The Game Boy stamps its edges with the adapter's pin time, so
// its logs show the timing at the pins; it sees the serial port's idle lines from the moment the
// adapter is plugged in.
struct UsbLead {
  explicit UsbLead(SimulatedAdapterSetup setup, PortIo* farEnd = nullptr)
      : adapter(bus.Plug(Wire(std::move(setup), farEnd ? farEnd : &gameBoy))) {
    pinClock = &adapter;
  }
  UsbLead(const UsbLead&) = delete;
  UsbLead& operator=(const UsbLead&) = delete;

  // Records from here on, the lines' changes so far left out.
  void ClearRecords() {
    gameBoy.ClearRecords();
    adapter.ClearRecords();
  }

  const SimulatedAdapter* pinClock = nullptr;
  VirtualCounter counter{1000};
  SimulatedGameBoy gameBoy{[this] { return pinClock ? pinClock->PinTimeNs() : 0; }};
  SimulatedFtdiBus bus{counter};
  SimulatedAdapter& adapter;

 private:
  static SimulatedAdapterSetup Wire(SimulatedAdapterSetup setup, PortIo* farEnd) {
    setup.farEnd = farEnd;
    return setup;
  }
};

// The adapter opened as the program opens a real one: the USB counterpart of SimRig. Its records
// start once it is open, so they hold what the link did.
struct UsbRig : UsbLead {
  explicit UsbRig(SimulatedAdapterSetup setup = {}, PortIo* farEnd = nullptr)
      : UsbLead(std::move(setup), farEnd),
        opened(Open()),
        // A rig whose adapter could not be opened fails on its own check of `opened`.
        link(opened.port ? *opened.port : NoPort(), counter) {
    ClearRecords();
  }

  UsbOpenResult opened;
  LinkSession link;
  FakeServices ui;
  CaptureStore store;

 private:
  UsbOpenResult Open() {
    const std::vector<UsbAdapterListing> found = ListUsbAdapters(bus);
    if (found.empty()) return {nullptr, ChipError::NotFound, {}, "no adapter listed", {}};
    return OpenUsbAdapter(bus, found.front(), counter);
  }
};

// The same Game Boy and adapter, found and opened the way the window does it: by the program's own
// ports (SystemPorts) on a machine with no parallel port, which give the adapter to LPT1 and open
// it at the first Reach. The link uses the port object that Reach gives it.
struct UsbHostRig : UsbLead, PortRoad {
  explicit UsbHostRig(SimulatedAdapterSetup setup = {})
      : UsbLead(std::move(setup)), PortRoad(AdaptersOnlySetup(bus, counter), counter) {}
};

// Times of the changes of one line at the adapter's pins.
inline std::vector<std::int64_t> LineChanges(const SimulatedAdapter& adapter, std::uint8_t line) {
  std::vector<std::int64_t> times;
  std::uint8_t before = 0;
  for (const PinLevels& levels : adapter.Lines()) {
    if (((levels.lines ^ before) & line) != 0) times.push_back(levels.timeNs);
    before = levels.lines;
  }
  return times;
}

}  // namespace fennow::test
