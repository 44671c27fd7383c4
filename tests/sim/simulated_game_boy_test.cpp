// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "capture/Transfer.h"
#include "link/ByteExchange.h"
#include "tests/support/SimRig.h"

namespace fennow {
namespace {

using test::SimRig;

constexpr std::uint8_t kClock = 0x02;
constexpr std::uint8_t kDrive = 0x04;

TEST(SimPort, OnlyItsOwnTwoAddressesHaveHardwareBehindThem) {
  int timeReads = 0;
  SimulatedGameBoy gameBoy([&] { return ++timeReads; });
  for (std::uint16_t address :
       std::initializer_list<std::uint16_t>{0x278, 0x279, 0x37A, 0x3BC, 0x3BD}) {
    gameBoy.Write(address, kClock);
    gameBoy.Write(address, 0);
    EXPECT_EQ(gameBoy.Read(address), 0xFF) << address;
  }
  EXPECT_EQ(gameBoy.ClockPulses(), 0u);
  EXPECT_TRUE(gameBoy.Edges().empty());

  gameBoy.Write(0x378, 0x05);
  EXPECT_EQ(gameBoy.Read(0x378), 0x05);  // the data register reads back
  // the unwired status inputs float high; the 0x53 starts with a 0 bit
  EXPECT_EQ(gameBoy.Read(0x379) & 0x7F, 0x3F);

  gameBoy.SetPort(0x3BC, 0x3BD);
  EXPECT_EQ(gameBoy.Read(0x379), 0xFF);
  EXPECT_EQ(gameBoy.Read(0x3BD) & 0x3F, 0x3F);
}

struct SenseCase {
  Connection connection;
  LoopWiring wiring;
  bool drive;
  bool sense;  // status bit 7
  friend void PrintTo(const SenseCase& c, std::ostream* out) {
    *out << "connection " << static_cast<int>(c.connection) << ", wiring "
         << static_cast<int>(c.wiring) << ", drive " << c.drive;
  }
};

class LoopSenseBit : public ::testing::TestWithParam<SenseCase> {};

TEST_P(LoopSenseBit, FollowsTheWiring) {
  const SenseCase c = GetParam();
  SimulatedGameBoy gameBoy([] { return std::int64_t{0}; });
  gameBoy.SetConnection(c.connection);
  gameBoy.SetLoopWiring(c.wiring);
  gameBoy.Write(0x378, c.drive ? kDrive : std::uint8_t{0});
  EXPECT_EQ((gameBoy.Read(0x379) & 0x80) != 0, c.sense);
}

INSTANTIATE_TEST_SUITE_P(
    Leads, LoopSenseBit,
    ::testing::Values(SenseCase{Connection::StuckSet, LoopWiring::Inverted, false, true},
                      SenseCase{Connection::StuckSet, LoopWiring::Inverted, true, false},
                      SenseCase{Connection::StuckClear, LoopWiring::NotInverted, false, false},
                      SenseCase{Connection::StuckClear, LoopWiring::NotInverted, true, true},
                      SenseCase{Connection::StuckSet, LoopWiring::StuckSet, false, true},
                      SenseCase{Connection::StuckSet, LoopWiring::StuckSet, true, true},
                      SenseCase{Connection::StuckSet, LoopWiring::StuckClear, false, false},
                      SenseCase{Connection::StuckSet, LoopWiring::StuckClear, true, false},
                      // plugged into the Game Boy there is no loop, whatever the lead
                      SenseCase{Connection::GameBoy, LoopWiring::Inverted, false, false},
                      SenseCase{Connection::GameBoy, LoopWiring::Inverted, true, false}));

TEST(SimPayload, RefusesBlocksOfTheWrongSize) {
  SimulatedGameBoy gameBoy([] { return std::int64_t{0}; });
  const std::vector<std::uint8_t> bytes(2881, 0);
  gameBoy.SetModeByte(2);
  EXPECT_FALSE(gameBoy.LoadScreen(std::span(bytes).first(2879)));
  EXPECT_FALSE(gameBoy.LoadScreen(bytes));
  EXPECT_EQ(gameBoy.ModeByte(), 2);
  EXPECT_FALSE(gameBoy.LoadData(std::span(bytes).first(1204)));
  EXPECT_FALSE(gameBoy.LoadData(std::span(bytes).first(1206)));
  EXPECT_TRUE(gameBoy.LoadScreen(std::span(bytes).first(2880)));
  EXPECT_EQ(gameBoy.ModeByte(), 1);
  EXPECT_EQ(gameBoy.PayloadSize(), 2880u);
  EXPECT_TRUE(gameBoy.LoadData(std::span(bytes).first(1205)));
  EXPECT_EQ(gameBoy.PayloadSize(), 1205u);
  gameBoy.SetModeByte(3);
  EXPECT_EQ(gameBoy.PayloadSize(), 0u);
}

TEST(SimProtocol, WrongRepliesCountDownOnlyWhenARequestArrives) {
  SimRig rig;
  rig.gameBoy.SetWrongReplies(2, 0x00);
  struct Step {
    std::uint8_t request;
    std::uint8_t reply;
    int wrongLeft;
    int requests;
    SimState after;
  };
  const Step steps[] = {
      {0x00, 0x00, 2, 0, SimState::Waiting},  // no 'G': the wrong reply is not used up
      {'G', 0x00, 1, 1, SimState::Waiting},  {'G', 0x00, 0, 2, SimState::Waiting},
      {0x46, 'W', 0, 2, SimState::Waiting},  // 'W' shown, but the request was not 'G'
      {'G', 'W', 0, 3, SimState::Mode},
  };
  for (const Step& s : steps) {
    ASSERT_TRUE(SyncLink(rig.link));
    EXPECT_EQ(ExchangeByte(rig.link, s.request), s.reply);
    EXPECT_EQ(rig.gameBoy.WrongRepliesLeft(), s.wrongLeft);
    EXPECT_EQ(rig.gameBoy.RequestsSeen(), s.requests);
    EXPECT_EQ(rig.gameBoy.State(), s.after);
  }
  EXPECT_EQ(rig.gameBoy.BytesReceived(), 10u);
}

// The reply slot on the wire was loaded as a wrong one; setting the count to 0 then must not make
// that reply count below nothing when the 'G' arrives.
TEST(SimProtocol, WrongRepliesLeftNeverGoesBelowZero) {
  SimRig rig;
  rig.gameBoy.SetWrongReplies(1, 0x00);
  ASSERT_TRUE(SyncLink(rig.link));  // the wrong reply is now on the wire
  rig.gameBoy.SetWrongReplies(0);
  EXPECT_EQ(ExchangeByte(rig.link, 'G'), 0x00);
  EXPECT_EQ(rig.gameBoy.WrongRepliesLeft(), 0);
  ASSERT_TRUE(SyncLink(rig.link));
  EXPECT_EQ(ExchangeByte(rig.link, 'G'), 'W');
  EXPECT_EQ(rig.gameBoy.WrongRepliesLeft(), 0);
}

TEST(SimProtocol, GoesBackToWaitingAfterEachTransferAndAfterABadMode) {
  SimRig rig;
  rig.gameBoy.SetModeByte(7);
  EXPECT_EQ(StartTransfer(rig.link, rig.ui, rig.store), TransferStatus::AcknowledgeError);
  EXPECT_EQ(rig.gameBoy.State(), SimState::Waiting);

  rig.gameBoy.SetModeByte(2);
  EXPECT_EQ(StartTransfer(rig.link, rig.ui, rig.store), TransferStatus::Success);
  EXPECT_EQ(rig.gameBoy.State(), SimState::Waiting);
  rig.gameBoy.SetModeByte(1);
  EXPECT_EQ(StartTransfer(rig.link, rig.ui, rig.store), TransferStatus::Success);
  EXPECT_EQ(rig.gameBoy.TransfersCompleted(), 2);
  EXPECT_EQ(rig.gameBoy.RequestsSeen(), 3);
  // three syncs, requests and mode bytes, and both payloads
  EXPECT_EQ(rig.gameBoy.BytesReceived(), 9u + 1205u + 2880u);
}

TEST(SimProtocol, CountsAndShowsWhereATransferStands) {
  SimRig rig;
  ASSERT_TRUE(SyncLink(rig.link));
  EXPECT_EQ(rig.gameBoy.State(), SimState::Reply);
  ASSERT_EQ(ExchangeByte(rig.link, 'G'), 'W');
  EXPECT_EQ(rig.gameBoy.State(), SimState::Mode);
  ASSERT_EQ(ExchangeByte(rig.link, 0), 1);
  EXPECT_EQ(rig.gameBoy.State(), SimState::Payload);
  for (int i = 0; i < 5; ++i) ExchangeByte(rig.link, 0);
  EXPECT_EQ(rig.gameBoy.PayloadPosition(), 5u);
  EXPECT_EQ(rig.gameBoy.BytesReceived(), 8u);
  EXPECT_EQ(rig.gameBoy.ClockPulses(), 64u);

  // a restarted Game Boy is found again at once
  rig.gameBoy.Reset();
  EXPECT_EQ(rig.gameBoy.State(), SimState::Waiting);
  EXPECT_EQ(rig.gameBoy.PayloadPosition(), 0u);
  EXPECT_TRUE(SyncLink(rig.link));
  EXPECT_EQ(rig.gameBoy.ClockPulses(), 72u);
}

TEST(SimProtocol, HearsNothingWhileTheLeadIsOutOfIt) {
  SimRig rig;
  rig.gameBoy.SetConnection(Connection::StuckSet);
  for (int i = 0; i < 3; ++i) ExchangeByte(rig.link, 'G');
  EXPECT_EQ(rig.gameBoy.BytesReceived(), 0u);
  EXPECT_EQ(rig.gameBoy.ClockPulses(), 24u);  // the PC's edges are still on the lines

  rig.gameBoy.SetConnection(Connection::GameBoy);
  EXPECT_TRUE(SyncLink(rig.link));
  EXPECT_EQ(rig.gameBoy.ClockPulses(), 32u);
}

TEST(SimLines, TheGameBoyChangesItsBitOnlyOnFallingEdges) {
  SimRig rig;
  ASSERT_EQ(StartTransfer(rig.link, rig.ui, rig.store), TransferStatus::Success);
  const auto& edges = rig.gameBoy.Edges();
  int changes = 0;
  for (std::size_t i = 0; i < edges.size(); ++i) {
    if (edges[i].line != SimLine::DataIn) continue;
    ++changes;
    ASSERT_GT(i, 0u);
    EXPECT_EQ(edges[i - 1].line, SimLine::Clock);
    EXPECT_FALSE(edges[i - 1].level);
    EXPECT_EQ(edges[i - 1].timeNs, edges[i].timeNs);
  }
  // 0x53, 'W' and the mode byte alone change the line 11 times
  EXPECT_GT(changes, 10);
}

TEST(SimRecording, StaysBoundedAndCanBeSwitchedOff) {
  int timeReads = 0;
  SimulatedGameBoy gameBoy([&] { return ++timeReads; });
  gameBoy.SetRecordLimit(5);
  for (int i = 0; i < 8; ++i) {  // 16 clock edges, one byte
    gameBoy.Write(0x378, kClock);
    gameBoy.Write(0x378, 0);
  }
  EXPECT_EQ(gameBoy.Edges().size(), 5u);
  EXPECT_EQ(gameBoy.Bytes().size(), 1u);
  EXPECT_GT(gameBoy.DroppedRecords(), 11u);  // the rest of the clock edges, and the bit changes
  EXPECT_EQ(gameBoy.Bytes()[0].received, 0x00);
  EXPECT_EQ(gameBoy.Bytes()[0].sent, 0x53);

  gameBoy.ClearRecords();
  EXPECT_TRUE(gameBoy.Edges().empty());
  EXPECT_TRUE(gameBoy.Bytes().empty());
  EXPECT_EQ(gameBoy.DroppedRecords(), 0u);

  gameBoy.SetRecording(false);
  const int readsBefore = timeReads;
  for (int i = 0; i < 16; ++i) {
    gameBoy.Write(0x378, kClock);
    gameBoy.Write(0x378, 0);
  }
  EXPECT_TRUE(gameBoy.Edges().empty());
  EXPECT_TRUE(gameBoy.Bytes().empty());
  EXPECT_EQ(timeReads, readsBefore);
  EXPECT_EQ(gameBoy.BytesReceived(), 3u);  // the Game Boy itself goes on
}

}  // namespace
}  // namespace fennow
