// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/Transfer.h"
#include "link/ByteExchange.h"
#include "tests/support/SimRig.h"

namespace fennow {
namespace {

using test::SimRig;

constexpr std::int64_t kUs = 1000;
constexpr std::int64_t kMs = 1000 * kUs;

std::vector<std::int64_t> RisingEdgeTimes(const SimulatedGameBoy& gameBoy) {
  std::vector<std::int64_t> times;
  for (const LineEdge& e : gameBoy.Edges()) {
    if (e.line == SimLine::Clock && e.level) times.push_back(e.timeNs);
  }
  return times;
}

// The timing the Game Boy's serial port needs, as the simulator saw it on the lines: both clock
// phases at least 2 us, data steady 2 us before the edge it is sampled on.
void ExpectBitTiming(const SimulatedGameBoy& gameBoy) {
  const LineEdge* lastClock = nullptr;
  const LineEdge* lastData = nullptr;
  for (const LineEdge& e : gameBoy.Edges()) {
    if (e.line == SimLine::Clock) {
      if (lastClock) {
        ASSERT_GE(e.timeNs - lastClock->timeNs, 2 * kUs);
      }
      if (e.level && lastData) {
        ASSERT_GE(e.timeNs - lastData->timeNs, 2 * kUs);
      }
      lastClock = &e;
    } else if (e.line == SimLine::DataOut) {
      // the data line only moves while the clock is low
      if (lastClock) {
        ASSERT_FALSE(lastClock->level);
      }
      lastData = &e;
    }
  }
}

class TransferTiming : public ::testing::TestWithParam<bool> {};

TEST_P(TransferTiming, LeavesTheGameBoyTheWaitsItNeeds) {
  const bool screen = GetParam();
  SimRig rig;
  if (!screen) rig.gameBoy.SetModeByte(2);
  ASSERT_EQ(StartTransfer(rig.link, rig.ui, rig.store), TransferStatus::Success);
  ASSERT_EQ(rig.gameBoy.DroppedRecords(), 0u);
  ExpectBitTiming(rig.gameBoy);

  const auto& bytes = rig.gameBoy.Bytes();
  std::size_t reply = 0;
  while (reply < bytes.size() && bytes[reply].slot != SimState::Reply) ++reply;
  ASSERT_LT(reply + 2, bytes.size());
  EXPECT_EQ(bytes[reply].received, 'G');
  EXPECT_EQ(bytes[reply].sent, 'W');
  const ByteRecord& mode = bytes[reply + 1];
  ASSERT_EQ(mode.slot, SimState::Mode);
  EXPECT_GE(mode.startNs - bytes[reply].endNs, 1000 * kMs);
  EXPECT_GE(bytes[reply + 2].startNs - mode.endNs, 500 * kMs);

  const std::size_t payload = screen ? 2880 : 1205;
  ASSERT_EQ(bytes.size(), reply + 2 + payload);
  for (std::size_t i = reply + 3; i < bytes.size(); ++i) {
    ASSERT_EQ(bytes[i].slot, SimState::Payload);
    ASSERT_GE(bytes[i].startNs - bytes[i - 1].endNs, 2 * kMs) << "payload byte " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, TransferTiming, ::testing::Bool(),
                         [](const auto& tp) { return tp.param ? "Screen" : "Data"; });

TEST(SyncTiming, ClocksTenMillisecondsApartUntilItGivesUp) {
  SimRig rig;
  rig.gameBoy.SetConnection(Connection::StuckSet);
  ASSERT_FALSE(SyncLink(rig.link));
  ExpectBitTiming(rig.gameBoy);
  const std::vector<std::int64_t> rises = RisingEdgeTimes(rig.gameBoy);
  ASSERT_EQ(rises.size(), 350u);
  for (std::size_t i = 1; i < rises.size(); ++i) {
    ASSERT_GE(rises[i] - rises[i - 1], 10 * kMs);
    // the rest of the spacing is the two half-bits and the cost of reading the counter
    ASSERT_LT(rises[i] - rises[i - 1], 10 * kMs + 100 * kUs);
  }
}

}  // namespace
}  // namespace fennow
