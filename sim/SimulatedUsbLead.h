// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "link/Counter.h"
#include "link/PortIo.h"
#include "sim/SimulatedFtdiBus.h"

namespace fennow {

// A lead through a simulated USB adapter: an FT232R on a simulated bus, its pins wired to the far
// end (the simulated Game Boy). The timing benchmark and the tests open it the way the program
// opens a real adapter (Port); the simulator program hands the bus to the program's own ports
// (SystemPorts), which find it and give it to LPT1. One or the other: the adapter has one opener.
class SimulatedUsbLead {
 public:
  static constexpr const char* kSerial = "FNSIM001";

  // `roundTripNs`: how long each USB round trip takes, on `counter`'s clock; `product` the chip
  // (0x6001 an FT232R, 0x6014 an FT232H); `updatesPerRate` its true pin updates a second per unit
  // of the rate argument, 0 for the fastest reported.
  SimulatedUsbLead(PortIo& farEnd, Counter& counter, std::int64_t roundTripNs = 1'000'000,
                   std::uint16_t product = 0x6001, double updatesPerRate = 0);

  // The adapter opened as a parallel port at 0x378 (LPT1), on first use; null when it could not
  // be opened.
  PortIo* Port();
  // "USB FT232R FNSIM001", or why it could not be opened.
  const std::string& Name() const { return name_; }
  SimulatedAdapter& Adapter() { return adapter_; }
  // The bus the adapter is plugged into.
  FtdiBus& Bus() { return bus_; }

 private:
  Counter& counter_;
  SimulatedFtdiBus bus_;
  SimulatedAdapter& adapter_;
  bool tried_ = false;
  std::unique_ptr<PortIo> opened_;
  std::string name_;
};

}  // namespace fennow
