// SPDX-License-Identifier: GPL-3.0-or-later
// libftdi 1.5's settings as it sends them to the chip (src/ftdi.c), the handle the fake bus gives
// out, and the bus itself. The transfers are in SimulatedHost.cpp.
#include "sim/SimulatedFtdiBus.h"

#include <algorithm>
#include <array>
#include <utility>

#include "ports/usb/ChipModels.h"
#include "ports/usb/LibFtdiErrors.h"
#include "sim/FakeChipFacts.h"

namespace fennow {

using namespace fake_chip;

namespace {

// libftdi's request types (FTDI_DEVICE_OUT_REQTYPE, FTDI_DEVICE_IN_REQTYPE) and its wIndex for a
// chip with one interface (INTERFACE_A).
constexpr std::uint8_t kVendorOut = 0x40;
constexpr std::uint8_t kVendorIn = 0xC0;
constexpr std::uint16_t kInterfaceIndex = 1;

constexpr int kMaxReadChunk = 16384;  // libftdi's cap on Linux

// ftdi_to_clkbits: the encoded divisor nearest a baud rate for a base clock `clock` / `divide`,
// and the baud rate it gives.
std::int64_t ToClockBits(std::int64_t baud, std::int64_t clock, std::int64_t divide,
                         std::uint32_t& encoded) {
  static constexpr std::array<std::uint32_t, 8> kFracCode{0, 3, 2, 4, 1, 5, 6, 7};
  if (baud >= clock / divide) {
    encoded = 0;
    return clock / divide;
  }
  if (baud >= clock / (divide + divide / 2)) {
    encoded = 1;
    return clock / (divide + divide / 2);
  }
  if (baud >= clock / (2 * divide)) {
    encoded = 2;
    return clock / (2 * divide);
  }
  const std::int64_t divisor = clock * 16 / divide / baud;
  std::int64_t best = divisor % 2 != 0 ? divisor / 2 + 1 : divisor / 2;
  if (best > 0x20000) best = 0x1FFFF;
  std::int64_t rate = clock * 16 / divide / best;
  rate = rate % 2 != 0 ? rate / 2 + 1 : rate / 2;
  encoded = static_cast<std::uint32_t>(best >> 3) | kFracCode[static_cast<std::size_t>(best & 7)]
                                                        << 14;
  return rate;
}

// ftdi_convert_baudrate for the two chips (TYPE_R, TYPE_232H): wValue and wIndex of the request.
std::int64_t EncodeBaud(std::int64_t baud, bool highSpeed, std::uint16_t& value,
                        std::uint16_t& index) {
  std::uint32_t encoded = 0;
  std::int64_t actual = 0;
  if (highSpeed && baud * 10 > 120'000'000 / 0x3FFF) {
    actual = ToClockBits(baud, 120'000'000, 10, encoded);
    encoded |= 0x20000;
  } else {
    actual = ToClockBits(baud, 48'000'000, 16, encoded);
  }
  value = static_cast<std::uint16_t>(encoded & 0xFFFF);
  index = highSpeed ? static_cast<std::uint16_t>(((encoded >> 8) & 0xFF00) | kInterfaceIndex)
                    : static_cast<std::uint16_t>(encoded >> 16);
  return actual;
}

// The handle Open gives out: the adapter's until it is closed, and dead once the adapter has been
// pulled out, even when it is plugged in again. Closing it does what the program's does: the
// chip back to serial mode, then the interface let go.
class FakeChip final : public FtdiChip {
 public:
  explicit FakeChip(SimulatedAdapter& adapter) : adapter_(adapter), plugging_(adapter.Plugging()) {}
  ~FakeChip() override { Close(); }
  FakeChip(const FakeChip&) = delete;
  FakeChip& operator=(const FakeChip&) = delete;

  // A handle from before the adapter was pulled out fails as an unplugged one does.
  ChipResult SetBitMode(std::uint8_t outputs, BitMode mode) override {
    return Dead() ? SettingFailed(Setting::BitMode, false) : adapter_.SetBitMode(outputs, mode);
  }
  ChipResult SetRate(int rate) override {
    return Dead() ? SettingFailed(Setting::Rate, false) : adapter_.SetRate(rate);
  }
  ChipResult SetLatencyTimer(int ms) override {
    return Dead() ? SettingFailed(Setting::Latency, false) : adapter_.SetLatencyTimer(ms);
  }
  ChipResult GetLatencyTimer(int& ms) override {
    return Dead() ? SettingFailed(Setting::GetLatency, false) : adapter_.GetLatencyTimer(ms);
  }
  ChipResult DiscardReadBuffer() override {
    return Dead() ? SettingFailed(Setting::Purge, false) : adapter_.DiscardReadBuffer();
  }
  ChipResult Write(std::span<const std::uint8_t> bytes) override {
    return Dead() ? WriteFailed(libusb::kNoDevice) : adapter_.Write(bytes);
  }
  ChipResult Read(std::span<std::uint8_t> bytes) override {
    return Dead() ? ReadFailed(libusb::kNoDevice) : adapter_.Read(bytes);
  }
  ChipResult Stream(std::span<const std::uint8_t> out, std::span<std::uint8_t> back, int limitMs,
                    int idleMs) override {
    return Dead() ? WriteFailed(libusb::kNoDevice) : adapter_.Stream(out, back, limitMs, idleMs);
  }
  ChipResult SetReadChunkSize(int bytes) override { return adapter_.SetReadChunkSize(bytes); }
  int PacketPayload() const override { return adapter_.PacketPayload(); }
  void Close() override {
    if (open_ && !Dead()) {
      adapter_.SetBitMode(0, BitMode::Reset);
      adapter_.Release();
    }
    open_ = false;
  }

 private:
  bool Dead() const { return adapter_.Plugging() != plugging_; }

  SimulatedAdapter& adapter_;
  int plugging_;
  bool open_ = true;
};

}  // namespace

SimulatedAdapter::SimulatedAdapter(SimulatedAdapterSetup setup, Counter& counter)
    : setup_(std::move(setup)), counter_(counter), chip_(setup_) {
  chip_.PowerUp(0);
}

std::int64_t SimulatedAdapter::FrameNs() const {
  return ModelOf(setup_.product).frameNs;
}

void SimulatedAdapter::PlugBackIn() {
  open_ = false;
  ++plugging_;
  setup_.faults.unplugAfterBytes = -1;
  setup_.faults.unplugAtClockPulse = 0;
  setup_.faults.unplugAtLoopDrive = 0;
  readBuffer_.clear();
  chip_.PowerUp(counter_.Count());
}

// ftdi_usb_open_dev once the device is claimed: the chip's reset, then 9600 baud.
ChipResult SimulatedAdapter::Claim() {
  if (chip_.Unplugged()) return NotOnBus();
  if (open_) return Refusal(ChipError::Busy);
  if (setup_.faults.openError != ChipError::None) return Refusal(setup_.faults.openError);
  open_ = true;
  bitBang_ = false;
  readChunk_ = 4096;
  readBuffer_.clear();
  writesSinceOpen_ = 0;
  if (!ControlTransfer({kVendorOut, 0x00, 0, kInterfaceIndex, 0}).ok) {
    open_ = false;
    return Refusal(ChipError::IoError);
  }
  if (!SetRate(9'600).ok()) {
    open_ = false;
    return ChipResultOf({FtdiCall::Open, -7, "set baudrate failed"});
  }
  return {};
}

ChipResult SimulatedAdapter::Setting(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                                     int failCode, const char* failText) {
  if (ControlTransfer({kVendorOut, request, value, index, 0}).ok) return {};
  return ChipResultOf(
      {FtdiCall::Setting, failCode, failText, libusb::kSuccess, !chip_.Unplugged()});
}

ChipResult SimulatedAdapter::SetBitMode(std::uint8_t outputs, BitMode mode) {
  const std::uint8_t raw = mode == BitMode::SyncBitBang ? kModeSyncBitBang : kModeReset;
  ChipResult set =
      Setting(0x0B, static_cast<std::uint16_t>(outputs | raw << 8), kInterfaceIndex, -1,
              "unable to configure bitbang mode. Perhaps not a BM/2232C type chip?");
  if (set.ok()) bitBang_ = mode != BitMode::Reset;
  return set;
}

// ftdi_set_baudrate: in bit-bang mode the argument is a quarter of the baud rate; a rate the
// chip can only come within more than 5 % of is refused.
ChipResult SimulatedAdapter::SetRate(int rate) {
  const std::int64_t baud = std::int64_t{rate} * (bitBang_ ? 4 : 1);
  std::uint16_t value = 0;
  std::uint16_t index = 0;
  const std::int64_t actual =
      baud > 0 ? EncodeBaud(baud, ModelOf(setup_.product).highSpeed, value, index) : 0;
  if (actual <= 0) return ChipResultOf({FtdiCall::Setting, -1, "Silly baudrate <= 0."});
  if (actual * 2 < baud || (actual < baud ? actual * 21 < baud * 20 : baud * 21 < actual * 20)) {
    return ChipResultOf({FtdiCall::Setting, -1,
                         "Unsupported baudrate. Note: bitbang baudrates are automatically "
                         "multiplied by 4"});
  }
  return Setting(0x03, value, index, -2, "Setting new baudrate failed");
}

ChipResult SimulatedAdapter::SetLatencyTimer(int ms) {
  if (ms < 1 || ms > 255) {
    return ChipResultOf({FtdiCall::Setting, -1, "latency out of range. Only valid for 1-255"});
  }
  return Setting(0x09, static_cast<std::uint16_t>(ms), kInterfaceIndex, -2,
                 "unable to set latency timer");
}

ChipResult SimulatedAdapter::GetLatencyTimer(int& ms) {
  const Controlled got = ControlTransfer({kVendorIn, 0x0A, 0, kInterfaceIndex, 1});
  if (!got.ok || got.data.size() != 1)
    return SettingFailed(Setting::GetLatency, !chip_.Unplugged());
  ms = got.data.front();
  return {};
}

// ftdi_tciflush: the chip drops what it has for the host, libftdi what it holds of a read.
ChipResult SimulatedAdapter::DiscardReadBuffer() {
  ChipResult purged = Setting(0x00, 2, kInterfaceIndex, -1, "FTDI purge of RX buffer failed");
  if (purged.ok()) readBuffer_.clear();
  return purged;
}

// ftdi_read_data_set_chunksize: only libftdi's own buffer changes, and what it held is dropped.
ChipResult SimulatedAdapter::SetReadChunkSize(int bytes) {
  readChunk_ = std::clamp(bytes, 1, kMaxReadChunk);
  readBuffer_.clear();
  return {};
}

SimulatedAdapter& SimulatedFtdiBus::Plug(SimulatedAdapterSetup setup) {
  adapters_.push_back(std::make_unique<SimulatedAdapter>(std::move(setup), counter_));
  adapters_.back()->SetAddress(nextAddress_++);
  return *adapters_.back();
}

// Each chip's serial number read as ftdi_usb_get_strings2 reads it: -4 when it cannot be opened
// (no udev rule: LIBUSB_ERROR_ACCESS), -9 when it has no serial string.
std::vector<ChipListing> SimulatedFtdiBus::List(std::uint16_t vendor, std::uint16_t product) {
  std::vector<ChipListing> found;
  if (vendor != kFtdiVendor) return found;
  for (const auto& adapter : adapters_) {
    const SimulatedAdapterSetup& setup = adapter->Setup();
    if (adapter->Unplugged() || setup.product != product) continue;
    const int code = setup.faults.serialUnreadable ? kStringsOpenFailed
                     : setup.serial.empty()        ? kStringsSerialFailed
                                                   : 0;
    found.push_back(ListingOf(vendor, product, kBusNumber, adapter->Address(), code, setup.serial,
                              setup.faults.serialUnreadable ? libusb::kAccess : libusb::kSuccess));
  }
  return found;
}

FtdiBus::Opened SimulatedFtdiBus::Open(const ChipListing& chip) {
  for (const auto& adapter : adapters_) {
    if (chip.bus != kBusNumber || adapter->Address() != chip.address || adapter->Unplugged()) {
      continue;
    }
    if (ChipResult claimed = adapter->Claim(); !claimed.ok()) return {nullptr, claimed};
    return {std::make_unique<FakeChip>(*adapter), {}};
  }
  return {nullptr, NotOnBus()};
}

FtdiBus::Opened SimulatedFtdiBus::Open(std::uint16_t vendor, std::uint16_t product,
                                       const std::string& serial) {
  for (const ChipListing& chip : List(vendor, product)) {
    if (chip.serial == serial) return Open(chip);
  }
  return {nullptr, NotOnBus()};
}

}  // namespace fennow
