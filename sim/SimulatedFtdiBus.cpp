// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/SimulatedFtdiBus.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "ports/usb/ChipModels.h"
#include "ports/usb/LibFtdiErrors.h"
#include "ports/usb/PinMap.h"
#include "sim/FakeChipFacts.h"

namespace fennow {

using namespace fake_chip;

namespace {

// The lead's far end is a parallel port's registers.
constexpr std::uint16_t kFarData = 0x378;
constexpr std::uint16_t kFarStatus = 0x379;
// A parallel port shows its BUSY input (status bit 7) inverted, so the wire carries the opposite.
constexpr std::uint8_t kBusyBit = 0x80;

constexpr std::size_t kRecordLimit = std::size_t{1} << 22;
constexpr std::size_t kShortRead = 7;
constexpr int kMaxReadChunk = 16384;  // libftdi's cap on Linux

// The handle Open gives out: the adapter's until it is closed, and dead once the adapter has been
// pulled out, even when it is plugged in again.
class FakeChip final : public FtdiChip {
 public:
  explicit FakeChip(SimulatedAdapter& adapter) : adapter_(adapter), plugging_(adapter.Plugging()) {}
  ~FakeChip() override { Close(); }
  FakeChip(const FakeChip&) = delete;
  FakeChip& operator=(const FakeChip&) = delete;

  // A handle from before the adapter was pulled out fails as an unplugged one does.
  ChipResult SetBitMode(std::uint8_t outputs, BitMode mode) override {
    return Dead() ? SettingGone(Setting::BitMode) : adapter_.SetBitMode(outputs, mode);
  }
  ChipResult SetRate(int rate) override {
    return Dead() ? SettingGone(Setting::Rate) : adapter_.SetRate(rate);
  }
  ChipResult SetLatencyTimer(int ms) override {
    return Dead() ? SettingGone(Setting::Latency) : adapter_.SetLatencyTimer(ms);
  }
  ChipResult DiscardReadBuffer() override {
    return Dead() ? SettingGone(Setting::Purge) : adapter_.DiscardReadBuffer();
  }
  ChipResult Write(std::span<const std::uint8_t> bytes) override {
    return Dead() ? WriteFailed(false) : adapter_.Write(bytes);
  }
  ChipResult Read(std::span<std::uint8_t> bytes) override {
    return Dead() ? ReadGone() : adapter_.Read(bytes);
  }
  ChipResult Stream(std::span<const std::uint8_t> out, std::span<std::uint8_t> back,
                    int limitMs) override {
    return Dead() ? WriteFailed(false) : adapter_.Stream(out, back, limitMs);
  }
  ChipResult SetReadChunkSize(int bytes) override { return adapter_.SetReadChunkSize(bytes); }
  int PacketPayload() const override { return adapter_.PacketPayload(); }
  void Close() override {
    if (open_ && !Dead()) adapter_.Release();
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
    : setup_(std::move(setup)), counter_(counter) {}

std::int64_t SimulatedAdapter::UpdatesPerSecond() const {
  const double perRate =
      setup_.updatesPerRate > 0 ? setup_.updatesPerRate : ModelOf(setup_.product).fastestPerRate;
  return std::max<std::int64_t>(1, std::llround(perRate * rate_));
}

int SimulatedAdapter::PacketPayload() const {
  return ModelOf(setup_.product).packetPayload;
}

std::int64_t SimulatedAdapter::FrameNs() const {
  return ModelOf(setup_.product).frameNs;
}

void SimulatedAdapter::PlugBackIn() {
  unplugged_ = false;
  open_ = false;
  ++plugging_;
  setup_.faults.unplugAfterBytes = -1;
  setup_.faults.unplugAtClockPulse = 0;
  clockPulses_ = 0;
  mode_ = BitMode::Reset;
  outputs_ = 0;
  replies_.clear();
}

ChipResult SimulatedAdapter::Claim() {
  if (unplugged_) return NotOnBus();
  if (open_) return Refusal(ChipError::Busy);
  if (setup_.faults.openError != ChipError::None) return Refusal(setup_.faults.openError);
  open_ = true;
  mode_ = BitMode::Reset;
  rate_ = 2'400;
  latencyMs_ = 16;
  readChunk_ = 4096;
  writesSinceOpen_ = 0;
  replies_.clear();
  return {};
}

ChipResult SimulatedAdapter::SetBitMode(std::uint8_t outputs, BitMode mode) {
  if (unplugged_) return SettingGone(Setting::BitMode);
  outputs_ = outputs;
  mode_ = mode;
  return {};
}

ChipResult SimulatedAdapter::SetRate(int rate) {
  if (unplugged_) return SettingGone(Setting::Rate);
  if (rate <= 0) return ChipResultOf({FtdiCall::Setting, -1, "Silly baudrate <= 0."});
  rate_ = rate;
  return {};
}

ChipResult SimulatedAdapter::SetLatencyTimer(int ms) {
  if (unplugged_) return SettingGone(Setting::Latency);
  if (ms < 1 || ms > 255) {
    return ChipResultOf({FtdiCall::Setting, -1, "latency out of range. Only valid for 1-255"});
  }
  latencyMs_ = ms;
  return {};
}

ChipResult SimulatedAdapter::SetReadChunkSize(int bytes) {
  // Only libftdi's own buffer changes: it can fail for want of memory alone.
  readChunk_ = std::clamp(bytes, 1, kMaxReadChunk);
  replies_.erase(
      std::remove_if(replies_.begin(), replies_.end(), [](const Reply& r) { return r.taken > 0; }),
      replies_.end());
  return {};
}

ChipResult SimulatedAdapter::DiscardReadBuffer() {
  if (unplugged_) return SettingGone(Setting::Purge);
  replies_.clear();
  return {};
}

std::size_t SimulatedAdapter::Outstanding() const {
  std::size_t unread = 0;
  for (const Reply& reply : replies_) unread += reply.bytes.size() - reply.taken;
  return unread;
}

ChipResult SimulatedAdapter::Write(std::span<const std::uint8_t> bytes) {
  if (unplugged_) return WriteFailed(false);
  ++writes_;
  if (++writesSinceOpen_ == setup_.faults.failWrite) return WriteFailed(true);
  // The chip only puts a byte out when it has room for the reading it takes just before: with its
  // read buffer full it stalls, and the write times out.
  if (mode_ != BitMode::SyncBitBang ||
      Outstanding() + bytes.size() > ModelOf(setup_.product).fifo) {
    return WriteFailed(true);
  }
  const std::int64_t sent = counter_.Count();
  const std::int64_t start = std::max(sent, pinFreeNs_);
  const std::int64_t perSecond = UpdatesPerSecond();
  Reply reply{{}, 0, 0};
  for (std::uint8_t byte : bytes) {
    if (PulledOutNow()) break;
    const auto i = static_cast<std::int64_t>(reply.bytes.size());
    pinNowNs_ = start + i * 1'000'000'000 / perSecond;
    reply.bytes.push_back(ReadPins());
    PutOut(byte);
    ++bytesOut_;
  }
  pinFreeNs_ = start + static_cast<std::int64_t>(reply.bytes.size()) * 1'000'000'000 / perSecond;
  // The chip sends a full packet at once, but a part-filled last one only when its latency timer
  // runs out; and a USB read asked for more than the reply ends only on a short packet, which
  // waits for the timer too (libftdi 1.5's ftdi_read_data asks for its whole chunk).
  const auto payload = static_cast<std::size_t>(PacketPayload());
  const std::size_t packets = (reply.bytes.size() + payload - 1) / payload;
  const bool partPacket = reply.bytes.size() % payload != 0;
  const bool chunkLonger = static_cast<std::size_t>(readChunk_) > packets * (payload + 2);
  const std::int64_t heldNs = partPacket || chunkLonger ? std::int64_t{latencyMs_} * 1'000'000 : 0;
  // The host sees the reply at the start of the USB frame after it is complete.
  const std::int64_t frame = FrameNs();
  const std::int64_t complete = std::max(sent + setup_.roundTripNs, pinFreeNs_) + heldNs;
  reply.readyNs = (complete + frame - 1) / frame * frame;
  // A clone chip on some USB 3 controllers loses whole packets on the way back.
  if (setup_.faults.dropEveryPacket > 0) {
    std::vector<std::uint8_t> kept;
    for (std::size_t p = 0; p < packets; ++p) {
      if (++packetsSent_ % static_cast<std::uint64_t>(setup_.faults.dropEveryPacket) == 0) continue;
      const auto from = reply.bytes.begin() + static_cast<std::ptrdiff_t>(p * payload);
      const auto to = reply.bytes.begin() +
                      static_cast<std::ptrdiff_t>(std::min(reply.bytes.size(), (p + 1) * payload));
      kept.insert(kept.end(), from, to);
    }
    dropped_ += reply.bytes.size() - kept.size();
    reply.bytes = std::move(kept);
  }
  replies_.push_back(std::move(reply));
  mostOutstanding_ = std::max(mostOutstanding_, Outstanding());
  return {ChipError::None, {}, static_cast<int>(bytes.size())};
}

ChipResult SimulatedAdapter::Read(std::span<std::uint8_t> bytes) {
  ++readCalls_;
  if (unplugged_) return ReadGone();
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

// The chip's time passes on the host's clock: asleep where the clock can sleep, as a host waiting
// on the USB bus does.
void SimulatedAdapter::WaitUntil(std::int64_t ns) {
  counter_.SleepUntil(ns);
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

bool SimulatedAdapter::PulledOutNow() {
  const std::int64_t unplugAt = setup_.faults.unplugAfterBytes;
  if (unplugAt >= 0 && static_cast<std::int64_t>(bytesOut_) >= unplugAt) unplugged_ = true;
  return unplugged_;
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
  if ((data & ~farData_ & LinkClock) != 0 && ++clockPulses_ == setup_.faults.unplugAtClockPulse) {
    unplugged_ = true;  // this update still reached the lead
  }
  farData_ = data;
  if (setup_.farEnd) setup_.farEnd->Write(kFarData, data);
  if (recording_ && lines_.size() < kRecordLimit) lines_.push_back({pinNowNs_, data});
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
