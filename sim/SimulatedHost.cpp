// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated adapter's transfers as the host carries them to and from the chip: a control
// transfer, a bulk write, ftdi_read_data (libftdi 1.5, src/ftdi.c) and the program's stream, on
// the bus's slots. The time each ends is where the counter is left.
#include <algorithm>

#include "ports/usb/LibFtdiErrors.h"
#include "ports/usb/PacketData.h"
#include "sim/FakeChipFacts.h"
#include "sim/SimulatedFtdiBus.h"

namespace fennow {

using fake_chip::ModelOf;
using fake_chip::ReadFailed;
using fake_chip::WriteFailed;

namespace {

// libftdi's usb_read_timeout and usb_write_timeout.
constexpr std::int64_t kTransferTimeoutNs = 5'000'000'000;
// A control transfer's stages: setup, data, status.
constexpr int kControlSlots = 3;
constexpr int kOverflow = -8;  // LIBUSB_ERROR_OVERFLOW: a packet larger than the room left

// A transfer under way as the chip is pulled out: the host controller sees its transactions fail
// (LIBUSB_ERROR_IO, as the kernel check's vhci-hcd gives too) before the kernel lets the device
// go; the handle's next request, as the program asks it, finds no device.
ChipResult CutOff(const char* transfer) {
  return ChipResultOf({FtdiCall::Transfer, libusb::kIo, transfer, libusb::kSuccess, false});
}

}  // namespace

std::int64_t SimulatedAdapter::SlotNs() const {
  const fake_chip::FakeChipModel& model = ModelOf(setup_.product);
  return model.frameNs / model.packetsPerFrame;
}

// The chip's time passes on the host's clock: asleep where the clock can sleep, as a host waiting
// on the USB bus does. Its pins have run up to then, so what it shows is where it stands.
void SimulatedAdapter::WaitUntil(std::int64_t ns) {
  chip_.RunPins(ns);
  counter_.SleepUntil(ns);
  while (counter_.Count() < ns) {
  }
}

SimulatedAdapter::Controlled SimulatedAdapter::ControlTransfer(const SetupPacket& setup) {
  const std::int64_t t = counter_.Count() + HostDelayNs();
  Controlled result;
  if (!chip_.Unplugged()) {
    const ControlReply reply = chip_.Control(setup, {}, t);
    result.ok = !reply.stalled && !chip_.Unplugged();
    result.data = reply.data;
  }
  WaitUntil(t + kControlSlots * SlotNs());
  return result;
}

ChipResult SimulatedAdapter::BulkOut(std::span<const std::uint8_t> bytes, std::int64_t& t) {
  const auto packet = static_cast<std::size_t>(chip_.PacketSize());
  const std::int64_t deadline = t + kTransferTimeoutNs;
  t += HostDelayNs();
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t n = std::min(packet, bytes.size() - at);
    const bool taken = chip_.TakeFromHost(bytes.subspan(at, n), t);
    if (chip_.Unplugged()) return CutOff(kWriteFailed);
    t += SlotNs();
    if (taken) {
      at += n;
    } else if (t > deadline) {
      return WriteFailed(libusb::kTimeout);
    }
  }
  return {};
}

// One libusb bulk transfer of `length`: it ends on a short packet, or when full. While the chip
// NAKs, the host asks again at every slot; nothing else moves meanwhile, so it skips ahead to when
// the chip can next have a packet.
ChipResult SimulatedAdapter::BulkIn(std::size_t length, std::vector<std::uint8_t>& raw,
                                    std::int64_t& t) {
  const auto packet = static_cast<std::size_t>(chip_.PacketSize());
  const std::int64_t slot = SlotNs();
  const std::int64_t deadline = t + kTransferTimeoutNs;
  if (chip_.Unplugged()) return ReadFailed(libusb::kNoDevice);
  t += HostDelayNs();
  for (;;) {
    const auto sent = chip_.SendToHost(t);
    if (chip_.Unplugged()) return CutOff(kReadFailed);
    t += slot;
    if (sent) {
      if (raw.size() + sent->size() > length) return ReadFailed(kOverflow);
      raw.insert(raw.end(), sent->begin(), sent->end());
      if (sent->size() < packet || raw.size() == length) return {};
      continue;
    }
    if (t > deadline) return ReadFailed(libusb::kTimeout);
    const std::int64_t next = chip_.NextPacketNs(t);
    if (next > t) t += (next - t + slot - 1) / slot * slot;
  }
}

ChipResult SimulatedAdapter::Write(std::span<const std::uint8_t> bytes) {
  if (chip_.Unplugged()) return WriteFailed(libusb::kNoDevice);
  ++writes_;
  std::int64_t t = counter_.Count();
  if (++writesSinceOpen_ == setup_.faults.failWrite) {
    WaitUntil(t + HostDelayNs());
    return WriteFailed(libusb::kIo);
  }
  ChipResult result = BulkOut(bytes, t);
  WaitUntil(t);
  if (result.ok()) result.count = static_cast<int>(bytes.size());
  return result;
}

// ftdi_read_data: what libftdi still holds first, then bulk transfers of its read chunk until
// the buffer is full or one brings nothing but status bytes; what does not fit is kept.
ChipResult SimulatedAdapter::Read(std::span<std::uint8_t> bytes) {
  std::size_t offset = std::min(bytes.size(), readBuffer_.size());
  std::copy_n(readBuffer_.begin(), offset, bytes.begin());
  readBuffer_.erase(readBuffer_.begin(), readBuffer_.begin() + static_cast<std::ptrdiff_t>(offset));
  if (offset == bytes.size()) return {ChipError::None, {}, static_cast<int>(offset)};
  std::int64_t t = counter_.Count();
  for (;;) {
    std::vector<std::uint8_t> raw;
    const ChipResult got = BulkIn(static_cast<std::size_t>(readChunk_), raw, t);
    if (!got.ok() || raw.size() <= kPacketStatusBytes) {
      WaitUntil(t);
      return got.ok() ? ChipResult{ChipError::None, {}, static_cast<int>(offset)} : got;
    }
    std::vector<std::uint8_t> data(raw.size());
    data.resize(TakePacketData(raw, static_cast<std::size_t>(chip_.PacketSize()), data));
    const std::size_t n = std::min(data.size(), bytes.size() - offset);
    std::copy_n(data.begin(), n, bytes.begin() + static_cast<std::ptrdiff_t>(offset));
    offset += n;
    readBuffer_.assign(data.begin() + static_cast<std::ptrdiff_t>(n), data.end());
    if (offset == bytes.size() || !readBuffer_.empty()) {
      WaitUntil(t);
      return {ChipError::None, {}, static_cast<int>(offset)};
    }
  }
}

// The program's stream: one write of all of `out`, and reads kept in flight throughout, so the
// host asks the chip for a packet at every slot the write leaves free. A slot carries one packet;
// when both sides have one they take turns. A stream cut off by an unplug before all of it was
// written says its write failed, else its read.
ChipResult SimulatedAdapter::Stream(std::span<const std::uint8_t> out, std::span<std::uint8_t> back,
                                    int limitMs, int idleMs) {
  if (chip_.Unplugged()) return WriteFailed(libusb::kNoDevice);
  ++writes_;
  const std::int64_t start = counter_.Count();
  if (++writesSinceOpen_ == setup_.faults.failWrite) {
    WaitUntil(start + HostDelayNs());
    return WriteFailed(libusb::kIo);
  }
  const auto packet = static_cast<std::size_t>(chip_.PacketSize());
  const std::int64_t deadline = start + std::int64_t{limitMs} * 1'000'000;
  std::size_t delivered = 0;
  std::size_t received = 0;
  bool inLast = false;
  std::int64_t lastData = start;
  std::int64_t t = start + HostDelayNs();
  const auto toHost = [&] {
    const auto sent = chip_.SendToHost(t);
    if (!sent) return false;
    const std::size_t take = TakePacketData(*sent, packet, back.subspan(received));
    received += take;
    if (take > 0) lastData = t + SlotNs();
    inLast = true;
    return true;
  };
  const auto fromHost = [&] {
    const std::size_t n = std::min(packet, out.size() - delivered);
    if (n == 0 || !chip_.TakeFromHost(out.subspan(delivered, n), t)) return false;
    delivered += n;
    inLast = false;
    return true;
  };
  const std::int64_t idleNs = std::int64_t{idleMs} * 1'000'000;
  for (; received < back.size() && t < deadline && t - lastData <= idleNs; t += SlotNs()) {
    if (inLast && delivered < out.size()) {
      if (!fromHost()) toHost();
    } else if (!toHost()) {
      fromHost();
    }
    if (chip_.Unplugged()) {
      WaitUntil(t);
      return CutOff(delivered < out.size() ? kWriteFailed : kReadFailed);
    }
  }
  WaitUntil(received < back.size() ? t : std::max(lastData, start + setup_.roundTripNs));
  return {ChipError::None, {}, static_cast<int>(received)};
}

}  // namespace fennow
