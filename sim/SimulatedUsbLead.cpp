#include "sim/SimulatedUsbLead.h"

#include "link/FtdiPort.h"

namespace fennow {

namespace {

FakeAdapterSetup Wired(PortIo& farEnd, std::int64_t roundTripNs) {
  FakeAdapterSetup setup;
  setup.serial = SimulatedUsbLead::kSerial;
  setup.farEnd = &farEnd;
  setup.roundTripNs = roundTripNs;
  return setup;
}

}  // namespace

SimulatedUsbLead::SimulatedUsbLead(PortIo& farEnd, Counter& counter, std::int64_t roundTripNs)
    : bus_(counter), adapter_(bus_.Plug(Wired(farEnd, roundTripNs))) {
  const std::vector<UsbAdapter> found = ListUsbAdapters(bus_);
  if (found.empty()) {
    name_ = "no simulated adapter on the bus";
    return;
  }
  UsbOpenResult opened = OpenUsbAdapter(bus_, found.front(), counter);
  opened_ = std::move(opened.port);
  name_ = opened_ ? found.front().name : opened.reason;
}

}  // namespace fennow
