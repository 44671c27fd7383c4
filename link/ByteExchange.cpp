// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/ByteExchange.h"

#include <array>
#include <span>

namespace fennow {

namespace {

// One exchange on the lines: both outputs low, then for each bit from the top its value on
// LinkDataOut, a half-bit, the rising edge, a half-bit and the reading of LinkDataIn, and the
// falling edge; at the end LinkDataOut low again. 26 writes and 8 reads.
LineScript BuildExchangeScript(std::uint8_t out) {
  LineScript script;
  script.Clear(LinkDataOut | LinkClock);
  for (int bit = kBitsPerByte - 1; bit >= 0; --bit) {
    // The Game Boy samples our bit on the rising edge and has had its own bit out since the last
    // falling edge, so both directions are read within the same high phase.
    script.Put(LinkDataOut, ((out >> bit) & 1u) != 0)
        .Wait(kHalfBitUs)
        .Set(LinkClock)
        .Wait(kHalfBitUs)
        .Sample()
        .Clear(LinkClock);
  }
  script.Clear(LinkDataOut);
  return script;
}

// One synchronisation clock, read within its high phase, then the spacing the Game Boy needs
// before the next.
LineScript BuildSyncClockScript() {
  LineScript script;
  script.Wait(kHalfBitUs)
      .Set(LinkClock)
      .Wait(kHalfBitUs)
      .Sample()
      .Clear(LinkClock)
      .WaitMs(kSyncSpacingMs);
  return script;
}

// The scripts are the same for every transfer: each is written down once, on first use.
const LineScript& ExchangeScript(std::uint8_t out) {
  static const std::array<LineScript, 256> scripts = [] {
    std::array<LineScript, 256> all;
    for (std::size_t byte = 0; byte < all.size(); ++byte) {
      all[byte] = BuildExchangeScript(static_cast<std::uint8_t>(byte));
    }
    return all;
  }();
  return scripts[out];
}

const LineScript& SyncClockScript() {
  static const LineScript script = BuildSyncClockScript();
  return script;
}

// The byte that eight samples read, the first the most significant bit.
std::uint8_t Assemble(std::span<const std::uint8_t> statuses) {
  std::uint8_t received = 0;
  for (std::uint8_t status : statuses) {
    received = static_cast<std::uint8_t>((received << 1) | ((status & LinkDataIn) != 0 ? 1u : 0u));
  }
  return received;
}

// A payload byte and its pause.
LineScript BuildPayloadByteScript() {
  LineScript script = BuildExchangeScript(kIdleByte);
  script.WaitMs(kByteSpacingMs).Streamable();
  return script;
}

}  // namespace

std::uint8_t ExchangeByte(LinkSession& link, std::uint8_t out) {
  return Assemble(link.Run(ExchangeScript(out)));
}

void ReceiveBytes(LinkSession& link, int count, std::vector<std::uint8_t>& bytes) {
  static const LineScript payloadByte = BuildPayloadByteScript();
  LineScript run;
  if (count != 1) {
    run.Streamable();
    for (int i = 0; i < count; ++i) run.Append(payloadByte);
  }
  const LineSamples& samples = link.Run(count == 1 ? payloadByte : run);
  bytes.clear();
  for (std::size_t at = 0; at + kBitsPerByte <= samples.size(); at += kBitsPerByte) {
    bytes.push_back(Assemble(std::span(samples).subspan(at, kBitsPerByte)));
  }
}

bool SyncLink(LinkSession& link) {
  // Data held high: the Game Boy receives only one bits while we hunt for its byte boundary.
  link.lines.Change(LinkDataOut, LinkClock);
  const LineScript& clock = SyncClockScript();
  std::uint8_t shifted = 0;
  for (int countdown = kSyncClockLimit;;) {
    const std::uint8_t status = link.Run(clock).front();
    shifted = static_cast<std::uint8_t>((shifted << 1) | ((status & LinkDataIn) != 0 ? 1u : 0u));
    // A port lost on the way reads as an empty socket; no point clocking it out to the end.
    if (shifted == kSyncByte || --countdown == 0 || !link.lines.LostReason().empty()) break;
  }
  return shifted == kSyncByte;
}

}  // namespace fennow
