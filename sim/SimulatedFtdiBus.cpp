// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/SimulatedFtdiBus.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "ports/usb/UsbAdapters.h"

namespace fennow {

namespace {

// The lead's far end is a parallel port's registers.
constexpr std::uint16_t kFarData = 0x378;
constexpr std::uint16_t kFarStatus = 0x379;
// A parallel port shows its BUSY input (status bit 7) inverted, so the wire carries the opposite.
constexpr std::uint8_t kBusyBit = 0x80;

// The chips as simulated: the fastest pin rate reported per unit of the rate argument, the data
// in one packet to the host, and the most bytes that may be written and not yet read back before
// the chip stalls (the figure both reference drivers keep to for the FT232R).
struct FakeChipModel {
  std::uint16_t product;
  double fastestPerRate;
  int packetPayload;
  std::size_t fifo;
};
constexpr std::array<FakeChipModel, 2> kFakeChips{{
    {0x6001, 64.0, 62, 128},
    {0x6014, 80.0, 510, 1024},
}};

const FakeChipModel& ModelOf(std::uint16_t product) {
  const auto found = std::find_if(kFakeChips.begin(), kFakeChips.end(),
                                  [&](const FakeChipModel& m) { return m.product == product; });
  return found != kFakeChips.end() ? *found : kFakeChips.front();
}

// libftdi's words for each refusal at open.
struct OpenRefusal {
  ChipError error;
  const char* text;
};
constexpr std::array<OpenRefusal, 4> kRefusals{{
    {ChipError::PermissionDenied, "usb_open() failed"},
    {ChipError::Busy,
     "unable to claim usb device. Make sure the default FTDI driver is not in use"},
    {ChipError::NotFound, "device not found"},
    {ChipError::IoError, "ftdi_usb_reset failed"},
}};

ChipResult Refusal(ChipError error) {
  for (const OpenRefusal& r : kRefusals) {
    if (r.error == error) return {r.error, r.text, 0};
  }
  return {};
}

constexpr std::size_t kRecordLimit = std::size_t{1} << 22;
constexpr std::size_t kShortRead = 7;

// The handle Open gives out: the adapter's until it is closed, and dead once the adapter has been
// pulled out, even when it is plugged in again.
class FakeChip final : public FtdiChip {
 public:
  explicit FakeChip(SimulatedAdapter& adapter) : adapter_(adapter), plugging_(adapter.Plugging()) {}
  ~FakeChip() override { Close(); }
  FakeChip(const FakeChip&) = delete;
  FakeChip& operator=(const FakeChip&) = delete;

  ChipResult SetBitMode(std::uint8_t outputs, BitMode mode) override {
    return Dead() ? Gone() : adapter_.SetBitMode(outputs, mode);
  }
  ChipResult SetRate(int rate) override { return Dead() ? Gone() : adapter_.SetRate(rate); }
  ChipResult SetLatencyTimer(int ms) override {
    return Dead() ? Gone() : adapter_.SetLatencyTimer(ms);
  }
  ChipResult DiscardReadBuffer() override { return Dead() ? Gone() : adapter_.DiscardReadBuffer(); }
  ChipResult Write(std::span<const std::uint8_t> bytes) override {
    return Dead() ? Gone() : adapter_.Write(bytes);
  }
  ChipResult Read(std::span<std::uint8_t> bytes) override {
    if (Dead()) return {ChipError::NotFound, "usb bulk read failed: LIBUSB_ERROR_NO_DEVICE", 0};
    return adapter_.Read(bytes);
  }
  int PacketPayload() const override { return adapter_.PacketPayload(); }
  void Close() override {
    if (open_ && !Dead()) adapter_.Release();
    open_ = false;
  }

 private:
  bool Dead() const { return adapter_.Plugging() != plugging_; }
  static ChipResult Gone() { return {ChipError::NotFound, "USB device unavailable", 0}; }

  SimulatedAdapter& adapter_;
  int plugging_;
  bool open_ = true;
};

}  // namespace

SimulatedAdapter::SimulatedAdapter(SimulatedAdapterSetup setup, Counter& counter)
    : setup_(std::move(setup)), counter_(counter) {}

std::int64_t SimulatedAdapter::UpdatesPerSecond() const {
  const double perRate =
      setup_.updatesPerRate > 0 ? setup_.updatesPerRate : ModelOf(setup_.product).fastestPerRate;
  return std::max<std::int64_t>(1, std::llround(perRate * rate_));
}

int SimulatedAdapter::PacketPayload() const {
  return ModelOf(setup_.product).packetPayload;
}

void SimulatedAdapter::PlugBackIn() {
  unplugged_ = false;
  open_ = false;
  ++plugging_;
  setup_.faults.unplugAfterBytes = -1;
  mode_ = BitMode::Reset;
  outputs_ = 0;
  replies_.clear();
}

ChipResult SimulatedAdapter::Claim() {
  if (unplugged_) return Refusal(ChipError::NotFound);
  if (open_) return Refusal(ChipError::Busy);
  if (setup_.faults.openError != ChipError::None) return Refusal(setup_.faults.openError);
  open_ = true;
  mode_ = BitMode::Reset;
  rate_ = 2'400;
  latencyMs_ = 16;
  writesSinceOpen_ = 0;
  replies_.clear();
  return {};
}

ChipResult SimulatedAdapter::SetBitMode(std::uint8_t outputs, BitMode mode) {
  if (unplugged_) return {ChipError::NotFound, "USB device unavailable", 0};
  outputs_ = outputs;
  mode_ = mode;
  return {};
}

ChipResult SimulatedAdapter::SetRate(int rate) {
  if (unplugged_) return {ChipError::NotFound, "USB device unavailable", 0};
  if (rate <= 0) return {ChipError::IoError, "Unsupported baudrate", 0};
  rate_ = rate;
  return {};
}

ChipResult SimulatedAdapter::SetLatencyTimer(int ms) {
  if (unplugged_) return {ChipError::NotFound, "USB device unavailable", 0};
  if (ms < 1 || ms > 255)
    return {ChipError::IoError, "latency out of range. Only valid for 1-255", 0};
  latencyMs_ = ms;
  return {};
}

ChipResult SimulatedAdapter::DiscardReadBuffer() {
  if (unplugged_) return {ChipError::NotFound, "USB device unavailable", 0};
  replies_.clear();
  return {};
}

std::size_t SimulatedAdapter::Outstanding() const {
  std::size_t unread = 0;
  for (const Reply& reply : replies_) unread += reply.bytes.size() - reply.taken;
  return unread;
}

ChipResult SimulatedAdapter::Write(std::span<const std::uint8_t> bytes) {
  if (unplugged_) return {ChipError::NotFound, "USB device unavailable", 0};
  ++writes_;
  if (++writesSinceOpen_ == setup_.faults.failWrite) {
    return {ChipError::IoError, "usb bulk write failed", 0};
  }
  // The chip only puts a byte out when it has room for the reading it takes just before: with its
  // read buffer full it stalls, and the write times out.
  if (mode_ != BitMode::SyncBitBang ||
      Outstanding() + bytes.size() > ModelOf(setup_.product).fifo) {
    return {ChipError::IoError, "usb bulk write failed", 0};
  }
  const std::int64_t sent = counter_.Count();
  const std::int64_t start = std::max(sent, pinFreeNs_);
  const std::int64_t perSecond = UpdatesPerSecond();
  Reply reply{{}, 0, 0};
  for (std::uint8_t byte : bytes) {
    const std::int64_t unplugAt = setup_.faults.unplugAfterBytes;
    if (unplugAt >= 0 && static_cast<std::int64_t>(bytesOut_) >= unplugAt) {
      unplugged_ = true;
      break;
    }
    const auto i = static_cast<std::int64_t>(reply.bytes.size());
    pinNowNs_ = start + i * 1'000'000'000 / perSecond;
    reply.bytes.push_back(ReadPins());
    PutOut(byte);
    ++bytesOut_;
  }
  pinFreeNs_ = start + static_cast<std::int64_t>(reply.bytes.size()) * 1'000'000'000 / perSecond;
  // The chip sends a full packet at once, but holds a part-filled last one back until its latency
  // timer runs out.
  const bool partPacket = reply.bytes.size() % static_cast<std::size_t>(PacketPayload()) != 0;
  const std::int64_t heldNs = partPacket ? std::int64_t{latencyMs_} * 1'000'000 : 0;
  reply.readyNs = std::max(sent + setup_.roundTripNs, pinFreeNs_) + heldNs;
  replies_.push_back(std::move(reply));
  mostOutstanding_ = std::max(mostOutstanding_, Outstanding());
  return {ChipError::None, {}, static_cast<int>(bytes.size())};
}

ChipResult SimulatedAdapter::Read(std::span<std::uint8_t> bytes) {
  ++readCalls_;
  if (unplugged_) return {ChipError::NotFound, "usb bulk read failed: LIBUSB_ERROR_NO_DEVICE", 0};
  if (setup_.faults.shortReads && readCalls_ % 3 == 0) return {};
  if (setup_.faults.mute || Outstanding() == 0) {
    // Nothing to send: the chip answers with status bytes alone when its latency timer runs out.
    WaitUntil(counter_.Count() + std::int64_t{latencyMs_} * 1'000'000);
    return {};
  }
  if (setup_.faults.trickleEmptyReads > 0 && trickleLeft_-- > 0) {
    WaitUntil(counter_.Count() + std::int64_t{latencyMs_} * 1'000'000);
    return {};
  }
  trickleLeft_ = setup_.faults.trickleEmptyReads;
  WaitUntil(replies_.front().readyNs);
  const std::int64_t now = counter_.Count();
  const std::size_t limit = setup_.faults.trickleEmptyReads > 0
                                ? std::min<std::size_t>(1, bytes.size())
                            : setup_.faults.shortReads ? std::min(kShortRead, bytes.size())
                                                       : bytes.size();
  std::size_t count = 0;
  while (count < limit && !replies_.empty() && replies_.front().readyNs <= now) {
    Reply& reply = replies_.front();
    const std::size_t n = std::min(limit - count, reply.bytes.size() - reply.taken);
    std::copy_n(reply.bytes.begin() + static_cast<std::ptrdiff_t>(reply.taken), n,
                bytes.begin() + static_cast<std::ptrdiff_t>(count));
    reply.taken += n;
    count += n;
    if (reply.taken == reply.bytes.size()) replies_.pop_front();
  }
  return {ChipError::None, {}, static_cast<int>(count)};
}

void SimulatedAdapter::WaitUntil(std::int64_t ns) {
  while (counter_.Count() < ns) {
  }
}

// The pins just before the next update: outputs as last put out, inputs as the far end drives its
// lines, and unwired inputs pulled high.
std::uint8_t SimulatedAdapter::ReadPins() const {
  auto pins = static_cast<std::uint8_t>(driven_ & outputs_);
  const std::uint8_t status = setup_.farEnd ? setup_.farEnd->Read(kFarStatus) : 0xFF;
  for (int pin = 0; pin < 8; ++pin) {
    const auto bit = static_cast<std::uint8_t>(1u << pin);
    if ((outputs_ & bit) != 0) continue;
    bool high = true;
    for (const PinRoute& route : kUsbPinMap) {
      if (route.output || route.pin != pin || !setup_.farEnd) continue;
      high = ((status & route.line) != 0) != ((route.line & kBusyBit) != 0);
    }
    if (high) pins = static_cast<std::uint8_t>(pins | bit);
  }
  return pins;
}

void SimulatedAdapter::PutOut(std::uint8_t byte) {
  driven_ = byte;
  std::uint8_t data = 0;
  for (const PinRoute& route : kUsbPinMap) {
    const auto bit = static_cast<std::uint8_t>(1u << route.pin);
    if (route.output && (outputs_ & byte & bit) != 0) {
      data = static_cast<std::uint8_t>(data | route.line);
    }
  }
  if (data == farData_) return;
  farData_ = data;
  if (setup_.farEnd) setup_.farEnd->Write(kFarData, data);
  if (recording_ && lines_.size() < kRecordLimit) lines_.push_back({pinNowNs_, data});
}

SimulatedAdapter& SimulatedFtdiBus::Plug(SimulatedAdapterSetup setup) {
  adapters_.push_back(std::make_unique<SimulatedAdapter>(std::move(setup), counter_));
  return *adapters_.back();
}

std::vector<ChipListing> SimulatedFtdiBus::List(std::uint16_t vendor, std::uint16_t product) {
  std::vector<ChipListing> found;
  if (vendor != kFtdiVendor) return found;
  for (const auto& adapter : adapters_) {
    const SimulatedAdapterSetup& setup = adapter->Setup();
    if (adapter->Unplugged() || setup.product != product) continue;
    if (setup.faults.serialUnreadable) {
      found.push_back(
          {vendor, product, {}, {ChipError::PermissionDenied, "libusb_open() failed", 0}});
    } else {
      found.push_back({vendor, product, setup.serial, {}});
    }
  }
  return found;
}

FtdiBus::Opened SimulatedFtdiBus::Open(std::uint16_t vendor, std::uint16_t product,
                                       const std::string& serial) {
  for (const auto& adapter : adapters_) {
    const SimulatedAdapterSetup& setup = adapter->Setup();
    if (vendor != kFtdiVendor || setup.product != product ||
        (!serial.empty() && setup.serial != serial) || adapter->Unplugged()) {
      continue;
    }
    if (ChipResult claimed = adapter->Claim(); !claimed.ok()) return {nullptr, claimed};
    return {std::make_unique<FakeChip>(*adapter), {}};
  }
  return {nullptr, Refusal(ChipError::NotFound)};
}

}  // namespace fennow
