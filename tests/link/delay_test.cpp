// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/Delay.h"

#include <gtest/gtest.h>

#include <limits>
#include <ostream>
#include <stdexcept>

#include "sim/VirtualCounter.h"
#include "tests/support/FakeServices.h"

namespace fennow {
namespace {

struct DelayCase {
  std::int64_t frequency;
  std::int64_t stepTicks;
  std::int32_t micros;
  std::int64_t expectedReadings;  // counter readings made by one DelayMicroseconds call
  friend void PrintTo(const DelayCase& c, std::ostream* out) {
    *out << c.micros << " us at " << c.frequency << " Hz, " << c.stepTicks << " ticks a reading";
  }
};

class DelayArithmetic : public ::testing::TestWithParam<DelayCase> {};

TEST_P(DelayArithmetic, SpinsUntilTheWaitHasPassed) {
  const DelayCase c = GetParam();
  VirtualCounter counter(c.stepTicks);
  counter.SetFrequency(c.frequency);
  Delay delay(counter);
  delay.DelayMicroseconds(c.micros);
  EXPECT_EQ(counter.Readings(), c.expectedReadings);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DelayArithmetic,
    ::testing::Values(
        // zero and negative waits read the start and one more count
        DelayCase{1'000'000'000, 1000, 0, 2}, DelayCase{1'000'000'000, 1000, -5, 2},
        // 2 us at 1 us per reading: start, then 1 us, 2 us
        DelayCase{1'000'000'000, 1000, 2, 3},
        // the elapsed time truncates: 1.5 us per reading needs two readings past the start
        DelayCase{1'000'000'000, 1500, 2, 3}, DelayCase{1'000'000'000, 1500, 3, 3},
        // a slow 3.579545 MHz counter, one tick per reading: 2 us needs 8 ticks (2.23 us)
        DelayCase{3'579'545, 1, 2, 9},
        // 2 ms on it is 7159.09 ticks: 7159 readings past the start fall short, 7160 do not
        DelayCase{3'579'545, 1, 2000, 7161}, DelayCase{3'579'545, 7160, 2000, 2},
        DelayCase{3'579'545, 7159, 2000, 3},
        // a wait that is a whole number of ticks ends on that tick, not one later
        DelayCase{1'000'000, 1, 5, 6}, DelayCase{1'000'000, 5, 5, 2}, DelayCase{1'000'000, 4, 5, 3},
        // the longest wait there is, at a thousand seconds a reading
        DelayCase{1'000'000'000, 1'000'000'000'000, 2'147'483'647, 4},
        // no counter: the wait cannot be timed and must end at once instead of hanging
        DelayCase{0, 1000, 2000, 1}, DelayCase{-1, 1000, 2000, 1}));

TEST(Delay, MillisecondsAreThousandsOfMicroseconds) {
  VirtualCounter counter(1'000'000);  // one millisecond per reading
  Delay delay(counter);
  delay.DelayMilliseconds(2000);
  // the start reading is at 1 ms; the wait ends on the first reading 2000 ms after it
  EXPECT_EQ(counter.Now(), 2001 * 1'000'000LL);
  // a two-second wait at nanosecond ticks keeps its 64-bit intermediate product exact
  VirtualCounter fine(1);
  fine.SetFrequency(1'000'000'000);
  Delay fineDelay(fine);
  fineDelay.DelayMicroseconds(3);
  EXPECT_EQ(fine.Now(), 1 + 3000);
}

// Counts readings and gives up, rather than spin for hours, once a wait has had far more of them
// than it can need.
class BoundedCounter final : public Counter {
 public:
  BoundedCounter(VirtualCounter& inner, std::int64_t limit) : inner_(inner), limit_(limit) {}
  std::int64_t Frequency() override { return inner_.Frequency(); }
  std::int64_t Count() override {
    if (inner_.Readings() >= limit_) throw std::runtime_error("still waiting");
    return inner_.Count();
  }

 private:
  VirtualCounter& inner_;
  std::int64_t limit_;
};

struct JumpCase {
  std::int64_t frequency;
  std::int64_t jumpTicks;
  std::int32_t micros;
  friend void PrintTo(const JumpCase& c, std::ostream* out) {
    *out << c.micros << " us at " << c.frequency << " Hz, stopped for " << c.jumpTicks << " ticks";
  }
};

class StoppedMidWait : public ::testing::TestWithParam<JumpCase> {};

// A process stopped mid-wait (Ctrl-Z, a debugger) finds the counter hours or days ahead when it
// resumes. The wait is then over: it must end on that reading, not spin on for as long again.
TEST_P(StoppedMidWait, EndsTheWaitOnTheFirstReadingAfterItResumes) {
  const JumpCase c = GetParam();
  VirtualCounter counter(1);
  counter.SetFrequency(c.frequency);
  counter.JumpAtReading(3, c.jumpTicks);
  BoundedCounter bounded(counter, 1000);
  Delay delay(bounded);
  EXPECT_NO_THROW(delay.DelayMicroseconds(c.micros));
  EXPECT_EQ(counter.Readings(), 3);
}

INSTANTIATE_TEST_SUITE_P(
    Jumps, StoppedMidWait,
    ::testing::Values(
        // three hours of nanoseconds: elapsed ticks times a million no longer fit 64 bits
        JumpCase{1'000'000'000, 3 * 3600 * 1'000'000'000LL, 1'000'000},
        JumpCase{1'000'000'000, 100 * 24 * 3600 * 1'000'000'000LL, 2},
        // a slower counter takes longer to get there, but a year is enough
        JumpCase{3'579'545, 366 * 24 * 3600 * 3'579'545LL * 100, 2'000'000'000},
        // as far as a 64-bit count can go
        JumpCase{1'000'000'000, std::numeric_limits<std::int64_t>::max() / 2, 2}));

// The monotonic clock, with a record of every sleep asked of it.
class SleepRecorder final : public Counter {
 public:
  std::int64_t Frequency() override { return clock_.Frequency(); }
  std::int64_t Count() override { return clock_.Count(); }
  bool Sleeps() const override { return true; }
  void SleepUntil(std::int64_t until) override {
    ++sleeps;
    clock_.SleepUntil(until);
  }
  int sleeps = 0;

 private:
  MonotonicCounter clock_;
};

struct RestCase {
  std::int32_t micros;
  bool sleeps;     // whether the wait sleeps at all
  int leastWaits;  // calls of the front end at least
};

// On the real clock, a wait never ends before its deadline, however it waits. The link's
// microsecond phases only spin; a wait of a millisecond or more lets the front end run, every
// slice of a long one, and sleeps.
TEST(Delay, ALongWaitRestsAndNeverEndsEarlyAShortOneSpins) {
  const RestCase cases[] = {
      {2, false, 0},   {500, false, 0}, {999, false, 0},
      {1000, true, 1}, {2000, true, 1}, {50'000, true, 3},
  };
  for (int round = 0; round < 3; ++round) {  // the margin settles on the machine's wake-ups
    for (const RestCase& c : cases) {
      SCOPED_TRACE(c.micros);
      SleepRecorder counter;
      test::FakeServices ui;
      Delay delay(counter);
      const FrontEndWaits waits(delay, ui);
      MonotonicCounter clock;
      const std::int64_t start = clock.Count();
      delay.DelayMicroseconds(c.micros);
      EXPECT_GE(clock.Count() - start, std::int64_t{c.micros} * 1000);
      EXPECT_EQ(counter.sleeps > 0, c.sleeps);
      EXPECT_GE(ui.waits, c.leastWaits);
      if (!c.sleeps) {
        EXPECT_EQ(ui.waits, 0);
      }
    }
  }
}

TEST(CheckTimer, WarnsOnlyWithoutACounter) {
  VirtualCounter counter;
  test::FakeServices ui;
  CheckTimer(counter, ui);
  EXPECT_TRUE(ui.messages.empty());
  counter.SetFrequency(0);
  CheckTimer(counter, ui);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0],
            (test::Message{"ERROR: A high frequency timer does not exist on this machine",
                           "Timer test", MessageStyle::MB_ICONSTOP}));
}

}  // namespace
}  // namespace fennow
