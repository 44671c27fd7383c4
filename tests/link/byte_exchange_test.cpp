// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "link/ByteExchange.h"
#include "link/LinkLines.h"
#include "ports/PortSelection.h"
#include "tests/support/SimRig.h"

namespace fennow {
namespace {

using test::SimRig;

// Level of LinkDataOut at each rising clock edge in the simulator's log, from entry `first` on.
std::vector<int> DataAtRisingEdges(const SimulatedGameBoy& gameBoy, std::size_t first = 0) {
  std::vector<int> levels;
  bool data = false;
  const auto& edges = gameBoy.Edges();
  for (std::size_t i = 0; i < edges.size(); ++i) {
    if (edges[i].line == SimLine::DataOut) data = edges[i].level;
    if (i >= first && edges[i].line == SimLine::Clock && edges[i].level) levels.push_back(data);
  }
  return levels;
}

// Brings the simulated Game Boy to the first byte of a data block whose first byte is `first`.
void ReachFirstDataByte(SimRig& rig, std::uint8_t first) {
  std::array<std::uint8_t, kDataBytes> block{};
  block[0] = first;
  ASSERT_TRUE(rig.gameBoy.LoadData(block));
  ASSERT_TRUE(SyncLink(rig.link));
  ASSERT_EQ(ExchangeByte(rig.link, 'G'), 'W');
  ASSERT_EQ(ExchangeByte(rig.link, 0), 2);
}

struct ExchangeCase {
  std::uint8_t out;
  std::uint8_t gameBoySends;
  std::array<int, 8> dataAtRises;
};

class Exchange : public ::testing::TestWithParam<ExchangeCase> {};

TEST_P(Exchange, SendsMostSignificantBitFirstAndReceivesInTheSameClocks) {
  const ExchangeCase c = GetParam();
  SimRig rig;
  ReachFirstDataByte(rig, c.gameBoySends);
  const std::size_t firstEdge = rig.gameBoy.Edges().size();
  const std::size_t firstAccess = rig.port.accesses.size();

  EXPECT_EQ(ExchangeByte(rig.link, c.out), c.gameBoySends);

  const std::vector<int> rises = DataAtRisingEdges(rig.gameBoy, firstEdge);
  EXPECT_EQ(rises, std::vector<int>(c.dataAtRises.begin(), c.dataAtRises.end()));
  ASSERT_FALSE(rig.gameBoy.Bytes().empty());
  EXPECT_EQ(rig.gameBoy.Bytes().back().received, c.out);

  int writes = 0;
  int reads = 0;
  for (const auto& access : rig.port.Since(firstAccess)) {
    if (access.write) {
      ++writes;
      EXPECT_EQ(access.address, 0x378);
    } else {
      ++reads;
      EXPECT_EQ(access.address, 0x379);
    }
  }
  EXPECT_EQ(writes, 26);
  EXPECT_EQ(reads, 8);
  EXPECT_EQ(rig.port.accesses.back().value & (LinkDataOut | LinkClock), 0u);
  EXPECT_EQ(rig.link.port.OutputLatch & (LinkDataOut | LinkClock), 0u);
}

INSTANTIATE_TEST_SUITE_P(Bytes, Exchange,
                         ::testing::Values(ExchangeCase{0xA5, 0x3C, {1, 0, 1, 0, 0, 1, 0, 1}},
                                           ExchangeCase{0x00, 0xFF, {0, 0, 0, 0, 0, 0, 0, 0}},
                                           ExchangeCase{0xFF, 0x00, {1, 1, 1, 1, 1, 1, 1, 1}},
                                           ExchangeCase{0x80, 0x01, {1, 0, 0, 0, 0, 0, 0, 0}},
                                           ExchangeCase{0x01, 0x80, {0, 0, 0, 0, 0, 0, 0, 1}},
                                           ExchangeCase{0x47, 0x53, {0, 1, 0, 0, 0, 1, 1, 1}}),
                         [](const auto& tp) {
                           return "Out" + std::to_string(tp.param.out) + "In" +
                                  std::to_string(tp.param.gameBoySends);
                         });

struct DeadLineCase {
  Connection connection;
  std::uint8_t exchanged;
};

class DeadLine : public ::testing::TestWithParam<DeadLineCase> {};

TEST_P(DeadLine, ExchangeReturnsTheLineAndSyncGivesUpAfter350Clocks) {
  SimRig rig;
  rig.gameBoy.SetConnection(GetParam().connection);
  EXPECT_EQ(ExchangeByte(rig.link, 0x47), GetParam().exchanged);

  const std::uint64_t before = rig.gameBoy.ClockPulses();
  const std::size_t firstEdge = rig.gameBoy.Edges().size();
  EXPECT_FALSE(SyncLink(rig.link));
  EXPECT_EQ(rig.gameBoy.ClockPulses() - before, 350u);
  // the Game Boy is sent only one bits while the PC hunts for its byte boundary
  EXPECT_EQ(DataAtRisingEdges(rig.gameBoy, firstEdge), std::vector<int>(350, 1));
  // the timeout leaves the data line high and the clock low
  EXPECT_EQ(rig.gameBoy.Read(0x378) & (LinkDataOut | LinkClock), LinkDataOut);
}

INSTANTIATE_TEST_SUITE_P(Lines, DeadLine,
                         ::testing::Values(DeadLineCase{Connection::StuckSet, 0xFF},
                                           DeadLineCase{Connection::StuckClear, 0x00}),
                         [](const auto& tp) {
                           return tp.param.connection == Connection::StuckSet ? "StuckSet"
                                                                              : "StuckClear";
                         });

struct PhaseCase {
  int bitsGone;  // of the Game Boy's 0x53 ('W' slot from 8 on) before the PC's first clock
  std::uint64_t clocks;
};

class SyncPhase : public ::testing::TestWithParam<PhaseCase> {};

TEST_P(SyncPhase, FindsTheByteBoundaryAtTheFirstMatch) {
  SimRig rig;
  rig.gameBoy.SetStartPhase(GetParam().bitsGone);
  EXPECT_TRUE(SyncLink(rig.link));
  EXPECT_EQ(rig.gameBoy.ClockPulses(), GetParam().clocks);
  // aligned: the next exchange is the reply slot
  EXPECT_EQ(ExchangeByte(rig.link, 'G'), 'W');
  EXPECT_EQ(rig.gameBoy.State(), SimState::Mode);
}

INSTANTIATE_TEST_SUITE_P(
    Phases, SyncPhase,
    ::testing::Values(PhaseCase{0, 8},  // 0,1,0,1,0,0,1,1 from the first clock
                      PhaseCase{1, 7},  // 1,0,1,0,0,1,1: the zero before the first clock counts
                      // otherwise the rest of this 0x53 and the reply slot go by first
                      PhaseCase{2, 22}, PhaseCase{7, 17}, PhaseCase{8, 16}, PhaseCase{15, 9}),
    [](const auto& tp) { return "BitsGone" + std::to_string(tp.param.bitsGone); });

class PortAddresses : public ::testing::TestWithParam<PortChoice> {};

TEST_P(PortAddresses, EveryAccessGoesToTheChosenPort) {
  SimRig rig;
  const auto& chosen = AddressesOf(GetParam());
  rig.gameBoy.SetPort(static_cast<std::uint16_t>(chosen.dataPort),
                      static_cast<std::uint16_t>(chosen.statusPort));
  SelectPort(rig.link.port, GetParam(), LegacyPorts(), rig.ui);
  EXPECT_TRUE(rig.port.accesses.empty());

  EXPECT_TRUE(SyncLink(rig.link));
  EXPECT_EQ(ExchangeByte(rig.link, 'G'), 'W');
  ASSERT_FALSE(rig.port.accesses.empty());
  for (const auto& access : rig.port.accesses) {
    EXPECT_EQ(access.address, access.write ? chosen.dataPort : chosen.statusPort);
  }
}

INSTANTIATE_TEST_SUITE_P(Choices, PortAddresses,
                         ::testing::Values(PortChoice::LPT1, PortChoice::LPT2, PortChoice::LPT3),
                         [](const auto& tp) { return std::string(AddressesOf(tp.param).name); });

TEST(PortChoice, AGameBoyOnAnotherPortIsNeverFound) {
  SimRig rig;
  SelectPort(rig.link.port, PortChoice::LPT2, LegacyPorts(), rig.ui);
  EXPECT_FALSE(SyncLink(rig.link));
  EXPECT_EQ(rig.gameBoy.ClockPulses(), 0u);
}

TEST(PortChoice, TheNewPortFirstSeesTheLatchAsItStands) {
  SimRig rig;
  rig.gameBoy.SetConnection(Connection::StuckClear);
  ASSERT_FALSE(SyncLink(rig.link));  // leaves LinkDataOut set on LPT1
  const std::size_t before = rig.port.accesses.size();

  SelectPort(rig.link.port, PortChoice::LPT3, LegacyPorts(), rig.ui);
  EXPECT_EQ(rig.port.accesses.size(), before);
  EXPECT_EQ(rig.gameBoy.Read(0x378) & LinkDataOut, LinkDataOut);  // not cleared on the old port

  rig.link.lines.Set(LinkClock);
  ASSERT_EQ(rig.port.accesses.size(), before + 1);
  const auto& first = rig.port.accesses.back();
  EXPECT_TRUE(first.write);
  EXPECT_EQ(first.address, 0x3BC);
  EXPECT_EQ(first.value, LinkDataOut | LinkClock);
}

}  // namespace
}  // namespace fennow
