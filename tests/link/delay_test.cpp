#include "link/Delay.h"

#include <gtest/gtest.h>

#include <ostream>

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
