#include "link/SerialLink.h"

namespace fennow {

std::uint8_t ExchangeByte(LinkSession& link, std::uint8_t out) {
  std::uint8_t received = 0;
  link.lines.Clear(LinkDataOut | LinkClock);
  for (int bit = kBitsPerByte - 1; bit >= 0; --bit) {
    const auto mask = static_cast<std::uint8_t>(1u << bit);
    link.lines.Put(LinkDataOut, (out & mask) != 0);
    link.delay.DelayMicroseconds(kHalfBitUs);
    // The Game Boy samples our bit on this rising edge and has had its own bit out since the
    // last falling edge, so both directions are read within the same high phase.
    link.lines.Set(LinkClock);
    link.delay.DelayMicroseconds(kHalfBitUs);
    if (link.lines.Read(LinkDataIn)) received |= mask;
    link.lines.Clear(LinkClock);
  }
  link.lines.Clear(LinkDataOut);
  return received;
}

bool SyncLink(LinkSession& link) {
  int countdown = kSyncClockLimit;
  // Data held high: the Game Boy receives only one bits while we hunt for its byte boundary.
  link.lines.Change(LinkDataOut, LinkClock);
  std::uint8_t shifted = 0;
  bool done = false;
  while (!done) {
    link.delay.DelayMicroseconds(kHalfBitUs);
    link.lines.Set(LinkClock);
    link.delay.DelayMicroseconds(kHalfBitUs);
    shifted = static_cast<std::uint8_t>(shifted << 1);
    if (link.lines.Read(LinkDataIn)) shifted |= 1u;
    if (shifted == kSyncByte) done = true;
    if (--countdown == 0) done = true;
    link.lines.Clear(LinkClock);
    link.delay.DelayMilliseconds(kSyncSpacingMs);
  }
  return shifted == kSyncByte;
}

}  // namespace fennow
