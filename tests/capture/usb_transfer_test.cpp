// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "capture/LeadTest.h"
#include "capture/Transfer.h"
#include "link/ByteExchange.h"
#include "ports/ChosenPort.h"
#include "ports/usb/UsbAdapters.h"
#include "tests/support/SimRig.h"
#include "tests/support/UsbRig.h"

// Transfers and the lead test through the USB adapter, against the simulated Game Boy behind the
// simulated chip: what arrives, the timing at the pins, and failures of the adapter itself.
namespace fennow {
namespace {

using test::Message;
using test::UsbRig;

constexpr std::int64_t kUs = 1000;
constexpr std::int64_t kMs = 1000 * kUs;
constexpr std::int32_t kUntouched = 0x1234;

// The least time the protocol's own waits take, as the timing benchmark counts it.
std::int64_t FloorNs(std::uint64_t syncClocks, std::uint64_t exchanges, std::uint64_t payload) {
  return static_cast<std::int64_t>(syncClocks) * (2 * kHalfBitUs * kUs + kSyncSpacingMs * kMs) +
         static_cast<std::int64_t>(exchanges) * kBitsPerByte * 2 * kHalfBitUs * kUs +
         (kBeforeModeMs + kAfterModeMs) * kMs +
         static_cast<std::int64_t>(payload) * kByteSpacingMs * kMs;
}

std::vector<std::uint8_t> RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<std::uint8_t> bytes(n);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  return bytes;
}

// Whether the store holds the screen whose rows the Game Boy sent: complemented, bottom-up.
bool HoldsTheScreen(const CaptureStore& store, const std::vector<std::uint8_t>& rows) {
  for (int y = 0; y < kScreenHeight; ++y) {
    for (int col = 0; col < kScreenRowBytes; ++col) {
      if (store.CaptureBuffer[static_cast<std::size_t>(ScreenSlot(y, col))] !=
          (rows[static_cast<std::size_t>(y * kScreenRowBytes + col)] ^ 0xFF)) {
        return false;
      }
    }
  }
  return true;
}

struct RoundTripCase {
  const char* name;
  bool screen;
  bool shortReads;
  std::uint16_t product;
  std::int64_t roundTripNs;
  double updatesPerRate;   // the chip's true pin rate, per unit of rate (0: the fastest reported)
  double overFloor = 1.1;  // the most it may take, as a multiple of the floor
};

void PrintTo(const RoundTripCase& c, std::ostream* out) {
  *out << c.name;
}

class UsbRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

// The whole screen or block arrives through the adapter: a round trip for each synchronisation
// clock, the request and the mode byte, whose replies decide what comes next, then the payload
// streamed a tile row at a time, within 1.1 times the floor of the protocol's waits whatever the
// chip and its round trip. A chip whose every packet brings a few bytes cannot carry the stream's
// readings back as fast as its pins make them: it holds its pins back, which only lengthens the
// pauses, and the payload still arrives whole.
TEST_P(UsbRoundTrip, ArrivesWholeStreamedWithinItsBoundOverTheFloor) {
  const RoundTripCase c = GetParam();
  SimulatedAdapterSetup setup;
  setup.product = c.product;
  setup.roundTripNs = c.roundTripNs;
  setup.updatesPerRate = c.updatesPerRate;
  setup.faults.shortReads = c.shortReads;
  UsbRig rig(setup);
  ASSERT_TRUE(rig.opened.port) << rig.opened.reason;
  rig.gameBoy.SetRecording(false);
  rig.store.CaptureBuffer.fill(kUntouched);

  const std::vector<std::uint8_t> sent = RandomBytes(c.screen ? kScreenBytes : kDataBytes, 12);
  ASSERT_TRUE(c.screen ? rig.gameBoy.LoadScreen(sent) : rig.gameBoy.LoadData(sent));
  rig.gameBoy.SetStartPhase(5);

  const std::int64_t start = rig.counter.Now();
  const std::uint64_t writesBefore = rig.adapter.Writes();
  const std::uint64_t pulsesBefore = rig.gameBoy.ClockPulses();
  ASSERT_EQ(StartTransfer(rig.link, rig.ui, rig.store), TransferStatus::Success)
      << testing::PrintToString(rig.ui.messages);
  const std::int64_t took = rig.counter.Now() - start;

  if (c.screen) {
    EXPECT_TRUE(HoldsTheScreen(rig.store, sent));
  } else {
    for (std::size_t j = 0; j < sent.size(); ++j) ASSERT_EQ(rig.store.CaptureBuffer[j], sent[j]);
  }
  EXPECT_EQ(
      rig.ui.messages,
      (std::vector<Message>{{c.screen ? "Screen Transfer Successful" : "Data Transfer Successful",
                             "Transfer Status", MessageStyle::MB_OK}}));

  // One write to set the lines for the synchronisation, one per sync clock, the request and the
  // mode byte, and a stream for each tile row's worth of payload.
  const std::uint64_t exchanges = 2 + sent.size();
  const std::uint64_t syncClocks =
      rig.gameBoy.ClockPulses() - pulsesBefore - kBitsPerByte * exchanges;
  const std::uint64_t runs = (sent.size() + kTileRowBytes - 1) / kTileRowBytes;
  EXPECT_EQ(rig.adapter.Writes() - writesBefore, 1 + syncClocks + 2 + runs);
  const std::int64_t floor = FloorNs(syncClocks, exchanges, sent.size());
  EXPECT_LE(static_cast<double>(took), c.overFloor * static_cast<double>(floor))
      << "took " << took / kMs << " ms; floor " << floor / kMs;
}

INSTANTIATE_TEST_SUITE_P(
    Payloads, UsbRoundTrip,
    ::testing::Values(RoundTripCase{"Screen", true, false, 0x6001, 1 * kMs, 0},
                      RoundTripCase{"Data", false, false, 0x6001, 1 * kMs, 0},
                      RoundTripCase{"DataWithShortReads", false, true, 0x6001, 1 * kMs, 0, 2.5},
                      RoundTripCase{"ScreenFT232R2msX16", true, false, 0x6001, 2 * kMs, 64},
                      RoundTripCase{"ScreenFT232R2msX1", true, false, 0x6001, 2 * kMs, 4},
                      RoundTripCase{"ScreenFT232H2msX1", true, false, 0x6014, 2 * kMs, 5}),
    [](const auto& tp) { return std::string(tp.param.name); });

// ---- Timing at the pins ---------------------------------------------------------------------

// Both clock phases and the data's setup before each rising edge, as the Game Boy saw them on its
// lines (stamped with the adapter's pin time).
void ExpectBitTimingAtThePins(const SimulatedGameBoy& gameBoy) {
  std::int64_t lastClock = -1;
  std::int64_t lastData = -1;
  for (const LineEdge& e : gameBoy.Edges()) {
    if (e.line == SimLine::Clock) {
      if (lastClock >= 0) {
        ASSERT_GE(e.timeNs - lastClock, 2 * kUs);
      }
      if (e.level && lastData >= 0) {
        ASSERT_GE(e.timeNs - lastData, 2 * kUs);
      }
      lastClock = e.timeNs;
    } else if (e.line == SimLine::DataOut) {
      lastData = e.timeNs;
    }
  }
}

class UsbTiming : public ::testing::TestWithParam<bool> {};

TEST_P(UsbTiming, TheGapsTheGameBoyNeedsHoldAtThePins) {
  UsbRig rig;
  ASSERT_TRUE(rig.opened.port) << rig.opened.reason;
  if (!GetParam()) rig.gameBoy.SetModeByte(kModeData);
  ASSERT_EQ(StartTransfer(rig.link, rig.ui, rig.store), TransferStatus::Success);
  ASSERT_EQ(rig.gameBoy.DroppedRecords(), 0u);
  ExpectBitTimingAtThePins(rig.gameBoy);

  const auto& bytes = rig.gameBoy.Bytes();
  std::size_t reply = 0;
  while (reply < bytes.size() && bytes[reply].slot != SimState::Reply) ++reply;
  ASSERT_LT(reply + 2, bytes.size());
  EXPECT_GE(bytes[reply + 1].startNs - bytes[reply].endNs, kBeforeModeMs * kMs);
  EXPECT_GE(bytes[reply + 2].startNs - bytes[reply + 1].endNs, kAfterModeMs * kMs);
  ASSERT_EQ(bytes.size(), reply + 2 + (GetParam() ? kScreenBytes : kDataBytes));
  for (std::size_t i = reply + 3; i < bytes.size(); ++i) {
    ASSERT_GE(bytes[i].startNs - bytes[i - 1].endNs, kByteSpacingMs * kMs) << "byte " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, UsbTiming, ::testing::Bool(),
                         [](const auto& tp) { return tp.param ? "Screen" : "Data"; });

TEST(UsbSyncTiming, ClocksTenMillisecondsApartAtThePins) {
  UsbRig rig;
  ASSERT_TRUE(rig.opened.port) << rig.opened.reason;
  rig.gameBoy.SetConnection(Connection::StuckSet);
  ASSERT_FALSE(SyncLink(rig.link));
  ExpectBitTimingAtThePins(rig.gameBoy);
  const std::vector<std::int64_t> clock = test::LineChanges(rig.adapter, LinkClock);
  ASSERT_EQ(clock.size(), 2u * kSyncClockLimit);
  for (std::size_t i = 2; i < clock.size(); i += 2) {
    ASSERT_GE(clock[i] - clock[i - 1], kSyncSpacingMs * kMs) << "clock " << i / 2;
  }
}

// ---- The lead test through the adapter ------------------------------------------------------

struct UsbLeadCase {
  const char* name;
  Connection connection;
  LoopWiring wiring;
  bool passes;
};

void PrintTo(const UsbLeadCase& c, std::ostream* out) {
  *out << c.name;
}

class UsbLead : public ::testing::TestWithParam<UsbLeadCase> {};

TEST_P(UsbLead, ALoopBetweenTwoPinsPassesAndAnythingElseFails) {
  const UsbLeadCase c = GetParam();
  UsbRig rig;
  ASSERT_TRUE(rig.opened.port) << rig.opened.reason;
  rig.gameBoy.SetConnection(c.connection);
  rig.gameBoy.SetLoopWiring(c.wiring);
  EXPECT_EQ(TestLink(rig.link, rig.ui), c.passes);
  ASSERT_EQ(rig.ui.messages.size(), 3u);
  EXPECT_EQ(rig.ui.messages[1].text, c.passes ? "Loop Back Detected OK" : "No Loop Back Detected");
  EXPECT_EQ(rig.gameBoy.Read(0x378), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Wiring, UsbLead,
    ::testing::Values(
        UsbLeadCase{"Good", Connection::StuckSet, LoopWiring::Inverted, true},
        UsbLeadCase{"StuckAtOne", Connection::StuckSet, LoopWiring::StuckSet, false},
        UsbLeadCase{"StuckAtZero", Connection::StuckSet, LoopWiring::StuckClear, false},
        UsbLeadCase{"NotInverted", Connection::StuckSet, LoopWiring::NotInverted, false},
        UsbLeadCase{"GameBoyStillAttached", Connection::GameBoy, LoopWiring::Inverted, false}),
    [](const auto& tp) { return std::string(tp.param.name); });

// A loop that takes 10 ms to follow its drive: read any sooner, it still shows the old level. The
// lead test passes through it only if each of its readings waited its settle time at the pins.
class SlowLoop final : public PortIo {
 public:
  void Write(std::uint16_t address, std::uint8_t value) override {
    if (address != 0x378) return;
    const bool drive = (value & LoopDrive) != 0;
    if (drive != drive_) {
      shown_ = drive_;
      changedNs_ = now();
    }
    drive_ = drive;
  }
  std::uint8_t Read(std::uint16_t address) override {
    if (address != 0x379) return 0xFF;
    const bool level = now() - changedNs_ >= kLeadSettleMs * kMs ? drive_ : shown_;
    return level ? 0x3F : 0x3F | LoopSense;  // the register shows the loop inverted
  }

  std::function<std::int64_t()> now = [] { return std::int64_t{0}; };

 private:
  bool drive_ = false;
  bool shown_ = false;
  std::int64_t changedNs_ = 0;
};

TEST(UsbLeadTiming, EachReadingWaitsItsSettleTimeAtThePins) {
  SlowLoop loop;
  UsbRig rig({}, &loop);
  ASSERT_TRUE(rig.opened.port) << rig.opened.reason;
  loop.now = [&rig] { return rig.adapter.PinTimeNs(); };
  EXPECT_TRUE(TestLink(rig.link, rig.ui));
  const std::vector<std::int64_t> drive = test::LineChanges(rig.adapter, LoopDrive);
  EXPECT_EQ(drive.size(), 4u);
}

// ---- Opening and letting go ------------------------------------------------------------------

// Opening the adapter takes the lines from the serial port's idle levels (all high) down, and
// letting go of it, which hands the chip back to the serial port, raises them again: a clock edge
// either way, while no transfer runs. Each transfer's synchronisation finds the Game Boy's byte
// boundary afresh, so both transfers arrive whole. The chip is given back with the latency timer
// it was found with, not the adapter's 1 ms, which the kernel's serial driver would keep.
TEST(UsbOpenAndRelease, LeaveTheChipAsFoundAndTheirEdgesNoPartOfATransfer) {
  SimulatedAdapterSetup setup;
  test::UsbLead lead(setup);
  ASSERT_TRUE(lead.adapter.Claim().ok());
  ASSERT_TRUE(lead.adapter.SetLatencyTimer(8).ok());
  lead.adapter.Release();
  lead.gameBoy.SetRecording(false);
  const std::vector<std::uint8_t> rows = RandomBytes(kScreenBytes, 3);
  ASSERT_TRUE(lead.gameBoy.LoadScreen(rows));
  constexpr std::uint8_t kSerialIdle = LinkDataOut | LinkClock | LoopDrive;

  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    lead.ClearRecords();
    UsbOpenResult opened =
        OpenUsbAdapter(lead.bus, ListUsbAdapters(lead.bus).front(), lead.counter);
    ASSERT_TRUE(opened.port) << opened.reason;
    EXPECT_EQ(lead.adapter.LatencyTimerMs(), 1);
    // From the serial port's lines down to the bit-bang register's, and nothing more until the
    // transfer.
    ASSERT_EQ(lead.adapter.Lines().size(), 1u);
    EXPECT_EQ(lead.adapter.Lines().front().lines, 0);
    LinkSession link(*opened.port, lead.counter);
    test::FakeServices ui;
    CaptureStore store;
    ASSERT_EQ(StartTransfer(link, ui, store), TransferStatus::Success)
        << testing::PrintToString(ui.messages);
    EXPECT_TRUE(HoldsTheScreen(store, rows));
    opened.port.reset();
    EXPECT_EQ(lead.adapter.Mode(), BitMode::Reset);
    EXPECT_EQ(lead.adapter.LatencyTimerMs(), 8);
    EXPECT_EQ(lead.adapter.Lines().back().lines, kSerialIdle);
    EXPECT_FALSE(lead.adapter.Open());
  }
}

// ---- The adapter lost mid-transfer ----------------------------------------------------------

// Bytes put out at the pins once the adapter is open: 62 for the first write of a synchronisation
// and for each of its clocks (the Game Boy answers after 8), 124 for each exchange.
constexpr std::int64_t kBeforeRequest = 62 * 9;

// Rising edges of the clock before payload byte k: the Game Boy answers after 8 synchronisation
// clocks, then come the request and the mode byte.
constexpr std::uint64_t PulsesBefore(int k) {
  return 8 + static_cast<std::uint64_t>(kBitsPerByte) * (2 + k);
}

// A payload goes through the adapter a tile row at a time: the bytes of the row under way never
// arrive.
constexpr int kRun = kTileRowBytes;

struct LostCase {
  const char* name;
  bool screen;
  SimulatedAdapterFaults faults;
  int slotsWritten;  // payload bytes received before the loss
  const char* said;
};

SimulatedAdapterFaults UnplugAfter(std::int64_t bytes) {
  SimulatedAdapterFaults faults;
  faults.unplugAfterBytes = bytes;
  return faults;
}

SimulatedAdapterFaults UnplugInByte(int k) {
  SimulatedAdapterFaults faults;
  faults.unplugAtClockPulse = PulsesBefore(k) + 4;
  return faults;
}

SimulatedAdapterFaults FailWrite(int write) {
  SimulatedAdapterFaults faults;
  faults.failWrite = write;
  return faults;
}

constexpr const char* kUnplugged =
    "Interface Port Lost: USB FT232R FN000001 was unplugged (usb bulk read failed: "
    "LIBUSB_ERROR_NO_DEVICE)";
// A stream's write under way as it is pulled out fails as the host controller sees it.
constexpr const char* kUnpluggedWriting =
    "Interface Port Lost: USB FT232R FN000001 was unplugged (usb bulk write failed: "
    "LIBUSB_ERROR_IO)";

void PrintTo(const LostCase& c, std::ostream* out) {
  *out << c.name;
}

class UsbLost : public ::testing::TestWithParam<LostCase> {};

// The transfer ends as a failure that names the cause, never as a success: the error lamp lit, no
// slot written with a byte that never came, and the capture held before kept only while no slot
// of it was overwritten.
TEST_P(UsbLost, EndsTheTransferAsAFailureNamingTheCause) {
  const LostCase& c = GetParam();
  UsbRig rig;
  ASSERT_TRUE(rig.opened.port) << rig.opened.reason;
  // Its software started once the adapter is open: the synchronisation takes its eight clocks.
  rig.gameBoy.Reset();
  // Counted from the end of the open, whose rate measurement takes bytes and writes of its own.
  SimulatedAdapterFaults& faults = rig.adapter.Faults();
  faults = c.faults;
  if (faults.unplugAfterBytes >= 0) {
    faults.unplugAfterBytes += static_cast<std::int64_t>(rig.adapter.BytesOut());
  }
  if (faults.unplugAtClockPulse > 0) faults.unplugAtClockPulse += rig.adapter.ClockPulses();
  if (faults.failWrite > 0) faults.failWrite += static_cast<int>(rig.adapter.Writes());
  rig.gameBoy.SetRecording(false);
  if (!c.screen) rig.gameBoy.SetModeByte(kModeData);
  rig.store.CaptureBuffer.fill(kUntouched);
  rig.store.Kind = CaptureKind::Screen;

  EXPECT_EQ(StartTransfer(rig.link, rig.ui, rig.store), TransferStatus::PortLost);
  EXPECT_EQ(rig.ui.messages,
            (std::vector<Message>{{c.said, "Interface Port", MessageStyle::MB_ICONSTOP}}));
  EXPECT_TRUE(rig.ui.Lit(Lamp::ErrorLamp));
  EXPECT_FALSE(rig.ui.Lit(Lamp::SyncLamp));
  EXPECT_EQ(rig.store.Kind, c.slotsWritten == 0 ? CaptureKind::Screen : CaptureKind::None);
  int written = 0;
  for (std::int32_t slot : rig.store.CaptureBuffer) written += slot != kUntouched;
  EXPECT_EQ(written, c.slotsWritten);
  EXPECT_EQ(rig.ui.progress.back(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Causes, UsbLost,
    ::testing::Values(
        LostCase{"UnpluggedWhileSynchronising", true, UnplugAfter(240), 0, kUnplugged},
        // In the second packet of the mode byte's round trip: its reply does not come.
        LostCase{"UnpluggedDuringTheModeByte", true, UnplugAfter(kBeforeRequest + 124 + 90), 0,
                 kUnplugged},
        // Pulled out while the host still writes the stream: libftdi's write fails first.
        LostCase{"UnpluggedMidScreen", true, UnplugInByte(500), 3 * kRun, kUnpluggedWriting},
        LostCase{"UnpluggedMidData", false, UnplugInByte(300), kRun, kUnpluggedWriting},
        LostCase{"UnpluggedInTheFirstRowOfData", false, UnplugInByte(100), 0, kUnpluggedWriting},
        // One write to set the lines, one for each synchronisation clock, the request, the mode
        // byte, then one stream for each run: the fifth run fails.
        LostCase{"WriteFailedMidScreen", true, FailWrite(1 + 8 + 2 + 5), 4 * kRun,
                 "Interface Port Lost: USB FT232R FN000001 stopped working (usb bulk write "
                 "failed: LIBUSB_ERROR_IO)"}),
    [](const auto& tp) { return std::string(tp.param.name); });

// A counterfeit chip that loses whole packets on the way back never brings a reply back whole:
// the transfer ends with the port lost, not with a byte made up.
TEST(UsbLostBefore, AChipThatLosesPacketsEndsTheTransferAsLost) {
  UsbRig rig;
  ASSERT_TRUE(rig.opened.port) << rig.opened.reason;
  rig.adapter.Faults().dropEveryPacket = 200;
  EXPECT_EQ(StartTransfer(rig.link, rig.ui, rig.store), TransferStatus::PortLost);
  EXPECT_GT(rig.adapter.BytesDropped(), 0u);
  ASSERT_EQ(rig.ui.messages.size(), 1u);
  EXPECT_NE(rig.ui.messages[0].text.find(" bytes came back within "), std::string::npos)
      << rig.ui.messages[0].text;
}

TEST(UsbLostBefore, AnAdapterPulledOutBeforeStartTransferFailsAtOnce) {
  UsbRig rig;
  ASSERT_TRUE(rig.opened.port) << rig.opened.reason;
  rig.adapter.Faults().unplugAfterBytes = static_cast<std::int64_t>(rig.adapter.BytesOut());
  const std::int64_t start = rig.counter.Now();
  EXPECT_EQ(StartTransfer(rig.link, rig.ui, rig.store), TransferStatus::PortLost);
  EXPECT_LT(rig.counter.Now() - start, 100 * kMs) << "no 3.5 s of clocks into nothing";
  ASSERT_EQ(rig.ui.messages.size(), 1u);
  EXPECT_EQ(rig.ui.messages[0].text, kUnplugged);
}

// The window's road: the program's ports give the adapter to LPT1, and each Start Transfer first
// reaches it. Pulled out mid-screen, the transfer fails naming the cause. Pressed again while it
// is out, the box says so and the transfer finds no Game Boy, as on a parallel port that cannot be
// reached. Plugged back in (and the Game Boy's software started again, as after any abandoned
// transfer), the next Start Transfer opens it again by its serial number and the screen arrives,
// without a restart of the program.
TEST(UsbReplug, AnAdapterUnpluggedMidTransferIsOpenedAgainAtTheNextStartTransfer) {
  test::UsbHostRig rig;
  rig.gameBoy.SetRecording(false);
  rig.adapter.Faults().unplugAtClockPulse = PulsesBefore(500) + 4;

  EXPECT_EQ(rig.PressStartTransfer(), TransferStatus::PortLost);
  EXPECT_EQ(rig.PressStartTransfer(), TransferStatus::SyncTimeout);
  rig.adapter.PlugBackIn();
  rig.gameBoy.Reset();
  EXPECT_EQ(rig.PressStartTransfer(), TransferStatus::Success);

  EXPECT_EQ(rig.ui.messages,
            (std::vector<Message>{
                {kUnpluggedWriting, "Interface Port", MessageStyle::MB_ICONSTOP},
                {"LPT1 (USB FT232R FN000001) cannot be reached: the adapter is not on the USB bus. "
                 "Plug it back in and try again, or choose the port again to use the adapters "
                 "plugged in now.",
                 "Interface Port", MessageStyle::MB_ICONSTOP},
                {"Serial Sync Timeout", "Transfer Status", MessageStyle::MB_ICONSTOP},
                {"Screen Transfer Successful", "Transfer Status", MessageStyle::MB_OK},
            }));
  EXPECT_EQ(rig.store.Kind, CaptureKind::Screen);
  EXPECT_TRUE(rig.adapter.Open());
}

}  // namespace
}  // namespace fennow
