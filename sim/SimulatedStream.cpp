// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <vector>

#include "sim/FakeChipFacts.h"
#include "sim/SimulatedFtdiBus.h"

namespace fennow {

using fake_chip::FakeChipModel;
using fake_chip::ModelOf;
using fake_chip::ReadGone;
using fake_chip::WriteFailed;

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

}  // namespace fennow
