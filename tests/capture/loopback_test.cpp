// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/LeadTest.h"
#include "link/ByteExchange.h"
#include "tests/support/SimRig.h"

namespace fennow {
namespace {

using test::FakeServices;
using test::Message;
using test::SimRig;

const Message kPlugIn{"Plug Gameboy Link Lead into PC.\nDisconnect Lead From Gameboy",
                      "Test Link Status", MessageStyle::MB_ICONINFORMATION};

const std::vector<Message> kPassed{
    kPlugIn,
    {"Loop Back Detected OK", "Test Link", MessageStyle::MB_ICONEXCLAMATION},
    {"The link lead has been detected correctly.\nIf the transfer is still not working check\n"
     "that the lead is properly pluged into the\nGameboy and that the wiring is correct.",
     "Test Link Status", MessageStyle::MB_ICONINFORMATION}};

const std::vector<Message> kFailed{
    kPlugIn,
    {"No Loop Back Detected", "Test Link Status", MessageStyle::MB_ICONSTOP},
    {"The link lead has not been detected.\nMake sure it is pluged into the right\n"
     "port and that the wiring is correct.\n\nCheck the port is configured as a\n"
     "standard port in the BIOS and it's\naddress matches the selected port.\n",
     "Test Link Status", MessageStyle::MB_ICONINFORMATION}};

struct LeadCase {
  const char* name;
  Connection connection;
  LoopWiring wiring;
  bool passes;
};

class Lead : public ::testing::TestWithParam<LeadCase> {};

TEST_P(Lead, ReadsTheLoopFourTimesAndExplains) {
  const LeadCase c = GetParam();
  SimRig rig;
  rig.gameBoy.SetConnection(c.connection);
  rig.gameBoy.SetLoopWiring(c.wiring);

  EXPECT_EQ(TestLink(rig.link, rig.ui), c.passes);
  EXPECT_EQ(rig.ui.messages, c.passes ? kPassed : kFailed);
  // only message boxes: no lamp, no progress
  for (const auto& event : rig.ui.events) EXPECT_EQ(event.kind, FakeServices::Event::Message);

  // drive low, high, low, high, then low again at the end; a reading after each of the four
  std::vector<int> drive;
  for (const auto& edge : rig.gameBoy.Edges()) {
    if (edge.line == SimLine::Loop) drive.push_back(edge.level);
  }
  EXPECT_EQ(drive, (std::vector<int>{1, 0, 1, 0}));
  int statusReads = 0;
  for (const auto& access : rig.port.accesses) statusReads += !access.write;
  EXPECT_EQ(statusReads, 4);
}

INSTANTIATE_TEST_SUITE_P(
    Wiring, Lead,
    ::testing::Values(
        LeadCase{"Good", Connection::StuckSet, LoopWiring::Inverted, true},
        LeadCase{"GoodWithDataLineLow", Connection::StuckClear, LoopWiring::Inverted, true},
        LeadCase{"StuckAtOne", Connection::StuckSet, LoopWiring::StuckSet, false},
        LeadCase{"StuckAtZero", Connection::StuckSet, LoopWiring::StuckClear, false},
        LeadCase{"NotInverted", Connection::StuckSet, LoopWiring::NotInverted, false},
        LeadCase{"GameBoyStillAttached", Connection::GameBoy, LoopWiring::Inverted, false}),
    [](const auto& tp) { return std::string(tp.param.name); });

TEST(LeadAfterTimeout, BringsEveryOutputLowAlthoughSyncLeftDataHigh) {
  SimRig rig;
  rig.gameBoy.SetConnection(Connection::StuckSet);
  ASSERT_FALSE(SyncLink(rig.link));
  ASSERT_EQ(rig.gameBoy.Read(0x378) & LinkDataOut, LinkDataOut);
  const std::size_t before = rig.port.accesses.size();

  EXPECT_TRUE(TestLink(rig.link, rig.ui));
  // the very first write of the test already clears the data line
  const auto accesses = rig.port.Since(before);
  ASSERT_FALSE(accesses.empty());
  EXPECT_TRUE(accesses.front().write);
  EXPECT_EQ(accesses.front().value, 0);
  EXPECT_EQ(accesses.back().value, 0);
  EXPECT_EQ(rig.gameBoy.Read(0x378), 0);
  EXPECT_EQ(rig.link.port.OutputLatch, 0u);
}

TEST(LeadWithoutCounter, WarnsFirstAndStillTests) {
  SimRig rig;
  rig.counter.SetFrequency(0);
  rig.gameBoy.SetConnection(Connection::StuckSet);
  EXPECT_TRUE(TestLink(rig.link, rig.ui));
  ASSERT_EQ(rig.ui.messages.size(), 4u);
  EXPECT_EQ(rig.ui.messages[0].title, "Timer test");
  EXPECT_EQ(std::vector<Message>(rig.ui.messages.begin() + 1, rig.ui.messages.end()), kPassed);
}

}  // namespace
}  // namespace fennow
