// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "link/Delay.h"
#include "link/LineScript.h"
#include "link/LinkSession.h"
#include "sim/VirtualCounter.h"

// A script as written and as a port that takes no scripts sees it performed: each Change one
// write of the latch, each Wait at least its time on the clock, each Sample one status read. What
// the byte exchange, the sync and the lead test put in their scripts is pinned at the lines by
// their own tests (edges, accesses, timing).
namespace fennow {
namespace {

// Logs "W<value>" and "R" with the clock reading at each access, and answers reads in turn.
class LoggingPort final : public PortIo {
 public:
  explicit LoggingPort(const VirtualCounter& clock) : clock_(clock) {}
  void Write(std::uint16_t, std::uint8_t value) override {
    log.push_back("W" + std::to_string(value) + "@" + std::to_string(clock_.Now() / 1000));
  }
  std::uint8_t Read(std::uint16_t) override {
    log.push_back("R@" + std::to_string(clock_.Now() / 1000));
    return static_cast<std::uint8_t>(0x40 + log.size());
  }
  std::vector<std::string> log;

 private:
  const VirtualCounter& clock_;
};

// A port that takes scripts but brings back fewer readings than asked for.
class ShortScriptPort final : public PortIo {
 public:
  void Write(std::uint16_t, std::uint8_t) override {}
  std::uint8_t Read(std::uint16_t) override { return 0; }
  bool RunScript(const LineScript&, const LinkPort&, LineSamples& samples) override {
    samples.push_back(0x12);
    return true;
  }
};

TEST(LineScript, IsPerformedStepByStepOnAPortThatTakesNoScripts) {
  VirtualCounter clock(1000);  // 1 us a reading
  LoggingPort port(clock);
  LinkSession link(port, clock);
  link.port.OutputLatch = 0x04;
  LineScript script;
  script.Set(LinkClock)
      .Wait(3)
      .Sample()
      .Change(LinkDataOut, LinkClock)
      .WaitMs(1)
      .Sample()
      .Clear(LinkDataOut | LoopDrive);

  EXPECT_EQ(script.SampleCount(), 2u);
  EXPECT_EQ(script.LatchAfter(0x04), 0x00u);
  EXPECT_EQ(script.LatchAfter(0x07), 0x00u);
  EXPECT_EQ(link.Run(script), (LineSamples{0x42, 0x44}));
  // Each wait is one reading to start and as many as its time takes; the log shows the clock as
  // each access found it.
  EXPECT_EQ(port.log, (std::vector<std::string>{"W6@0", "R@4", "W5@4", "R@1005", "W0@1005"}));
  EXPECT_EQ(link.port.OutputLatch, 0x00u);
}

TEST(LineScript, MillisecondsAreMicrosecondsAsTheDelaysCountThem) {
  for (const std::int32_t ms : {0, 1, 2, 500, 1000}) {
    LineScript script;
    script.WaitMs(ms);
    ASSERT_EQ(script.Steps().size(), 1u);
    EXPECT_EQ(script.Steps()[0].us, MillisecondsAsMicroseconds(ms)) << ms;
  }
}

TEST(LineScript, AReadingAPortLeftOutReadsAsAnEmptySocket) {
  VirtualCounter clock;
  ShortScriptPort port;
  LinkSession link(port, clock);
  LineScript script;
  script.Sample().Sample().Sample().Set(LinkClock);
  EXPECT_EQ(link.Run(script), (LineSamples{0x12, 0xFF, 0xFF}));
  EXPECT_EQ(link.port.OutputLatch, LinkClock);
}

}  // namespace
}  // namespace fennow
