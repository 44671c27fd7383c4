#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "link/Counter.h"
#include "link/PortIo.h"
#include "sim/FakeFtdiBus.h"

namespace fennow {

// A lead through a simulated USB adapter: an FT232R on a simulated bus, its pins wired to the far
// end (the simulated Game Boy), opened the way the program opens a real adapter. The simulator
// program, the timing benchmark and the tests use it in place of the parallel port.
class SimulatedUsbLead {
 public:
  static constexpr const char* kSerial = "FNSIM001";

  // `roundTripNs`: how long each USB round trip takes, on `counter`'s clock.
  SimulatedUsbLead(PortIo& farEnd, Counter& counter, std::int64_t roundTripNs = 1'000'000);

  // The adapter as a parallel port at 0x378 (LPT1); null when it could not be opened.
  PortIo* Port() { return opened_.get(); }
  // "USB FT232R FNSIM001", or why it could not be opened.
  const std::string& Name() const { return name_; }
  FakeFtdiAdapter& Adapter() { return adapter_; }

 private:
  FakeFtdiBus bus_;
  FakeFtdiAdapter& adapter_;
  std::unique_ptr<PortIo> opened_;
  std::string name_;
};

}  // namespace fennow
