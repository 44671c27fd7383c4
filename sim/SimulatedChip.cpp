// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/SimulatedChip.h"

#include <algorithm>
#include <array>
#include <cmath>

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
constexpr std::size_t kShortPacket = 7;

// In serial mode D0 is TXD, which idles high, D2 is RTS# and D4 DTR#, high while not asserted;
// the other pins are inputs, pulled up inside the chip (DS_FT232R, DS_FT232H).
constexpr std::uint8_t kTxd = 1u << 0;
constexpr std::uint8_t kRts = 1u << 2;
constexpr std::uint8_t kDtr = 1u << 4;
constexpr std::uint8_t kSerialOutputs = kTxd | kRts | kDtr;

// FTDI's vendor requests (ftdi.h of libftdi 1.5; ftdi_sio.h of the kernel).
enum class Request : std::uint8_t {
  Reset = 0x00,
  ModemControl = 0x01,
  FlowControl = 0x02,
  BaudRate = 0x03,
  Data = 0x04,
  ModemStatus = 0x05,
  EventChar = 0x06,
  ErrorChar = 0x07,
  SetLatency = 0x09,
  GetLatency = 0x0A,
  BitMode = 0x0B,
  ReadPins = 0x0C,
  ReadEeprom = 0x90,
};

// SIO_RESET_REQUEST's wValue: the serial engine, or one buffer (libftdi 1.5's SIO_TCOFLUSH drops
// what the host sent and the chip has not put out, SIO_TCIFLUSH what it has for the host).
constexpr std::uint16_t kResetSio = 0;
constexpr std::uint16_t kFlushFromHost = 1;
constexpr std::uint16_t kFlushToHost = 2;

// The sub-divisor's code in the encoded divisor, as eighths (ftdi_to_clkbits' frac_code, inverted).
constexpr std::array<int, 8> kEighths{0, 4, 2, 1, 3, 5, 6, 7};

}  // namespace

SimulatedChip::SimulatedChip(SimulatedAdapterSetup& setup) : setup_(setup) {}

// Looked up each time: the setup is its owner's, who may fill it in after making the chip.
const FakeChipModel& SimulatedChip::Model() const {
  return ModelOf(setup_.product);
}

int SimulatedChip::PacketSize() const {
  return Model().packetSize;
}

int SimulatedChip::PacketPayload() const {
  return PacketSize() - static_cast<int>(kStatusBytes.size());
}

int SimulatedChip::Rate() const {
  return static_cast<int>(baud_ / 4);
}

std::int64_t SimulatedChip::UpdatesPerSecond() const {
  const double perRate = setup_.updatesPerRate > 0 ? setup_.updatesPerRate : Model().fastestPerRate;
  return std::max<std::int64_t>(1, std::llround(perRate * static_cast<double>(baud_) / 4));
}

void SimulatedChip::PowerUp(std::int64_t nowNs) {
  unplugged_ = false;
  rawMode_ = kModeReset;
  outputs_ = 0;
  latch_ = 0;
  dtr_ = rts_ = false;
  baud_ = 9'600;
  latencyMs_ = 16;
  fromHost_.clear();
  readings_.clear();
  runStartNs_ = lastPacketNs_ = nowNs;
  runUpdates_ = 0;
  waiting_ = true;
  clockPulses_ = loopDrives_ = 0;
  emptyBeforeByte_ = 0;
  pinNowNs_ = nowNs;
  ShowLines(nowNs);
}

ControlReply SimulatedChip::Control(const SetupPacket& setup, std::span<const std::uint8_t>,
                                    std::int64_t nowNs) {
  RunPins(nowNs);
  constexpr std::uint8_t kTypeMask = 0x60;
  constexpr std::uint8_t kVendor = 0x40;
  ControlReply reply =
      (setup.requestType & kTypeMask) == kVendor ? Vendor(setup, nowNs) : Standard(setup);
  if (reply.data.size() > setup.length) reply.data.resize(setup.length);
  return reply;
}

ControlReply SimulatedChip::Vendor(const SetupPacket& setup, std::int64_t nowNs) {
  ControlReply reply;
  switch (static_cast<Request>(setup.request)) {
    case Request::Reset:
      if (setup.value == kResetSio) {
        dtr_ = rts_ = false;
        fromHost_.clear();
        readings_.clear();
        ShowLines(nowNs);
      } else {
        Purge(setup.value);
      }
      break;
    case Request::ModemControl:
      // wValue: DTR in bit 0 and RTS in bit 1, each changed only where its mask bit (8, 9) is set.
      if ((setup.value & 0x100) != 0) dtr_ = (setup.value & 1) != 0;
      if ((setup.value & 0x200) != 0) rts_ = (setup.value & 2) != 0;
      ShowLines(nowNs);
      break;
    case Request::BaudRate:
      SetBaudDivisor(setup.value, setup.index);
      break;
    case Request::SetLatency:
      // 0 is taken as 1: the timer counts whole milliseconds and cannot run out sooner.
      latencyMs_ = std::max(1, setup.value & 0xFF);
      break;
    case Request::BitMode:
      SetBitMode(static_cast<std::uint8_t>(setup.value & 0xFF),
                 static_cast<std::uint8_t>(setup.value >> 8), nowNs);
      break;
    case Request::FlowControl:
    case Request::Data:
    case Request::EventChar:
    case Request::ErrorChar:
      break;  // serial-port settings, which bit-bang mode does not use
    case Request::ModemStatus:
      reply.data.assign(kStatusBytes.begin(), kStatusBytes.end());
      break;
    case Request::GetLatency:
      reply.data = {static_cast<std::uint8_t>(latencyMs_)};
      break;
    case Request::ReadPins:
      reply.data = {ReadPins()};
      break;
    case Request::ReadEeprom: {
      // A programmed EEPROM whose other words are all 0; a blank one (no serial number) reads
      // every word as 0xFFFF.
      const std::uint8_t fill = setup_.serial.empty() ? 0xFF : 0x00;
      reply.data = {fill, fill};
      break;
    }
    default:
      reply.stalled = true;
  }
  return reply;
}

// The encoded divisor as ftdi_convert_baudrate splits it into wValue and wIndex (src/ftdi.c): the
// whole part in value[13:0], the sub-divisor's code in value[15:14] and its high bit in wIndex
// bit 0 (FT232R) or bit 8 (FT232H, whose bit 9 picks the 12 MHz base clock). Divisors 0 and 1
// stand for 1 and 1.5 (AN120).
void SimulatedChip::SetBaudDivisor(std::uint16_t value, std::uint16_t index) {
  const bool high = Model().highSpeed;
  const int codeHigh = high ? (index >> 8) & 1 : index & 1;
  const int code = codeHigh << 2 | value >> 14;
  const int whole = value & 0x3FFF;
  const std::int64_t clock = high && (index & 0x200) != 0 ? kHighBaseClock : kBaseClock;
  std::int64_t eighths = whole * 8 + kEighths[static_cast<std::size_t>(code)];
  if (whole == 0 && code == 0) eighths = 8;
  if (whole == 1 && code == 0) eighths = 12;
  // The pins' clock goes on from the update that was next due, at the new rate.
  const std::int64_t next = runStartNs_ + runUpdates_ * 1'000'000'000 / UpdatesPerSecond();
  baud_ = std::max<std::int64_t>(1, clock * 8 / eighths);
  runStartNs_ = std::max(next, pinNowNs_);
  runUpdates_ = 0;
}

void SimulatedChip::SetBitMode(std::uint8_t outputs, std::uint8_t mode, std::int64_t nowNs) {
  rawMode_ = mode;
  outputs_ = outputs;
  // The pins start from the time the mode is set, waiting for bytes.
  runStartNs_ = nowNs;
  runUpdates_ = 0;
  pinNowNs_ = std::max(pinNowNs_, nowNs);
  ShowLines(nowNs);
}

void SimulatedChip::Purge(std::uint16_t which) {
  if (which == kFlushFromHost) fromHost_.clear();
  if (which == kFlushToHost) readings_.clear();
}

// Which of D0..D7 the chip drives, and their levels: in bit-bang mode the outputs show the
// bit-bang register (0 until a byte is put out); in serial mode TXD idles high and RTS# and DTR#
// follow the modem-control settings, inverted.
SimulatedChip::Drive SimulatedChip::Driven() const {
  if (Mode() != BitMode::Reset) return {outputs_, latch_};
  return {kSerialOutputs, static_cast<std::uint8_t>(kTxd | (rts_ ? 0 : kRts) | (dtr_ ? 0 : kDtr))};
}

std::uint8_t SimulatedChip::LinesDriven() const {
  const Drive drive = Driven();
  // Pins not driven are pulled up, so the far end sees them high.
  const auto pins = static_cast<std::uint8_t>((drive.levels & drive.mask) | ~drive.mask);
  std::uint8_t lines = 0;
  for (const PinRoute& route : kUsbPinMap) {
    if (route.output && (pins & (1u << route.pin)) != 0) {
      lines = static_cast<std::uint8_t>(lines | route.line);
    }
  }
  return lines;
}

void SimulatedChip::ShowLines(std::int64_t nowNs) {
  const std::uint8_t lines = LinesDriven();
  if (lines == farLines_) return;
  pinNowNs_ = std::max(pinNowNs_, nowNs);
  // A change that pulls it out still reaches the lead.
  const auto rising = static_cast<std::uint8_t>(lines & ~farLines_);
  if ((rising & LinkClock) != 0 && ++clockPulses_ == setup_.faults.unplugAtClockPulse) {
    unplugged_ = true;
  }
  if ((rising & LoopDrive) != 0 && ++loopDrives_ == setup_.faults.unplugAtLoopDrive) {
    unplugged_ = true;
  }
  farLines_ = lines;
  if (setup_.farEnd) setup_.farEnd->Write(kFarData, lines);
  if (recording_ && lines_.size() < kRecordLimit) lines_.push_back({pinNowNs_, lines});
}

void SimulatedChip::PutOut(std::uint8_t byte) {
  latch_ = byte;
  ShowLines(pinNowNs_);
}

// The pins just before the next update: outputs as driven, inputs as the far end drives its lines,
// and unwired inputs pulled high.
std::uint8_t SimulatedChip::ReadPins() const {
  const auto [mask, levels] = Driven();
  auto pins = static_cast<std::uint8_t>(levels & mask);
  const std::uint8_t status = setup_.farEnd ? setup_.farEnd->Read(kFarStatus) : 0xFF;
  for (int pin = 0; pin < 8; ++pin) {
    const auto bit = static_cast<std::uint8_t>(1u << pin);
    if ((mask & bit) != 0) continue;
    bool high = true;
    for (const PinRoute& route : kUsbPinMap) {
      if (route.output || route.pin != pin || !setup_.farEnd) continue;
      high = ((status & route.line) != 0) != ((route.line & kBusyBit) != 0);
    }
    if (high) pins = static_cast<std::uint8_t>(pins | bit);
  }
  return pins;
}

bool SimulatedChip::PulledOutNow() {
  const std::int64_t unplugAt = setup_.faults.unplugAfterBytes;
  if (unplugAt >= 0 && static_cast<std::int64_t>(bytesOut_) >= unplugAt) unplugged_ = true;
  return unplugged_;
}

// In synchronous bit-bang mode the chip updates its pins only while it has a byte from the host
// and room for the reading it takes just before (AN_232R-01); otherwise they hold their level and
// the clock starts again when it can go on. Other modes put nothing out: bytes from the host in
// serial mode would go out on TXD as serial frames, which no part of the program sends.
void SimulatedChip::RunPins(std::int64_t nowNs) {
  if (unplugged_ || rawMode_ != kModeSyncBitBang) return;
  const std::int64_t perSecond = UpdatesPerSecond();
  const std::size_t room = Model().fifo;
  for (;;) {
    const std::int64_t at = runStartNs_ + runUpdates_ * 1'000'000'000 / perSecond;
    if (at > nowNs) return;
    const bool full = readings_.size() >= room;
    if (fromHost_.empty() || full) {
      if (full && !fromHost_.empty() && !waiting_) ++stalls_;
      waiting_ = true;
      runStartNs_ = nowNs;
      runUpdates_ = 0;
      return;
    }
    waiting_ = false;
    if (PulledOutNow()) return;
    pinNowNs_ = at;
    const std::uint8_t reading = ReadPins();
    if (!setup_.faults.mute) readings_.push_back(reading);
    const std::uint8_t byte = fromHost_.front();
    fromHost_.pop_front();
    PutOut(byte);
    ++bytesOut_;
    ++runUpdates_;
    if (unplugged_) return;
  }
}

bool SimulatedChip::TakeFromHost(std::span<const std::uint8_t> packet, std::int64_t nowNs) {
  RunPins(nowNs);
  if (unplugged_) return false;
  if (fromHost_.size() + packet.size() > Model().fromHost) return false;
  if (rawMode_ != kModeSyncBitBang) return true;
  fromHost_.insert(fromHost_.end(), packet.begin(), packet.end());
  mostOutstanding_ = std::max(mostOutstanding_, fromHost_.size() + readings_.size());
  return true;
}

std::vector<std::uint8_t> SimulatedChip::Packet(std::size_t take) {
  std::vector<std::uint8_t> packet(kStatusBytes.size() + take);
  std::copy(kStatusBytes.begin(), kStatusBytes.end(), packet.begin());
  for (std::size_t i = kStatusBytes.size(); i < packet.size(); ++i) {
    packet[i] = readings_.front();
    readings_.pop_front();
  }
  return packet;
}

std::optional<std::vector<std::uint8_t>> SimulatedChip::SendToHost(std::int64_t nowNs) {
  RunPins(nowNs);
  if (unplugged_) return std::nullopt;
  const SimulatedAdapterFaults& faults = setup_.faults;
  const auto payload = static_cast<std::size_t>(PacketPayload());
  const bool timerOut = nowNs - lastPacketNs_ >= std::int64_t{latencyMs_} * 1'000'000;
  std::size_t take = 0;
  if (faults.trickleEmptyReads > 0) {
    if (emptyBeforeByte_ > 0 || readings_.empty()) {
      if (!timerOut) return std::nullopt;
      emptyBeforeByte_ = std::max(emptyBeforeByte_ - 1, 0);
    } else {
      take = 1;
      emptyBeforeByte_ = faults.trickleEmptyReads;
    }
  } else if (faults.shortReads) {
    if (readings_.empty() && !timerOut) return std::nullopt;
    take = (packetsSent_ + 1) % 3 == 0 ? 0 : std::min(kShortPacket, readings_.size());
  } else if (readings_.size() >= payload) {
    take = payload;
  } else if (timerOut) {
    take = readings_.size();
  } else {
    return std::nullopt;
  }
  lastPacketNs_ = nowNs;
  ++packetsSent_;
  std::vector<std::uint8_t> packet = Packet(take);
  // A clone chip on some USB 3 controllers loses whole packets on the way back.
  if (take > 0 && faults.dropEveryPacket > 0 &&
      ++dataPackets_ % static_cast<std::uint64_t>(faults.dropEveryPacket) == 0) {
    dropped_ += take;
    return std::nullopt;
  }
  return packet;
}

std::int64_t SimulatedChip::NextPacketNs(std::int64_t nowNs) const {
  const std::int64_t timerOut = lastPacketNs_ + std::int64_t{latencyMs_} * 1'000'000;
  const auto payload = static_cast<std::size_t>(PacketPayload());
  if (readings_.size() >= payload) return nowNs;
  std::int64_t next = timerOut;
  const std::size_t need = payload - readings_.size();
  if (rawMode_ == kModeSyncBitBang && fromHost_.size() >= need) {
    const std::int64_t perSecond = UpdatesPerSecond();
    const auto last = static_cast<std::int64_t>(need) - 1 + runUpdates_;
    next = std::min(next, runStartNs_ + last * 1'000'000'000 / perSecond);
  }
  return std::max(next, nowNs);
}

}  // namespace fennow
