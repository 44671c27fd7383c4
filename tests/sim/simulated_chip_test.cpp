// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "sim/SimulatedChip.h"

// The simulated chip as the USB device a host meets, against FTDI's datasheets (DS_FT232R,
// DS_FT232H), AN232B-04 on the latency timer and the requests libftdi 1.5 and ftdi_sio send.
// Every number here is typed from those, not taken from the chip's code.
namespace fennow {
namespace {

constexpr std::int64_t kMs = 1'000'000;

struct ChipBench {
  explicit ChipBench(std::uint16_t product = 0x6001, std::string serial = "FN000001") {
    setup.product = product;
    setup.serial = std::move(serial);
    chip.PowerUp(0);
  }
  ControlReply In(std::uint8_t type, std::uint8_t request, std::uint16_t value,
                  std::uint16_t index = 0, std::uint16_t length = 255) {
    return chip.Control({type, request, value, index, length}, {}, now);
  }
  bool Out(std::uint8_t request, std::uint16_t value, std::uint16_t index = 1) {
    return !chip.Control({0x40, request, value, index, 0}, {}, now).stalled;
  }
  // Synchronous bit-bang on D0..D2 at rate argument 46875 (187500 baud, divisor 16), latency 1.
  void BitBang() {
    Out(0x09, 1);
    Out(0x0B, 0x0407);
    Out(0x03, 16, 0);
  }

  SimulatedAdapterSetup setup;
  SimulatedChip chip{setup};
  std::int64_t now = 0;
};

struct DescriptorCase {
  const char* name;
  std::uint16_t product;
  std::string serial;
  std::vector<std::uint8_t> device;    // bytes 4..17 of the device descriptor
  std::uint8_t packetLow, packetHigh;  // wMaxPacketSize of the bulk endpoints
  bool qualifier;                      // a high-speed chip has a device qualifier
};

void PrintTo(const DescriptorCase& c, std::ostream* out) {
  *out << c.name;
}

class ChipDescriptors : public ::testing::TestWithParam<DescriptorCase> {};

// Class 0 with an 8-byte control endpoint on the FT232R and 64 on the FT232H, 0403:6001 release
// 0x0600 and 0403:6014 release 0x0900, strings 1 to 3 (none for the serial of a blank EEPROM);
// one configuration of one vendor-specific interface, bulk IN 0x81 and OUT 0x02.
TEST_P(ChipDescriptors, AreTheChipsOwn) {
  const DescriptorCase& c = GetParam();
  ChipBench bench(c.product, c.serial);
  const ControlReply device = bench.In(0x80, 6, 0x0100);
  ASSERT_EQ(device.data.size(), 18u);
  EXPECT_EQ(std::vector<std::uint8_t>(device.data.begin() + 4, device.data.end()), c.device);
  EXPECT_EQ(bench.In(0x80, 6, 0x0100, 0, 8).data.size(), 8u) << "the host's first short ask";

  const ControlReply config = bench.In(0x80, 6, 0x0200);
  ASSERT_EQ(config.data.size(), 32u);
  EXPECT_EQ(config.data[2], 32);
  const std::vector<std::uint8_t> endpoints(config.data.begin() + 18, config.data.end());
  EXPECT_EQ(endpoints, (std::vector<std::uint8_t>{7, 5, 0x81, 2, c.packetLow, c.packetHigh, 0, 7, 5,
                                                  0x02, 2, c.packetLow, c.packetHigh, 0}));
  EXPECT_EQ(config.data[14], 0xFF) << "vendor-specific interface";

  EXPECT_EQ(bench.In(0x80, 6, 0x0300).data, (std::vector<std::uint8_t>{4, 3, 0x09, 0x04}));
  EXPECT_EQ(bench.In(0x80, 6, 0x0301).data,
            (std::vector<std::uint8_t>{10, 3, 'F', 0, 'T', 0, 'D', 0, 'I', 0}));
  EXPECT_EQ(bench.In(0x80, 6, 0x0303).stalled, c.serial.empty());
  EXPECT_EQ(bench.In(0x80, 6, 0x0600).stalled, !c.qualifier);
  EXPECT_TRUE(bench.In(0x80, 6, 0x0F00).stalled) << "no BOS descriptor before USB 2.01";
}

INSTANTIATE_TEST_SUITE_P(
    Chips, ChipDescriptors,
    ::testing::Values(DescriptorCase{"FT232R",
                                     0x6001,
                                     "FN000001",
                                     {0, 0, 0, 8, 0x03, 0x04, 0x01, 0x60, 0x00, 0x06, 1, 2, 3, 1},
                                     64,
                                     0,
                                     false},
                      DescriptorCase{"FT232HWithoutSerial",
                                     0x6014,
                                     "",
                                     {0, 0, 0, 64, 0x03, 0x04, 0x14, 0x60, 0x00, 0x09, 1, 2, 0, 1},
                                     0x00,
                                     0x02,
                                     true}),
    [](const auto& tp) { return std::string(tp.param.name); });

struct BaudCase {
  const char* name;
  std::uint16_t product;
  std::uint16_t value, index;  // as ftdi_convert_baudrate encodes the divisor
  int rate;                    // libftdi's bit-bang argument: a quarter of the baud rate
};

void PrintTo(const BaudCase& c, std::ostream* out) {
  *out << c.name;
}

class ChipBaud : public ::testing::TestWithParam<BaudCase> {};

// The divisor libftdi sends sets the baud rate off the chip's base clock: 3 MHz, or 12 MHz on the
// FT232H when wIndex bit 9 is set; the sub-divisor's code in wValue bits 15..14; divisors 0 and 1
// meaning 1 and 1.5 (AN120).
TEST_P(ChipBaud, IsTheBaseClockOverTheDivisorSent) {
  const BaudCase& c = GetParam();
  ChipBench bench(c.product);
  ASSERT_TRUE(bench.Out(0x03, c.value, c.index));
  EXPECT_EQ(bench.chip.Rate(), c.rate);
}

INSTANTIATE_TEST_SUITE_P(
    Divisors, ChipBaud,
    ::testing::Values(BaudCase{"FT232RDivisor16", 0x6001, 16, 0, 46'875},
                      BaudCase{"FT232RDivisor200", 0x6001, 200, 0, 3'750},
                      BaudCase{"FT232RDivisor7500", 0x6001, 7'500, 0, 100},
                      BaudCase{"FT232RHalfStep", 0x6001, 0x4000 | 16, 0, 45'454},
                      BaudCase{"FT232RThreeMegabaud", 0x6001, 0, 0, 750'000},
                      BaudCase{"FT232ROnePointFive", 0x6001, 1, 0, 500'000},
                      BaudCase{"FT232HTwelveMegahertzOver80", 0x6014, 80, 0x0201, 37'500},
                      BaudCase{"FT232HThreeMegahertzOver7500", 0x6014, 7'500, 0x0001, 100}),
    [](const auto& tp) { return std::string(tp.param.name); });

// ftdi_sio reads the latency timer and writes it back when it takes the chip (ftdi_port_probe),
// libftdi reads and sets it; the chip keeps what was set until it is plugged in again. With no
// Game Boy wired, the pins read their inputs high and the outputs low until a byte is put out.
TEST(ChipRequests, KeepTheirSettingsAndAnswerTheirReads) {
  ChipBench bench;
  EXPECT_TRUE(bench.Out(0x09, 1));
  EXPECT_TRUE(bench.Out(0x0B, 0x0407));
  EXPECT_EQ(bench.In(0xC0, 0x0A, 0, 1).data, std::vector<std::uint8_t>{1});
  EXPECT_EQ(bench.In(0xC0, 0x0C, 0, 1, 1).data, std::vector<std::uint8_t>{0xF8});
  EXPECT_TRUE(bench.In(0xC0, 0x91, 0, 1).stalled) << "EEPROM writes are not the chip's to take";
  bench.chip.PowerUp(10 * kMs);
  EXPECT_EQ(bench.In(0xC0, 0x0A, 0, 1).data, std::vector<std::uint8_t>{16});
  EXPECT_EQ(bench.chip.Mode(), BitMode::Reset);
}

struct PacketCase {
  const char* name;
  int readings;             // put out at the pins before the host asks
  std::int64_t sinceMs;     // since the last packet left, when the host asks
  std::optional<int> data;  // bytes after the status bytes; none: NAK
};

void PrintTo(const PacketCase& c, std::ostream* out) {
  *out << c.name;
}

class ChipPackets : public ::testing::TestWithParam<PacketCase> {};

// A packet leaves as soon as it is full (62 readings and the two status bytes); one part-filled
// or empty leaves only once the latency timer has run out since the last packet left; before that
// the chip NAKs.
TEST_P(ChipPackets, LeaveFullOrWhenTheLatencyTimerRunsOut) {
  const PacketCase& c = GetParam();
  ChipBench bench;
  bench.BitBang();
  bench.now = 10 * kMs;
  ASSERT_TRUE(bench.chip.SendToHost(bench.now).has_value()) << "the timer had run out";
  if (c.readings > 0) {
    ASSERT_TRUE(bench.chip.TakeFromHost(
        std::vector<std::uint8_t>(static_cast<std::size_t>(c.readings), 0x02), bench.now));
  }
  const std::optional<std::vector<std::uint8_t>> packet =
      bench.chip.SendToHost(bench.now + c.sinceMs * kMs + 50'000);
  ASSERT_EQ(packet.has_value(), c.data.has_value());
  if (!packet) return;
  EXPECT_EQ(static_cast<int>(packet->size()) - 2, *c.data);
  EXPECT_EQ((*packet)[1], 0x60) << "line status: transmitter empty";
  // Each reading shows the pins before the byte: the inputs high, then the clock put out.
  if (*c.data > 1) {
    EXPECT_EQ(std::vector<std::uint8_t>(packet->begin() + 2, packet->begin() + 4),
              (std::vector<std::uint8_t>{0xF8, 0xFA}));
  }
}

INSTANTIATE_TEST_SUITE_P(Timer, ChipPackets,
                         ::testing::Values(PacketCase{"FullAtOnce", 62, 0, 62},
                                           PacketCase{"MoreStillAPacket", 100, 0, 62},
                                           PacketCase{"PartFilledWaits", 61, 0, std::nullopt},
                                           PacketCase{"PartFilledAfterTheTimer", 61, 1, 61},
                                           PacketCase{"NothingWaits", 0, 0, std::nullopt},
                                           PacketCase{"StatusAloneAfterTheTimer", 0, 1, 0}),
                         [](const auto& tp) { return std::string(tp.param.name); });

}  // namespace
}  // namespace fennow
