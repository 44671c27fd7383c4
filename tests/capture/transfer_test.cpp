// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/Transfer.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "tests/support/SimRig.h"

namespace fennow {
namespace {

using test::FakeServices;
using test::Message;
using test::SimRig;
using Event = FakeServices::Event;
using LampSet = std::array<bool, 4>;  // Sync, Screen, Data, Error

constexpr std::int32_t kUntouched = 0x1234;  // no byte value: marks slots a transfer never wrote

using ScreenRows = std::array<std::uint8_t, 2880>;
using DataBlock = std::array<std::uint8_t, 1205>;

ScreenRows RandomScreen(unsigned seed) {
  std::mt19937 random(seed);
  ScreenRows rows{};
  for (auto& b : rows) b = static_cast<std::uint8_t>(random());
  return rows;
}

DataBlock RampBlock() {
  DataBlock block{};
  for (std::size_t j = 0; j < block.size(); ++j) block[j] = static_cast<std::uint8_t>(j * 131 + 7);
  return block;
}

// 0, step, 2 x step, ... : `count` positions.
std::vector<std::int32_t> Steps(int count, int step) {
  std::vector<std::int32_t> positions;
  for (int i = 0; i < count; ++i) positions.push_back(i * step);
  return positions;
}

LampSet Lamps(const FakeServices& ui) {
  return {ui.Lit(Lamp::SyncLamp), ui.Lit(Lamp::ScreenLamp), ui.Lit(Lamp::DataLamp),
          ui.Lit(Lamp::ErrorLamp)};
}

int TouchedSlots(const CaptureStore& store) {
  int touched = 0;
  for (std::int32_t slot : store.CaptureBuffer) touched += slot != kUntouched;
  return touched;
}

// The end step: the outcome box first, then the bar reset and the sync lamp out, and the error
// lamp last when the transfer failed.
void ExpectEndStep(const FakeServices& ui, bool failed) {
  const std::size_t n = failed ? 4 : 3;
  ASSERT_GE(ui.events.size(), n);
  const Event* tail = &ui.events[ui.events.size() - n];
  EXPECT_EQ(tail[0].kind, Event::Message);
  EXPECT_EQ(tail[1].kind, Event::Progress);
  EXPECT_EQ(tail[1].a, 0);
  EXPECT_EQ(tail[2].kind, Event::Lamp);
  EXPECT_EQ(tail[2].lamp, Lamp::SyncLamp);
  EXPECT_FALSE(tail[2].on);
  if (failed) {
    EXPECT_EQ(tail[3].kind, Event::Lamp);
    EXPECT_EQ(tail[3].lamp, Lamp::ErrorLamp);
    EXPECT_TRUE(tail[3].on);
  }
}

class Transfer : public ::testing::Test {
 protected:
  void SetUp() override { rig.store.CaptureBuffer.fill(kUntouched); }
  TransferStatus Run() { return StartTransfer(rig.link, rig.ui, rig.store); }

  SimRig rig;
};

TEST_F(Transfer, ScreenArrivesPixelForPixelComplementedAndBottomUp) {
  const ScreenRows rows = RandomScreen(1);
  ASSERT_TRUE(rig.gameBoy.LoadScreen(rows));

  EXPECT_EQ(Run(), TransferStatus::Success);
  for (int y = 0; y < 144; ++y) {
    for (int c = 0; c < 20; ++c) {
      const std::size_t slot = static_cast<std::size_t>((143 - y) * 20 + c);
      ASSERT_EQ(rig.store.CaptureBuffer[slot], rows[static_cast<std::size_t>(y * 20 + c)] ^ 0xFF)
          << "pixel row " << y << ", byte column " << c;
    }
  }
  EXPECT_EQ(rig.store.Kind, CaptureKind::Screen);
  EXPECT_EQ(rig.ui.messages, (std::vector<Message>{{"Screen Transfer Successful", "Transfer Status",
                                                    MessageStyle::MB_OK}}));
  EXPECT_EQ(Lamps(rig.ui), (LampSet{false, true, false, false}));
  std::vector<std::int32_t> progress{0};
  for (std::int32_t p : Steps(18, 6)) progress.push_back(p);  // 0, 6, ..., 102
  progress.push_back(0);
  EXPECT_EQ(rig.ui.progress, progress);
  ExpectEndStep(rig.ui, false);
  EXPECT_EQ(rig.gameBoy.TransfersCompleted(), 1);
  EXPECT_EQ(rig.gameBoy.RequestsSeen(), 1);
}

TEST_F(Transfer, DataBlockArrivesUnchangedAndLeavesTheRestOfTheBuffer) {
  const DataBlock block = RampBlock();
  ASSERT_TRUE(rig.gameBoy.LoadData(block));

  EXPECT_EQ(Run(), TransferStatus::Success);
  for (std::size_t j = 0; j < block.size(); ++j) {
    ASSERT_EQ(rig.store.CaptureBuffer[j], block[j]) << "slot " << j;
  }
  EXPECT_EQ(TouchedSlots(rig.store), 1205);
  EXPECT_EQ(rig.store.Kind, CaptureKind::Data);
  EXPECT_EQ(
      rig.ui.messages,
      (std::vector<Message>{{"Data Transfer Successful", "Transfer Status", MessageStyle::MB_OK}}));
  EXPECT_EQ(Lamps(rig.ui), (LampSet{false, false, true, false}));
  std::vector<std::int32_t> progress{0};
  for (int j = 0; j < 1205; ++j) progress.push_back(j / 10);
  progress.push_back(0);
  EXPECT_EQ(rig.ui.progress, progress);
  ExpectEndStep(rig.ui, false);
}

struct PixelCase {
  int x;
  int y;
  std::size_t slot;
  std::int32_t stored;
};

class OnePixel : public ::testing::TestWithParam<PixelCase> {};

// A single dark pixel lands in one slot, at one bit; a slip in the tile walk would move it.
TEST_P(OnePixel, LandsInItsSlotAndBit) {
  const PixelCase p = GetParam();
  ScreenRows rows{};
  rows[static_cast<std::size_t>(p.y * 20 + p.x / 8)] = static_cast<std::uint8_t>(0x80 >> (p.x % 8));
  SimRig rig;
  ASSERT_TRUE(rig.gameBoy.LoadScreen(rows));
  ASSERT_EQ(StartTransfer(rig.link, rig.ui, rig.store), TransferStatus::Success);
  for (std::size_t slot = 0; slot < 2880; ++slot) {
    ASSERT_EQ(rig.store.CaptureBuffer[slot], slot == p.slot ? p.stored : 0xFF) << "slot " << slot;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Corners, OnePixel,
    ::testing::Values(PixelCase{0, 0, 2860, 0x7F}, PixelCase{7, 0, 2860, 0xFE},
                      PixelCase{8, 0, 2861, 0x7F}, PixelCase{159, 0, 2879, 0xFE},
                      PixelCase{0, 7, 2720, 0x7F}, PixelCase{0, 8, 2700, 0x7F},
                      PixelCase{0, 143, 0, 0x7F}, PixelCase{159, 143, 19, 0xFE},
                      PixelCase{83, 77, 1330, 0xEF}),
    [](const auto& tp) {
      return "X" + std::to_string(tp.param.x) + "Y" + std::to_string(tp.param.y);
    });

class UniformScreen : public ::testing::TestWithParam<std::uint8_t> {};

TEST_P(UniformScreen, EverySlotHoldsTheComplement) {
  ScreenRows rows{};
  rows.fill(GetParam());
  SimRig rig;
  ASSERT_TRUE(rig.gameBoy.LoadScreen(rows));
  ASSERT_EQ(StartTransfer(rig.link, rig.ui, rig.store), TransferStatus::Success);
  for (std::int32_t slot : rig.store.CaptureBuffer) ASSERT_EQ(slot, GetParam() ^ 0xFF);
  EXPECT_EQ(rig.store.Kind, CaptureKind::Screen);
}

INSTANTIATE_TEST_SUITE_P(Fills, UniformScreen, ::testing::Values(0x00, 0xFF));

struct FailureCase {
  const char* name;
  std::function<void(SimRig&)> setUp;
  TransferStatus status;
  const char* text;
  std::uint64_t clockPulses;  // every clock the PC gave, syncs included
  int requestsSeen;           // 'G' the Game Boy received in a reply slot
};

class Failure : public ::testing::TestWithParam<FailureCase> {};

// None of these failures reaches the payload, so the capture held before is still whole and
// stays there to be saved.
TEST_P(Failure, TellsTheUserAndKeepsTheEarlierCapture) {
  const FailureCase f = GetParam();
  for (CaptureKind before : {CaptureKind::None, CaptureKind::Screen, CaptureKind::Data}) {
    SCOPED_TRACE(static_cast<int>(before));
    SimRig rig;
    rig.store.CaptureBuffer.fill(kUntouched);
    rig.store.Kind = before;
    f.setUp(rig);

    EXPECT_EQ(StartTransfer(rig.link, rig.ui, rig.store), f.status);
    EXPECT_EQ(rig.store.Kind, before);
    EXPECT_EQ(TouchedSlots(rig.store), 0);
  }

  SimRig rig;
  rig.store.CaptureBuffer.fill(kUntouched);
  f.setUp(rig);
  EXPECT_EQ(StartTransfer(rig.link, rig.ui, rig.store), f.status);
  EXPECT_EQ(rig.ui.messages,
            (std::vector<Message>{{f.text, "Transfer Status", MessageStyle::MB_ICONSTOP}}));
  EXPECT_EQ(Lamps(rig.ui), (LampSet{false, false, false, true}));
  EXPECT_EQ(rig.ui.progress, (std::vector<std::int32_t>{0, 0}));
  ExpectEndStep(rig.ui, true);
  EXPECT_EQ(rig.gameBoy.ClockPulses(), f.clockPulses);
  EXPECT_EQ(rig.gameBoy.RequestsSeen(), f.requestsSeen);
}

constexpr const char* kTimeout = "Serial Sync Timeout";

INSTANTIATE_TEST_SUITE_P(
    Paths, Failure,
    ::testing::Values(
        // one synchronisation of 350 clocks, then straight to the report
        FailureCase{"NoGameBoyLineHigh",
                    [](SimRig& r) { r.gameBoy.SetConnection(Connection::StuckSet); },
                    TransferStatus::SyncTimeout, kTimeout, 350, 0},
        FailureCase{"NoGameBoyLineLow",
                    [](SimRig& r) { r.gameBoy.SetConnection(Connection::StuckClear); },
                    TransferStatus::SyncTimeout, kTimeout, 350, 0},
        FailureCase{"GameBoyOnAnotherPort", [](SimRig& r) { r.gameBoy.SetPort(0x278, 0x279); },
                    TransferStatus::SyncTimeout, kTimeout, 0, 0},
        // six syncs of 8 clocks, each with its request: the sixth gets 'W' and still fails
        FailureCase{"FiveWrongReplies", [](SimRig& r) { r.gameBoy.SetWrongReplies(5); },
                    TransferStatus::SyncTimeout, kTimeout, 96, 6},
        FailureCase{"SixthAttemptWinsOverAKey",
                    [](SimRig& r) {
                      r.gameBoy.SetWrongReplies(5, 0x53);
                      r.ui.PressKeyAtPoll(6);
                    },
                    TransferStatus::SyncTimeout, kTimeout, 96, 6},
        FailureCase{"KeyDuringFirstAttempt", [](SimRig& r) { r.ui.PressKeyAtPoll(1); },
                    TransferStatus::KeyExit, "Key Exit", 16, 1},
        FailureCase{"KeyPendingAtSyncTimeout",
                    [](SimRig& r) {
                      r.gameBoy.SetConnection(Connection::StuckSet);
                      r.ui.PressKeyAtPoll(1);
                    },
                    TransferStatus::KeyExit, "Key Exit", 350, 0},
        FailureCase{"KeyAfterTwoWrongReplies",
                    [](SimRig& r) {
                      r.gameBoy.SetWrongReplies(4);
                      r.ui.PressKeyAtPoll(3);
                    },
                    TransferStatus::KeyExit, "Key Exit", 48, 3},
        // the mode byte is exchanged, then nothing more
        FailureCase{"ModeThree", [](SimRig& r) { r.gameBoy.SetModeByte(3); },
                    TransferStatus::AcknowledgeError, "Serial Acknowledge Error", 24, 1},
        FailureCase{"ModeZero", [](SimRig& r) { r.gameBoy.SetModeByte(0); },
                    TransferStatus::AcknowledgeError, "Serial Acknowledge Error", 24, 1}),
    [](const auto& tp) { return std::string(tp.param.name); });

TEST_F(Transfer, FourWrongRepliesThenReadyStillCaptures) {
  rig.gameBoy.SetWrongReplies(4);
  EXPECT_EQ(Run(), TransferStatus::Success);
  EXPECT_EQ(rig.gameBoy.RequestsSeen(), 5);
  EXPECT_EQ(rig.store.Kind, CaptureKind::Screen);
}

struct KeyCase {
  const char* name;
  bool screen;
  int bytesBeforeKey;  // payload bytes exchanged; the key is seen after the last of them
  std::vector<std::int32_t> progress;
};

class KeyDuringPayload : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeyDuringPayload, StopsAfterTheCurrentByteWithTheBarFull) {
  const KeyCase k = GetParam();
  SimRig rig;
  rig.store.CaptureBuffer.fill(kUntouched);
  if (k.screen) {
    ASSERT_TRUE(rig.gameBoy.LoadScreen(RandomScreen(2)));
  } else {
    ASSERT_TRUE(rig.gameBoy.LoadData(RampBlock()));
  }
  rig.ui.PressKeyAtPoll(1 + k.bytesBeforeKey);  // poll 1 is the request loop's
  std::vector<std::int32_t> progressAtBox;
  LampSet lampsAtBox{};
  rig.ui.onMessage = [&](const Message&) {
    progressAtBox = rig.ui.progress;
    lampsAtBox = Lamps(rig.ui);
  };

  rig.store.Kind = CaptureKind::Data;  // given up: its first slots are overwritten
  EXPECT_EQ(StartTransfer(rig.link, rig.ui, rig.store), TransferStatus::KeyExit);
  EXPECT_EQ(rig.ui.messages,
            (std::vector<Message>{{"Key Exit", "Transfer Status", MessageStyle::MB_ICONSTOP}}));
  EXPECT_EQ(progressAtBox, k.progress);
  EXPECT_EQ(lampsAtBox, (LampSet{true, k.screen, !k.screen, false}));
  EXPECT_EQ(Lamps(rig.ui), (LampSet{false, k.screen, !k.screen, true}));
  ExpectEndStep(rig.ui, true);
  EXPECT_EQ(rig.store.Kind, CaptureKind::None);
  EXPECT_EQ(TouchedSlots(rig.store), k.bytesBeforeKey);
  // no byte is clocked after the key is seen: the Game Boy has sent exactly that many
  const int sent = static_cast<int>(rig.gameBoy.PayloadPosition()) +
                   (rig.gameBoy.TransfersCompleted() > 0 ? k.screen ? 2880 : 1205 : 0);
  EXPECT_EQ(sent, k.bytesBeforeKey);
}

std::vector<std::int32_t> ScreenKeyProgress(int rowsDone) {
  std::vector<std::int32_t> progress{0};
  for (std::int32_t p : Steps(rowsDone, 6)) progress.push_back(p);
  progress.push_back(108);
  return progress;
}

std::vector<std::int32_t> DataKeyProgress(int bytes) {
  std::vector<std::int32_t> progress{0};
  for (int j = 0; j + 1 < bytes; ++j) progress.push_back(j / 10);
  progress.push_back(120);
  return progress;
}

INSTANTIATE_TEST_SUITE_P(
    Points, KeyDuringPayload,
    ::testing::Values(KeyCase{"ScreenFirstByte", true, 1, ScreenKeyProgress(0)},
                      KeyCase{"ScreenRowDone", true, 160, ScreenKeyProgress(0)},
                      KeyCase{"ScreenNextRow", true, 161, ScreenKeyProgress(1)},
                      KeyCase{"ScreenLastByte", true, 2880, ScreenKeyProgress(17)},
                      KeyCase{"DataFirstByte", false, 1, DataKeyProgress(1)},
                      KeyCase{"DataMiddle", false, 600, DataKeyProgress(600)},
                      KeyCase{"DataLastByte", false, 1205, DataKeyProgress(1205)}),
    [](const auto& tp) { return std::string(tp.param.name); });

TEST_F(Transfer, ACaptureLastsUntilATransferOverwritesIt) {
  ASSERT_TRUE(rig.gameBoy.LoadScreen(RandomScreen(3)));
  ASSERT_EQ(Run(), TransferStatus::Success);
  const auto screen = rig.store.CaptureBuffer;

  // a data block replaces the kind but not the screen beyond its 1205 slots
  ASSERT_TRUE(rig.gameBoy.LoadData(RampBlock()));
  ASSERT_EQ(Run(), TransferStatus::Success);
  EXPECT_EQ(rig.store.Kind, CaptureKind::Data);
  for (std::size_t slot = 1205; slot < 2880; ++slot) {
    ASSERT_EQ(rig.store.CaptureBuffer[slot], screen[slot]);
  }

  // a screen stopped by a key after that gives up the data capture
  ASSERT_TRUE(rig.gameBoy.LoadScreen(RandomScreen(4)));
  rig.ui.PressKeyAtPoll(rig.ui.keyPolls + 1 + 10);
  ASSERT_EQ(Run(), TransferStatus::KeyExit);
  EXPECT_EQ(rig.store.Kind, CaptureKind::None);

  // after another good capture, a sync timeout overwrites nothing and keeps it, lamp and all
  rig.ui.keyAtPoll = nullptr;
  rig.gameBoy.Reset();
  ASSERT_EQ(Run(), TransferStatus::Success);
  EXPECT_EQ(rig.store.Kind, CaptureKind::Screen);
  const auto kept = rig.store.CaptureBuffer;
  rig.gameBoy.SetConnection(Connection::StuckClear);
  EXPECT_EQ(Run(), TransferStatus::SyncTimeout);
  EXPECT_EQ(rig.store.Kind, CaptureKind::Screen);
  EXPECT_EQ(rig.store.CaptureBuffer, kept);
  EXPECT_EQ(rig.ui.Lit(Lamp::ErrorLamp), true);
  EXPECT_EQ(rig.gameBoy.TransfersCompleted(), 3);

  // so does a bad mode byte; a key during the next screen's first tile then gives it up
  rig.gameBoy.SetConnection(Connection::GameBoy);
  rig.gameBoy.SetModeByte(3);
  EXPECT_EQ(Run(), TransferStatus::AcknowledgeError);
  EXPECT_EQ(rig.store.Kind, CaptureKind::Screen);
  rig.gameBoy.SetModeByte(1);
  rig.ui.PressKeyAtPoll(rig.ui.keyPolls + 1 + 3);
  EXPECT_EQ(Run(), TransferStatus::KeyExit);
  EXPECT_EQ(rig.store.Kind, CaptureKind::None);
}

}  // namespace
}  // namespace fennow
