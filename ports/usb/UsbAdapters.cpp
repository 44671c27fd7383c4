// SPDX-License-Identifier: GPL-3.0-or-later
#include "ports/usb/UsbAdapters.h"

#include <algorithm>
#include <array>
#include <utility>

#include "ports/usb/AdapterPort.h"

namespace fennow {

namespace {

// How each failure of the chip reads to the user. A chip that is not found was there when the
// ports were listed, so it has been unplugged since.
struct ReasonOfError {
  ChipError error;
  PortReason reason;
};

constexpr std::array<ReasonOfError, 4> kReasonsOfErrors{{
    {ChipError::PermissionDenied, PortReason::PermissionDenied},
    {ChipError::Busy, PortReason::Busy},
    {ChipError::NotFound, PortReason::DeviceLost},
    {ChipError::IoError, PortReason::Other},
}};

UsbOpenResult Refused(const std::string& name, const ChipResult& failure) {
  PortProblem problem = UsbProblem(name, failure);
  std::string reason = name + ": " + DetailedWhyText(problem) + ". " + RemedyText(problem);
  return {nullptr, failure.error, std::move(problem), std::move(reason), {}};
}

std::string AdapterName(const UsbChipModel& model, const ChipListing& listing) {
  const std::string serial = !listing.serial.empty() ? listing.serial
                             : listing.access.ok()   ? "(no serial number)"
                                                     : "(serial number unreadable)";
  return "USB " + std::string(model.name) + " " + serial;
}

}  // namespace

std::vector<UsbAdapterListing> ListUsbAdapters(FtdiBus& bus) {
  std::vector<UsbAdapterListing> adapters;
  for (const UsbChipModel& model : kUsbChips) {
    for (ChipListing& listing : bus.List(kFtdiVendor, model.product)) {
      adapters.push_back({AdapterName(model, listing), model.product, std::move(listing.serial),
                          std::move(listing.access), listing.bus, listing.address});
    }
  }
  std::stable_sort(
      adapters.begin(), adapters.end(), [](const UsbAdapterListing& a, const UsbAdapterListing& b) {
        return std::pair(a.serial.empty(), a.serial) < std::pair(b.serial.empty(), b.serial);
      });
  return adapters;
}

PortTarget AdapterTarget(const UsbAdapterListing& adapter) {
  const auto place = adapter.serial.empty()
                         ? static_cast<std::uint16_t>(adapter.bus << 8 | adapter.address)
                         : std::uint16_t{0};
  return {0, adapter.name, PortKind::UsbAdapter, adapter.product, adapter.serial, place};
}

PortProblem UsbProblem(const std::string& name, const ChipResult& failure) {
  const auto found = std::find_if(kReasonsOfErrors.begin(), kReasonsOfErrors.end(),
                                  [&](const ReasonOfError& r) { return r.error == failure.error; });
  const PortReason reason = found != kReasonsOfErrors.end() ? found->reason : PortReason::Other;
  return {PortKind::UsbAdapter, reason, name, failure.text};
}

UsbOpenResult OpenUsbAdapter(FtdiBus& bus, const UsbAdapterListing& adapter, Counter& counter) {
  const UsbChipModel* model = UsbChipOf(adapter.product);
  if (model == nullptr) {
    return Refused(adapter.name, {ChipError::IoError, "not a supported chip", 0});
  }
  // Its serial number could not be read, so neither can it be opened: the same cause stands.
  if (!adapter.access.ok()) return Refused(adapter.name, adapter.access);
  FtdiBus::Opened opened = bus.Open(
      {kFtdiVendor, model->product, adapter.serial, adapter.access, adapter.bus, adapter.address});
  if (!opened.chip) return Refused(adapter.name, opened.result);
  auto port =
      std::make_unique<UsbAdapterPort>(std::move(opened.chip), *model, adapter.name, counter);
  if (const ChipResult started = port->Start(); !started.ok()) {
    return Refused(adapter.name, started);
  }
  std::string report = port->Report();
  return {std::move(port), ChipError::None, {}, {}, std::move(report)};
}

}  // namespace fennow
