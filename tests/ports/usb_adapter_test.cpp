// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "link/ByteExchange.h"
#include "ports/usb/PacketData.h"
#include "ports/usb/UsbAdapters.h"
#include "ports/usb/libftdi/LibFtdiChip.h"
#include "tests/support/UsbRig.h"

namespace fennow {
namespace {

using test::UsbRig;

constexpr std::int64_t kUs = 1000;
constexpr std::int64_t kMs = 1000 * kUs;

// ---- The pin map ----------------------------------------------------------------------------

TEST(UsbPinMap, PutsEachLineOnItsOwnPinInTheRegisterTheLinkKnowsItBy) {
  std::uint8_t pinsUsed = 0;
  for (const PinRoute& route : kUsbPinMap) {
    SCOPED_TRACE(route.label);
    const std::uint8_t pin = static_cast<std::uint8_t>(1u << route.pin);
    EXPECT_EQ(pinsUsed & pin, 0) << "two lines on D" << int{route.pin};
    pinsUsed = static_cast<std::uint8_t>(pinsUsed | pin);
    // Outputs are data register bits 0..2, inputs status bits 6 and 7.
    EXPECT_EQ(route.output, route.line <= LoopDrive);
    // Only loop sense is inverted, as the parallel port's BUSY input is.
    EXPECT_EQ(route.inverted, route.line == LoopSense);
  }
  EXPECT_EQ(UsbOutputPins(), 0b00111);
}

struct PinCase {
  const char* name;
  std::uint8_t data;    // data register written
  std::uint8_t pins;    // what the chip puts out for it
  std::uint8_t inputs;  // pins read back
  std::uint8_t status;  // status register the link sees
};

void PrintTo(const PinCase& c, std::ostream* out) {
  *out << c.name;
}

class PinMapCase : public ::testing::TestWithParam<PinCase> {};

TEST_P(PinMapCase, TranslatesRegistersAndPins) {
  const PinCase c = GetParam();
  EXPECT_EQ(PinsForData(c.data), c.pins);
  EXPECT_EQ(StatusFromPins(c.inputs), c.status);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PinMapCase,
    ::testing::Values(
        // Data out on D0 (TXD), clock on D1 (RXD), loop drive on D2 (RTS); bits 3..7 go nowhere.
        PinCase{"AllLow", 0x00, 0x00, 0x00, 0x3F | 0x80},
        PinCase{"DataOut", 0x01, 0x01, 0x00, 0xBF}, PinCase{"Clock", 0x02, 0x02, 0x00, 0xBF},
        PinCase{"LoopDrive", 0x04, 0x04, 0x00, 0xBF},
        PinCase{"UnusedDataBits", 0xF8, 0x00, 0x00, 0xBF},
        // Data in on D3 (CTS) is status bit 6; loop sense on D4 (DTR) is status bit 7, inverted.
        PinCase{"DataInHigh", 0x00, 0x00, 0x08, 0x3F | 0x40 | 0x80},
        PinCase{"LoopSenseHigh", 0x00, 0x00, 0x10, 0x3F},
        PinCase{"BothInputsHigh", 0x07, 0x07, 0x18, 0x3F | 0x40},
        PinCase{"OutputsIgnoredWhenRead", 0x00, 0x00, 0xE7, 0xBF}),
    [](const auto& tp) { return std::string(tp.param.name); });

// ---- Rates and holds ------------------------------------------------------------------------

TEST(UsbChips, APhaseIsHeldForWholeUpdatesRoundedUp) {
  // Rounded up, never down: 5 updates at 3 MHz would be 1.67 us.
  EXPECT_EQ(HoldUpdates(kHalfBitUs, 3'000'000), 6);
  EXPECT_EQ(HoldUpdates(kHalfBitUs, 3'300'000), 7);
  EXPECT_EQ(HoldUpdates(1, 1'500'000), 2);
  EXPECT_EQ(HoldUpdates(10'000, 3'000'000), 30'000);
  // A streaming rate is one the baud generator divides down to exactly, so the pins keep to the
  // proportion measured.
  EXPECT_EQ(ExactRateAtMost(3125, 6'000'000), 3125);
  EXPECT_EQ(ExactRateAtMost(3124, 6'000'000), 3000);
  EXPECT_EQ(ExactRateAtMost(60'679, 24'000'000), 60'000);
  EXPECT_EQ(ExactRateAtMost(0, 6'000'000), 1);
  EXPECT_EQ(UsbChipOf(0x6001)->name, std::string("FT232R"));
  EXPECT_EQ(UsbChipOf(0x6014)->name, std::string("FT232H"));
  EXPECT_EQ(UsbChipOf(0x6010), nullptr);
}

// A measurement that comes out low (a busy host stretches the longer bursts: 58.3 for a chip at
// 64 was seen) is taken for the chip's next rate up, whose holds are only longer; one at most 3 %
// high (64.7) is still taken for its own rate, whose holds the margin covers. Outside every rate
// the chip is not in bit-bang mode.
TEST(UsbChips, AMeasuredRateIsTakenForTheSlowestOfTheChipsRatesItMayBe) {
  const struct {
    std::uint16_t product;
    double measured;
    double taken;
  } cases[] = {
      {0x6001, 58.3, 64}, {0x6001, 64.7, 64},   {0x6001, 65.9, 64}, {0x6001, 66.0, 128},
      {0x6001, 16.4, 16}, {0x6001, 4.0, 4},     {0x6001, 3.1, 4},   {0x6001, 131.8, 128},
      {0x6001, 132.0, 0}, {0x6001, 1.9, 0},     {0x6014, 78.0, 80}, {0x6014, 57.6, 80},
      {0x6014, 5.1, 5},   {0x6014, 164.8, 160},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.measured);
    EXPECT_EQ(PerRateTakenFor(*UsbChipOf(c.product), c.measured), c.taken);
  }
}

// Every packet from the chip starts with its two status bytes, a short last one too; a packet of
// status bytes alone carries nothing, and what does not fit is left.
TEST(UsbPackets, TheStatusBytesAreNoPartOfTheData) {
  const struct {
    std::vector<std::uint8_t> raw;
    std::size_t packetSize;
    std::size_t room;
    std::vector<std::uint8_t> data;
  } cases[] = {
      {{0x01, 0x60, 7, 8, 9}, 64, 10, {7, 8, 9}},
      {{0x01, 0x60, 1, 2, 0x01, 0x60, 3}, 4, 10, {1, 2, 3}},
      {{0x01, 0x60, 1, 2, 0x01, 0x60}, 4, 10, {1, 2}},
      {{0x01, 0x60}, 64, 10, {}},
      {{}, 64, 10, {}},
      {{0x01, 0x60, 1, 2, 0x01, 0x60, 3, 4}, 4, 3, {1, 2, 3}},
  };
  for (const auto& c : cases) {
    std::vector<std::uint8_t> into(c.room, 0xEE);
    const std::size_t taken = TakePacketData(c.raw, c.packetSize, into);
    into.resize(taken);
    EXPECT_EQ(into, c.data);
  }
}

TEST(UsbOpen, PutsTheChipInSynchronousBitBangWithItsOutputsLow) {
  UsbRig rig;
  ASSERT_TRUE(rig.opened.port) << rig.opened.reason;
  EXPECT_EQ(rig.adapter.Mode(), BitMode::SyncBitBang);
  EXPECT_EQ(rig.adapter.Outputs(), UsbOutputPins());
  EXPECT_EQ(rig.adapter.Rate(), 46'875);
  EXPECT_EQ(rig.adapter.LatencyTimerMs(), 1);
  EXPECT_EQ(rig.gameBoy.Read(0x378), 0);
  rig.opened.port.reset();
  EXPECT_FALSE(rig.adapter.Open()) << "closing hands the chip back";
}

// ---- Bytes through the adapter --------------------------------------------------------------

struct UsbExchangeCase {
  std::uint8_t out;
  std::uint8_t gameBoySends;
};

void PrintTo(const UsbExchangeCase& c, std::ostream* out) {
  *out << "out " << int{c.out} << ", Game Boy sends " << int{c.gameBoySends};
}

class UsbExchange : public ::testing::TestWithParam<UsbExchangeCase> {};

TEST_P(UsbExchange, CarriesBothDirectionsInOneRoundTrip) {
  const UsbExchangeCase c = GetParam();
  UsbRig rig;
  ASSERT_TRUE(rig.opened.port) << rig.opened.reason;
  std::array<std::uint8_t, kDataBytes> block{};
  block[0] = c.gameBoySends;
  ASSERT_TRUE(rig.gameBoy.LoadData(block));
  ASSERT_TRUE(SyncLink(rig.link));
  ASSERT_EQ(ExchangeByte(rig.link, 'G'), 'W');
  ASSERT_EQ(ExchangeByte(rig.link, 0), 2);

  const std::uint64_t writes = rig.adapter.Writes();
  EXPECT_EQ(ExchangeByte(rig.link, c.out), c.gameBoySends);
  EXPECT_EQ(rig.adapter.Writes() - writes, 1u);
  EXPECT_EQ(rig.gameBoy.Bytes().back().received, c.out);
  EXPECT_EQ(rig.gameBoy.Read(0x378) & (LinkDataOut | LinkClock), 0);
  EXPECT_EQ(rig.link.port.OutputLatch, 0u);
}

INSTANTIATE_TEST_SUITE_P(Bytes, UsbExchange,
                         ::testing::Values(UsbExchangeCase{0xA5, 0x3C}, UsbExchangeCase{0x00, 0xFF},
                                           UsbExchangeCase{0xFF, 0x00}, UsbExchangeCase{0x80, 0x01},
                                           UsbExchangeCase{0x01, 0x80}),
                         [](const auto& tp) {
                           return "Out" + std::to_string(tp.param.out) + "In" +
                                  std::to_string(tp.param.gameBoySends);
                         });

// A far end that answers a one on LinkDataIn only to a sample taken while the clock is high and
// at least 2 us after its rising edge. An exchange then reads 0xFF only if every sample waited.
class SettleProbe final : public PortIo {
 public:
  void Write(std::uint16_t address, std::uint8_t value) override {
    if (address != 0x378) return;
    const bool clock = (value & LinkClock) != 0;
    if (clock && !clock_) risenNs_ = now();
    clock_ = clock;
  }
  std::uint8_t Read(std::uint16_t address) override {
    if (address != 0x379) return 0xFF;
    return clock_ && now() - risenNs_ >= 2 * kUs ? LinkDataIn : 0;
  }

  std::function<std::int64_t()> now = [] { return std::int64_t{0}; };

 private:
  bool clock_ = false;
  std::int64_t risenNs_ = 0;
};

struct PhaseCase {
  const char* name;
  std::uint16_t product;
  double updatesPerRate;  // how fast the simulated chip really is
  bool inRange;           // a rate the adapter takes for true; outside it, it refuses the chip
};

void PrintTo(const PhaseCase& c, std::ostream* out) {
  *out << c.name;
}

class UsbPhases : public ::testing::TestWithParam<PhaseCase> {};

// The shortest clock phase and data setup before a rising edge among the line changes at the pins
// from `from` on, and each pause from a byte's last falling edge to the next byte's first rising
// edge (a phase of more than a millisecond).
struct PinPhases {
  std::int64_t shortestPhase = std::numeric_limits<std::int64_t>::max();
  std::int64_t shortestSetup = std::numeric_limits<std::int64_t>::max();
  std::vector<std::int64_t> pauses;
  std::size_t clockChanges = 0;
};

PinPhases PhasesAtThePins(const std::vector<PinLevels>& lines, std::size_t from) {
  PinPhases p;
  std::int64_t lastClock = -1;
  std::int64_t lastData = -1;
  std::uint8_t before = from > 0 ? lines[from - 1].lines : 0;
  for (std::size_t i = from; i < lines.size(); ++i) {
    const PinLevels& levels = lines[i];
    const std::uint8_t changed = levels.lines ^ before;
    before = levels.lines;
    if ((changed & LinkDataOut) != 0) lastData = levels.timeNs;
    if ((changed & LinkClock) == 0) continue;
    ++p.clockChanges;
    const bool rising = (levels.lines & LinkClock) != 0;
    if (lastClock >= 0 && levels.timeNs - lastClock > kMs) {
      if (rising) p.pauses.push_back(levels.timeNs - lastClock);
    } else if (lastClock >= 0) {
      p.shortestPhase = std::min(p.shortestPhase, levels.timeNs - lastClock);
    }
    if (rising && lastData >= 0)
      p.shortestSetup = std::min(p.shortestSetup, levels.timeNs - lastData);
    lastClock = levels.timeNs;
  }
  return p;
}

// Whichever multiplier the chip really has (1, 4 or 16 times its baud rate, and twice the fastest
// report), the rate measured at open sets the holds: every clock phase, the data's setup before
// each rising edge and the settle before each sample last 2 us at the pins, measured from the
// updates the chip put out, and no phase is held needlessly long; so do they when payload bytes
// stream at the lowered rate, whose 2 ms pauses between bytes, held at the pins, last at least
// that and at most a tenth more. A rate outside what a chip in bit-bang mode can have is refused
// at open.
TEST_P(UsbPhases, EveryPhaseAtThePinsLastsTwoMicroseconds) {
  const PhaseCase c = GetParam();
  SettleProbe probe;
  SimulatedAdapterSetup setup;
  setup.product = c.product;
  setup.updatesPerRate = c.updatesPerRate;
  UsbRig rig(setup, &probe);
  if (!c.inRange) {
    EXPECT_EQ(rig.opened.port, nullptr);
    EXPECT_NE(rig.opened.reason.find("not in bit-bang mode as expected"), std::string::npos)
        << rig.opened.reason;
    return;
  }
  ASSERT_TRUE(rig.opened.port) << rig.opened.reason;
  EXPECT_NE(rig.opened.report.find(" per unit of rate "), std::string::npos);
  probe.now = [&rig] { return rig.adapter.PinTimeNs(); };

  bool allSettled = true;
  for (std::uint8_t out : std::array<std::uint8_t, 4>{0xA5, 0x00, 0xFF, 0x5A}) {
    allSettled = ExchangeByte(rig.link, out) == 0xFF && allSettled;
  }
  const PinPhases exchanged = PhasesAtThePins(rig.adapter.Lines(), 0);
  ASSERT_EQ(exchanged.clockChanges, 2u * 8 * 4);
  const double updateNs = 1e9 / (c.updatesPerRate * rig.adapter.Rate());

  const std::size_t streamedFrom = rig.adapter.Lines().size();
  std::vector<std::uint8_t> received;
  ReceiveBytes(rig.link, 3, received);
  EXPECT_EQ(received, (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF}));
  const PinPhases streamed = PhasesAtThePins(rig.adapter.Lines(), streamedFrom);
  ASSERT_EQ(streamed.clockChanges, 2u * 8 * 3);
  ASSERT_EQ(streamed.pauses.size(), 2u);

  for (const PinPhases& p : {exchanged, streamed}) {
    EXPECT_GE(p.shortestPhase, 2 * kUs);
    EXPECT_GE(p.shortestSetup, 2 * kUs);
  }
  for (std::int64_t pause : streamed.pauses) {
    EXPECT_GE(pause, kByteSpacingMs * kMs);
    EXPECT_LE(static_cast<double>(pause), 1.1 * kByteSpacingMs * kMs);
  }
  EXPECT_TRUE(allSettled);
  // One update at the slowest chip is already longer than 2 us; more than one would be waste.
  EXPECT_LE(static_cast<double>(exchanged.shortestPhase),
            std::max(2.0 * kUs * 1.25, updateNs) + updateNs);
}

INSTANTIATE_TEST_SUITE_P(Rates, UsbPhases,
                         ::testing::Values(PhaseCase{"FT232R_x4", 0x6001, 4, true},
                                           PhaseCase{"FT232R_x16", 0x6001, 16, true},
                                           PhaseCase{"FT232R_x64", 0x6001, 64, true},
                                           PhaseCase{"FT232R_x128", 0x6001, 128, true},
                                           PhaseCase{"FT232H_x5", 0x6014, 5, true},
                                           PhaseCase{"FT232H_x20", 0x6014, 20, true},
                                           PhaseCase{"FT232H_x80", 0x6014, 80, true},
                                           PhaseCase{"FT232R_x300TooFast", 0x6001, 300, false},
                                           PhaseCase{"FT232H_x1TooSlow", 0x6014, 1, false}),
                         [](const auto& tp) { return std::string(tp.param.name); });

}  // namespace
}  // namespace fennow
