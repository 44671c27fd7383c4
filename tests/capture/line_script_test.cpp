#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "capture/LeadTest.h"
#include "link/SerialLink.h"
#include "sim/SimulatedGameBoy.h"
#include "sim/VirtualCounter.h"
#include "tests/support/FakeServices.h"

// A port that does not take scripts sees exactly what it saw when the operations drove the lines
// one call at a time: the same writes and reads, in the same order, with the same counter
// readings between them. The one-call-at-a-time versions below are the reference.
namespace fennow {
namespace {

bool Reads(LinkSession& link, std::uint32_t line) {
  return (link.lines.ReadStatus() & line) != 0;
}

std::uint8_t ExchangeOneCallAtATime(LinkSession& link, std::uint8_t out) {
  std::uint8_t received = 0;
  link.lines.Clear(LinkDataOut | LinkClock);
  for (int bit = 7; bit >= 0; --bit) {
    const auto mask = static_cast<std::uint8_t>(1u << bit);
    if ((out & mask) != 0) {
      link.lines.Set(LinkDataOut);
    } else {
      link.lines.Clear(LinkDataOut);
    }
    link.delay.DelayMicroseconds(kHalfBitUs);
    link.lines.Set(LinkClock);
    link.delay.DelayMicroseconds(kHalfBitUs);
    if (Reads(link, LinkDataIn)) received |= mask;
    link.lines.Clear(LinkClock);
  }
  link.lines.Clear(LinkDataOut);
  return received;
}

bool SyncOneCallAtATime(LinkSession& link) {
  int countdown = kSyncClockLimit;
  link.lines.Change(LinkDataOut, LinkClock);
  std::uint8_t shifted = 0;
  bool done = false;
  while (!done) {
    link.delay.DelayMicroseconds(kHalfBitUs);
    link.lines.Set(LinkClock);
    link.delay.DelayMicroseconds(kHalfBitUs);
    shifted = static_cast<std::uint8_t>(shifted << 1);
    if (Reads(link, LinkDataIn)) shifted |= 1u;
    if (shifted == kSyncByte) done = true;
    if (--countdown == 0) done = true;
    link.lines.Clear(LinkClock);
    link.delay.DelayMilliseconds(kSyncSpacingMs);
  }
  return shifted == kSyncByte;
}

bool LeadLinesOneCallAtATime(LinkSession& link) {
  constexpr std::uint32_t kAll = LinkDataOut | LinkClock | LoopDrive;
  bool fault = false;
  link.lines.Change(0, kAll);
  link.delay.DelayMilliseconds(kLeadFirstSettleMs);
  if (!Reads(link, LoopSense)) fault = true;
  link.lines.Change(LoopDrive, 0);
  link.delay.DelayMilliseconds(kLeadSettleMs);
  if (Reads(link, LoopSense)) fault = true;
  link.lines.Change(0, LoopDrive);
  link.delay.DelayMilliseconds(kLeadSettleMs);
  if (!Reads(link, LoopSense)) fault = true;
  link.lines.Change(LoopDrive, 0);
  link.delay.DelayMilliseconds(kLeadSettleMs);
  if (Reads(link, LoopSense)) fault = true;
  link.lines.Clear(kAll);
  return !fault;
}

// Passes every access on and logs it with the time on the clock: "W378=03@12000".
class TimedPort final : public PortIo {
 public:
  TimedPort(PortIo& inner, const VirtualCounter& clock) : inner_(inner), clock_(clock) {}
  void Write(std::uint16_t address, std::uint8_t value) override {
    Log('W', address, value);
    inner_.Write(address, value);
  }
  std::uint8_t Read(std::uint16_t address) override {
    const std::uint8_t value = inner_.Read(address);
    Log('R', address, value);
    return value;
  }
  std::vector<std::string> log;

 private:
  void Log(char kind, std::uint16_t address, std::uint8_t value) {
    char text[48];
    std::snprintf(text, sizeof text, "%c%03x=%02x@%lld", kind, address, value,
                  static_cast<long long>(clock_.Now()));
    log.emplace_back(text);
  }
  PortIo& inner_;
  const VirtualCounter& clock_;
};

// A Game Boy on a virtual clock behind a port that logs every access with its time.
struct TimedRig {
  TimedRig()
      : gameBoy([this] { return counter.Now(); }), port(gameBoy, counter), link(port, counter) {}
  TimedRig(const TimedRig&) = delete;
  TimedRig& operator=(const TimedRig&) = delete;

  VirtualCounter counter{1000};
  SimulatedGameBoy gameBoy;
  TimedPort port;
  LinkSession link;
  test::FakeServices ui;
};

struct SameCase {
  const char* name;
  std::function<void(TimedRig&)> setUp;
  std::function<int(TimedRig&)> scripted;
  std::function<int(TimedRig&)> oneCallAtATime;
};

class SameAtThePort : public ::testing::TestWithParam<SameCase> {};

TEST_P(SameAtThePort, AsWhenTheLinesWereDrivenOneCallAtATime) {
  const SameCase& c = GetParam();
  TimedRig scripted;
  TimedRig reference;
  c.setUp(scripted);
  c.setUp(reference);
  EXPECT_EQ(c.scripted(scripted), c.oneCallAtATime(reference));
  ASSERT_FALSE(reference.port.log.empty());
  EXPECT_EQ(scripted.port.log, reference.port.log);
  EXPECT_EQ(scripted.counter.Readings(), reference.counter.Readings());
  EXPECT_EQ(scripted.link.port.OutputLatch, reference.link.port.OutputLatch);
}

void PrintTo(const SameCase& c, std::ostream* out) {
  *out << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Operations, SameAtThePort,
    ::testing::Values(
        SameCase{"SyncThenExchanges", [](TimedRig& rig) { rig.gameBoy.SetStartPhase(3); },
                 [](TimedRig& rig) {
                   return SyncLink(rig.link) + 2 * ExchangeByte(rig.link, 'G') +
                          ExchangeByte(rig.link, 0xA5);
                 },
                 [](TimedRig& rig) {
                   return SyncOneCallAtATime(rig.link) + 2 * ExchangeOneCallAtATime(rig.link, 'G') +
                          ExchangeOneCallAtATime(rig.link, 0xA5);
                 }},
        SameCase{"SyncGivingUp",
                 [](TimedRig& rig) { rig.gameBoy.SetConnection(Connection::StuckSet); },
                 [](TimedRig& rig) { return static_cast<int>(SyncLink(rig.link)); },
                 [](TimedRig& rig) { return static_cast<int>(SyncOneCallAtATime(rig.link)); }},
        SameCase{"LeadTest",
                 [](TimedRig& rig) {
                   rig.gameBoy.SetConnection(Connection::StuckSet);
                   rig.link.lines.Set(LinkDataOut);  // as a sync timeout leaves it
                 },
                 [](TimedRig& rig) { return static_cast<int>(TestLink(rig.link, rig.ui)); },
                 [](TimedRig& rig) {
                   CheckTimer(rig.link.delay.counter(), rig.ui);
                   return static_cast<int>(LeadLinesOneCallAtATime(rig.link));
                 }}),
    [](const auto& tp) { return std::string(tp.param.name); });

}  // namespace
}  // namespace fennow
