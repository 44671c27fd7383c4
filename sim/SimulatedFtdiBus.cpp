// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/SimulatedFtdiBus.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "ports/usb/ChipModels.h"
#include "ports/usb/LibFtdiErrors.h"
#include "ports/usb/PinMap.h"

namespace fennow {

namespace {

// The lead's far end is a parallel port's registers.
constexpr std::uint16_t kFarData = 0x378;
constexpr std::uint16_t kFarStatus = 0x379;
// A parallel port shows its BUSY input (status bit 7) inverted, so the wire carries the opposite.
constexpr std::uint8_t kBusyBit = 0x80;

// The chips as simulated: the fastest pin rate reported per unit of the rate argument; the data
// in one packet to the host (a USB packet less the chip's two status bytes); its buffer for the
// pins' readings, the most bytes that may be written and not yet read back before the chip stalls
// (the FT232R's 128-byte transmit buffer, the figure both reference drivers keep to; the
// FT232H's 1 KiB), and its buffer for bytes from the host (256 bytes and 1 KiB: FT232R and FT232H
// datasheets); the USB frame, 1 ms at full speed (FT232R) and a 125 us microframe at high speed
// (FT232H); and the most bulk packets a frame carries, both ways together (USB 2.0, tables 5-9
// and 5-10: 19 of 64 bytes at full speed, 13 of 512 at high speed).
struct FakeChipModel {
  std::uint16_t product;
  double fastestPerRate;
  int packetPayload;
  std::size_t fifo;
  std::size_t fromHost;
  std::int64_t frameNs;
  int packetsPerFrame;
};
constexpr std::array<FakeChipModel, 2> kFakeChips{{
    {0x6001, 64.0, 62, 128, 256, 1'000'000, 19},
    {0x6014, 80.0, 510, 1024, 1024, 125'000, 13},
}};

const FakeChipModel& ModelOf(std::uint16_t product) {
  const auto found = std::find_if(kFakeChips.begin(), kFakeChips.end(),
                                  [&](const FakeChipModel& m) { return m.product == product; });
  return found != kFakeChips.end() ? *found : kFakeChips.front();
}

// How each refusal at open comes from libftdi 1.5's ftdi_usb_open_dev, with libusb's code where
// libusb_open is what failed.
struct OpenRefusal {
  ChipError error;
  int code;
  const char* text;
  int openCode;
};
constexpr std::array<OpenRefusal, 4> kRefusals{{
    {ChipError::PermissionDenied, -4, "libusb_open() failed", libusb::kAccess},
    {ChipError::Busy, -5,
     "unable to claim usb device. Make sure the default FTDI driver is not in use",
     libusb::kSuccess},
    {ChipError::NotFound, -4, "libusb_open() failed", libusb::kNoDevice},
    {ChipError::IoError, -6, "ftdi_usb_reset failed", libusb::kSuccess},
}};

ChipResult Refusal(ChipError error) {
  for (const OpenRefusal& r : kRefusals) {
    if (r.error == error) return ChipResultOf({FtdiCall::Open, r.code, r.text, r.openCode});
  }
  return {};
}

// What libftdi says when a device has gone from under an open handle: its control transfers (the
// settings) fail with the words of each, a bulk write with "usb bulk write failed", and a read
// passes libusb's LIBUSB_ERROR_NO_DEVICE on.
enum class Setting { BitMode, Rate, Latency, Purge };
struct SettingFailure {
  Setting setting;
  int code;
  const char* text;
};
constexpr std::array<SettingFailure, 4> kSettingFailures{{
    {Setting::BitMode, -1, "unable to configure bitbang mode. Perhaps not a BM/2232C type chip?"},
    {Setting::Rate, -2, "Setting new baudrate failed"},
    {Setting::Latency, -2, "unable to set latency timer"},
    {Setting::Purge, -1, "FTDI purge of RX buffer failed"},
}};

ChipResult SettingGone(Setting setting) {
  for (const SettingFailure& f : kSettingFailures) {
    if (f.setting == setting) {
      return ChipResultOf({FtdiCall::Setting, f.code, f.text, libusb::kSuccess, false});
    }
  }
  return {};
}

ChipResult WriteFailed(bool onBus) {
  return ChipResultOf({FtdiCall::Write, -1, "usb bulk write failed", libusb::kSuccess, onBus});
}

ChipResult ReadGone() {
  return ChipResultOf({FtdiCall::Read, libusb::kNoDevice, "usb bulk read failed"});
}

ChipResult NotOnBus() {
  return ChipResultOf({FtdiCall::Open, -3, "device not found", libusb::kSuccess, false});
}

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

// The stream as the bus and the chip carry it, one bulk packet at a time: a frame has room for
// packetsPerFrame of them, in either direction. A packet from the host goes in when the chip's
// buffer has room for it; the pins take a byte from that buffer at each update, and only while
// the buffer for their readings has room (they hold their level otherwise); the chip sends its
// readings when a packet's worth is in, or when the latency timer runs out, even with none. The
// host has the whole reply no sooner than a round trip after it began, at the start of a frame.
ChipResult SimulatedAdapter::Stream(std::span<const std::uint8_t> out, std::span<std::uint8_t> back,
                                    int limitMs) {
  if (unplugged_) return WriteFailed(false);
  ++writes_;
  if (++writesSinceOpen_ == setup_.faults.failWrite || mode_ != BitMode::SyncBitBang) {
    return WriteFailed(true);
  }
  const FakeChipModel& model = ModelOf(setup_.product);
  const std::int64_t slotNs = model.frameNs / model.packetsPerFrame;
  const auto payload = static_cast<std::size_t>(model.packetPayload);
  const std::size_t packet = payload + 2;
  const std::int64_t latencyNs = std::int64_t{latencyMs_} * 1'000'000;
  const std::int64_t perSecond = UpdatesPerSecond();
  const std::int64_t start = counter_.Count();
  const std::int64_t deadline = start + std::int64_t{limitMs} * 1'000'000;

  // Readings from before the stream are sent first.
  std::vector<std::uint8_t> readings;
  for (const Reply& reply : replies_) {
    readings.insert(readings.end(), reply.bytes.begin() + static_cast<std::ptrdiff_t>(reply.taken),
                    reply.bytes.end());
  }
  replies_.clear();
  std::size_t delivered = 0;  // bytes of `out` in the chip
  std::size_t putOut = 0;     // of them, put out at the pins
  std::size_t sent = 0;       // readings sent to the host, lost packets included
  std::size_t received = 0;   // bytes in `back`
  std::int64_t runStart = std::max(start, pinFreeNs_);  // since the pins last waited
  std::int64_t runUpdates = 0;
  std::int64_t lastPacketNs = start;
  std::int64_t lastDataNs = start;
  bool inLast = false;
  std::int64_t t = start;
  for (; received < back.size() && t < deadline; t += slotNs) {
    // The pins, up to this slot.
    for (;;) {
      const std::int64_t at = runStart + runUpdates * 1'000'000'000 / perSecond;
      if (at > t) break;
      if (putOut == delivered || readings.size() - sent >= model.fifo) {
        runStart = std::max(at, t);  // waiting, for a byte or for room
        runUpdates = 0;
        break;
      }
      if (PulledOutNow()) {
        WaitUntil(t);
        return delivered < out.size() ? WriteFailed(false) : ReadGone();
      }
      pinNowNs_ = at;
      readings.push_back(ReadPins());
      PutOut(out[putOut++]);
      ++bytesOut_;
      ++runUpdates;
    }
    // One packet on the bus, the two directions taking turns when both have one.
    const std::size_t waiting = readings.size() - sent;
    const bool toHost =
        !setup_.faults.mute && (waiting >= payload || t - lastPacketNs >= latencyNs);
    const std::size_t nextOut = std::min(packet, out.size() - delivered);
    const bool fromHost =
        delivered < out.size() && model.fromHost - (delivered - putOut) >= nextOut;
    if (toHost && (!fromHost || !inLast)) {
      const std::size_t n = std::min(payload, waiting);
      lastPacketNs = t;
      inLast = true;
      if (n == 0) continue;
      const bool lost =
          setup_.faults.dropEveryPacket > 0 &&
          ++packetsSent_ % static_cast<std::uint64_t>(setup_.faults.dropEveryPacket) == 0;
      if (lost) {
        dropped_ += n;
      } else {
        const std::size_t take = std::min(n, back.size() - received);
        std::copy_n(readings.begin() + static_cast<std::ptrdiff_t>(sent), take,
                    back.begin() + static_cast<std::ptrdiff_t>(received));
        received += take;
        lastDataNs = t + slotNs;
      }
      sent += n;
    } else if (fromHost) {
      delivered += nextOut;
      inLast = false;
    }
  }
  pinFreeNs_ = runStart + runUpdates * 1'000'000'000 / perSecond;
  const std::int64_t frame = model.frameNs;
  const std::int64_t seen = std::max(lastDataNs, start + setup_.roundTripNs);
  WaitUntil(received < back.size() ? deadline : (seen + frame - 1) / frame * frame);
  return {ChipError::None, {}, static_cast<int>(received)};
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
