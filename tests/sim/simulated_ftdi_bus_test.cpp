// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <array>
#include <ostream>
#include <string>
#include <vector>

#include "link/LinkLines.h"
#include "sim/SimulatedFtdiBus.h"
#include "sim/SimulatedGameBoy.h"
#include "sim/VirtualCounter.h"

// The simulated chip against what the chip's documentation and the drivers built on it say.
namespace fennow {
namespace {

constexpr std::int64_t kMs = 1'000'000;
// A full-speed bus carries 19 bulk packets a frame.
constexpr std::int64_t kSlot = kMs / 19;

// A chip claimed and set up as the adapter sets it up, all pins outputs unless told otherwise;
// its records start there.
struct ChipRig {
  explicit ChipRig(SimulatedAdapterSetup setup = {}, std::uint8_t outputs = 0xFF)
      : adapter(bus.Plug(std::move(setup))) {
    EXPECT_TRUE(adapter.Claim().ok());
    adapter.SetLatencyTimer(1);
    adapter.SetBitMode(outputs, BitMode::SyncBitBang);
    adapter.SetRate(46'875);
    adapter.ClearRecords();
  }
  // Written, and read back with a USB read asking for the reply's packets, as the adapter asks;
  // `chunk` 0 for that, or the size of the read.
  std::vector<std::uint8_t> Send(std::vector<std::uint8_t> bytes, int chunk = 0) {
    const auto packets = static_cast<int>((bytes.size() + 61) / 62);
    adapter.SetReadChunkSize(chunk != 0 ? chunk : packets * 64);
    EXPECT_TRUE(adapter.Write(bytes).ok());
    std::vector<std::uint8_t> back(bytes.size());
    std::size_t got = 0;
    while (got < back.size()) {
      const ChipResult read = adapter.Read(std::span(back).subspan(got));
      if (!read.ok()) break;
      got += static_cast<std::size_t>(read.count);
    }
    back.resize(got);
    return back;
  }

  VirtualCounter counter{1000};
  SimulatedFtdiBus bus{counter};
  SimulatedAdapter& adapter;
};

TEST(FakeChip, ReadsItsPinsJustBeforeEachByteSoTheReplyIsOneByteBehind) {
  ChipRig rig;
  EXPECT_EQ(rig.Send({0x55, 0xAA}), (std::vector<std::uint8_t>{0x00, 0x55}));
  // To see the pins after the last byte, send it once more.
  EXPECT_EQ(rig.Send({0xAA}), (std::vector<std::uint8_t>{0xAA}));
}

TEST(FakeChip, PutsBytesOutAtItsRateAndAnswersOneRoundTripLater) {
  ChipRig rig;  // 46875 x 64: 3 million updates a second
  ASSERT_EQ(rig.adapter.UpdatesPerSecond(), 3'000'000);
  const std::int64_t start = rig.counter.Now();
  std::vector<std::uint8_t> bytes(62);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = i % 2 == 0 ? 0x02 : 0x00;
  rig.Send(bytes);
  const auto& lines = rig.adapter.Lines();
  ASSERT_EQ(lines.size(), 62u);  // the clock line (D1) toggles on every update
  for (std::size_t i = 1; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].timeNs - lines[i - 1].timeNs, i % 3 == 0 ? 334 : 333);
  }
  // Half a round trip before the write moves and half before the read does, a slot each.
  EXPECT_GE(rig.counter.Now() - start, 1 * kMs);
  EXPECT_LT(rig.counter.Now() - start, 1 * kMs + 3 * kSlot);
}

struct HeldCase {
  std::size_t bytes;
  int chunk;  // what the USB read asks for
  std::int64_t atLeastNs;
  std::int64_t underNs;
};

void PrintTo(const HeldCase& c, std::ostream* out) {
  *out << c.bytes << " bytes";
}

class FakeLatency : public ::testing::TestWithParam<HeldCase> {};

// A read ends on a short packet or when it has what it asked for. A reply of whole packets that a
// longer read asked for (libftdi's default chunk is 4096) waits for the latency timer, whose
// packet of status bytes alone ends the read; a part-filled last packet goes at once when the
// timer ran out since the chip last sent, as it has a round trip after the last reply.
TEST_P(FakeLatency, OnlyAReadAskingForMoreThanTheReplyWaitsForTheLatencyTimer) {
  ChipRig rig;
  const std::int64_t start = rig.counter.Now();
  rig.Send(std::vector<std::uint8_t>(GetParam().bytes, 0), GetParam().chunk);
  EXPECT_GE(rig.counter.Now() - start, GetParam().atLeastNs);
  EXPECT_LT(rig.counter.Now() - start, GetParam().underNs);
}

INSTANTIATE_TEST_SUITE_P(Sizes, FakeLatency,
                         ::testing::Values(HeldCase{62, 64, 1 * kMs, 1 * kMs + 3 * kSlot},
                                           HeldCase{124, 128, 1 * kMs, 1 * kMs + 5 * kSlot},
                                           HeldCase{124, 4096, 2 * kMs, 2 * kMs + 6 * kSlot},
                                           HeldCase{61, 64, 1 * kMs, 1 * kMs + 3 * kSlot},
                                           HeldCase{1, 64, 1 * kMs, 1 * kMs + 3 * kSlot}),
                         [](const auto& tp) {
                           return std::to_string(tp.param.bytes) + "BytesChunk" +
                                  std::to_string(tp.param.chunk);
                         });

struct StreamCase {
  const char* name;
  std::uint16_t product;
  int rate;
  std::size_t bytes;
  bool mute;
  std::int64_t atLeastNs;
  std::int64_t underNs;
};

void PrintTo(const StreamCase& c, std::ostream* out) {
  *out << c.name;
}

class FakeStream : public ::testing::TestWithParam<StreamCase> {};

// A stream goes no faster than the pins' rate, nor than a frame's packets carry both ways (19 of
// 64 bytes a millisecond at full speed, 62 of them data on the way back); the readings still come
// back one update behind, and when the bus falls behind the pins hold their level rather than
// hurry. A chip that sends nothing back ends the stream at its limit with nothing.
TEST_P(FakeStream, GoesNoFasterThanThePinsAndTheBusAllow) {
  const StreamCase c = GetParam();
  SimulatedAdapterSetup setup;
  setup.product = c.product;
  setup.faults.mute = c.mute;
  ChipRig rig(setup);
  rig.adapter.SetRate(c.rate);
  std::vector<std::uint8_t> out(c.bytes);
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = static_cast<std::uint8_t>(i * 7);
  std::vector<std::uint8_t> back(out.size());
  const std::int64_t start = rig.counter.Now();
  const ChipResult streamed = rig.adapter.Stream(out, back, 200, 200);
  const std::int64_t took = rig.counter.Now() - start;

  ASSERT_TRUE(streamed.ok());
  EXPECT_GE(took, c.atLeastNs);
  EXPECT_LT(took, c.underNs);
  if (c.mute) {
    EXPECT_EQ(streamed.count, 0);
    return;
  }
  ASSERT_EQ(streamed.count, static_cast<int>(out.size()));
  for (std::size_t i = 1; i < out.size(); ++i) ASSERT_EQ(back[i], out[i - 1]) << i;
  const auto& lines = rig.adapter.Lines();
  const std::int64_t updateNs = 1'000'000'000 / rig.adapter.UpdatesPerSecond();
  for (std::size_t i = 1; i < lines.size(); ++i) {
    ASSERT_GE(lines[i].timeNs - lines[i - 1].timeNs, updateNs) << i;
  }
}

// 19,200 updates at 192,000 a second: 100 ms at the pins, a tenth of what the bus carries. 30,000
// at 3 M a second: 10 ms at the pins, but 30,000 / 64 packets out and 30,000 / 62 back take 50 ms
// of full-speed frames; high speed carries them in the pins' 10 ms, and the last part-filled packet
// waits a latency-timer period.
INSTANTIATE_TEST_SUITE_P(
    Rates, FakeStream,
    ::testing::Values(
        StreamCase{"PinsSetThePace", 0x6001, 3'000, 19'200, false, 100 * kMs, 103 * kMs},
        StreamCase{"FullSpeedBusSetsThePace", 0x6001, 46'875, 30'000, false, 50 * kMs, 60 * kMs},
        StreamCase{"HighSpeedKeepsUp", 0x6014, 37'500, 30'000, false, 10 * kMs, 12 * kMs},
        StreamCase{"NothingComesBack", 0x6001, 3'000, 1'000, true, 200 * kMs, 201 * kMs}),
    [](const auto& tp) { return std::string(tp.param.name); });

TEST(FakeChip, ReadsInputsFromTheFarEndsLinesAndUnwiredOnesHigh) {
  VirtualCounter clock;
  SimulatedGameBoy gameBoy([&clock] { return clock.Now(); });
  gameBoy.SetConnection(Connection::StuckClear);
  gameBoy.SetLoopWiring(LoopWiring::Inverted);  // the loop wire carries the drive to the sense pin
  SimulatedAdapterSetup setup;
  setup.farEnd = &gameBoy;
  ChipRig rig(setup, 0x07);

  // D2 (loop drive) high: D4 (loop sense) follows it, D3 (data in) is held low, D5..D7 float high.
  EXPECT_EQ(rig.Send({0x04, 0x04})[1], 0xE0 | 0x10 | 0x04);
  EXPECT_EQ(gameBoy.Read(0x378), LoopDrive);
  EXPECT_EQ(rig.Send({0x00, 0x00})[1], 0xE0);
  gameBoy.SetConnection(Connection::StuckSet);
  EXPECT_EQ(rig.Send({0x00})[0], 0xE0 | 0x08);
}

// The pins update only while the buffer for their readings has room: with 128 readings unread
// they hold, the rest waits in the buffer from the host (256 bytes), and a write that does not fit
// in that either is refused packet by packet until libftdi's 5 s timeout. A read frees room and
// the pins go on.
TEST(FakeChip, StallsWhileItsReadingsFillItsBufferAndTheWriteTimesOut) {
  ChipRig rig;
  EXPECT_TRUE(rig.adapter.Write(std::vector<std::uint8_t>(200, 0)).ok());
  EXPECT_EQ(rig.adapter.BytesOut(), 128u);
  const std::int64_t start = rig.counter.Now();
  const ChipResult refused = rig.adapter.Write(std::vector<std::uint8_t>(256, 0));
  EXPECT_EQ(refused.text, "usb bulk write failed: LIBUSB_ERROR_TIMEOUT");
  EXPECT_EQ(refused.error, ChipError::IoError);
  EXPECT_GE(rig.counter.Now() - start, 5000 * kMs);
  EXPECT_EQ(rig.adapter.BytesOut(), 128u);
  std::array<std::uint8_t, 124> back{};
  EXPECT_EQ(rig.adapter.Read(back).count, 124);
  EXPECT_GT(rig.adapter.BytesOut(), 128u);
}

// Every third packet brings nothing, the others at most seven bytes: ftdi_read_data reads packet
// after packet until one brings nothing, so each read hands on two packets' worth.
TEST(FakeChip, ShortReadsBringAFewBytesAndSometimesNone) {
  SimulatedAdapterSetup setup;
  setup.faults.shortReads = true;
  ChipRig rig(setup);
  ASSERT_TRUE(rig.adapter.Write(std::vector<std::uint8_t>(62, 0)).ok());
  std::array<std::uint8_t, 62> back{};
  std::vector<int> counts;
  for (int i = 0; i < 6; ++i) counts.push_back(rig.adapter.Read(back).count);
  EXPECT_EQ(counts, (std::vector<int>{14, 14, 14, 14, 6, 0}));
}

TEST(FakeChip, PulledOutMidWriteItStopsAtThePinsAndLeavesTheBus) {
  SimulatedAdapterSetup setup;
  setup.faults.unplugAfterBytes = 10;
  ChipRig rig(setup);
  EXPECT_TRUE(rig.adapter.Write(std::vector<std::uint8_t>(62, 0x02)).ok());
  EXPECT_EQ(rig.adapter.BytesOut(), 10u);
  std::array<std::uint8_t, 62> back{};
  EXPECT_EQ(rig.adapter.Read(back).error, ChipError::NotFound);
  EXPECT_EQ(rig.adapter.Write(back).error, ChipError::NotFound);
  EXPECT_TRUE(rig.bus.List(0x0403, 0x6001).empty());
  EXPECT_EQ(rig.bus.Open(0x0403, 0x6001, "FN000001").result.error, ChipError::NotFound);
}

TEST(FakeBus, GivesAChipToOneOpenerAtATime) {
  VirtualCounter counter;
  SimulatedFtdiBus bus(counter);
  bus.Plug({});
  FtdiBus::Opened first = bus.Open(0x0403, 0x6001, "FN000001");
  ASSERT_TRUE(first.chip);
  EXPECT_EQ(bus.Open(0x0403, 0x6001, "FN000001").result.error, ChipError::Busy);
  EXPECT_EQ(bus.Open(0x0403, 0x6001, "OTHER").result.error, ChipError::NotFound);
  first.chip.reset();
  EXPECT_TRUE(bus.Open(0x0403, 0x6001, "FN000001").chip);
}

}  // namespace
}  // namespace fennow
