// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/SimulatedUsbLead.h"

#include "ports/usb/UsbAdapters.h"

namespace fennow {

namespace {

SimulatedAdapterSetup Wired(PortIo& farEnd, std::int64_t roundTripNs, std::uint16_t product,
                            double updatesPerRate) {
  SimulatedAdapterSetup setup;
  setup.product = product;
  setup.serial = SimulatedUsbLead::kSerial;
  setup.farEnd = &farEnd;
  setup.roundTripNs = roundTripNs;
  setup.updatesPerRate = updatesPerRate;
  return setup;
}

}  // namespace

SimulatedUsbLead::SimulatedUsbLead(PortIo& farEnd, Counter& counter, std::int64_t roundTripNs,
                                   std::uint16_t product, double updatesPerRate)
    : counter_(counter),
      bus_(counter),
      adapter_(bus_.Plug(Wired(farEnd, roundTripNs, product, updatesPerRate))) {
  const std::vector<UsbAdapterListing> found = ListUsbAdapters(bus_);
  name_ = found.empty() ? "no simulated adapter on the bus" : found.front().name;
}

PortIo* SimulatedUsbLead::Port() {
  if (tried_) return opened_.get();
  tried_ = true;
  const std::vector<UsbAdapterListing> found = ListUsbAdapters(bus_);
  if (found.empty()) return nullptr;
  UsbOpenResult opened = OpenUsbAdapter(bus_, found.front(), counter_);
  opened_ = std::move(opened.port);
  if (!opened_) name_ = opened.reason;
  return opened_.get();
}

}  // namespace fennow
