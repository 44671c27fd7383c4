// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "link/ByteExchange.h"
#include "ports/usb/UsbAdapters.h"
#include "tests/support/UsbRig.h"

namespace fennow {
namespace {

using test::UsbRig;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// ---- Finding and opening adapters -----------------------------------------------------------

TEST(UsbAdapters, AreListedBySerialNumberWithTheNamesTheUserSees) {
  VirtualCounter counter;
  SimulatedFtdiBus bus(counter);
  SimulatedAdapterSetup setup;
  for (const auto& [product, serial] :
       std::vector<std::pair<std::uint16_t, std::string>>{{0x6014, "FT5XKQ2A"},
                                                          {0x6001, "A50285BI"},
                                                          {0x6001, "A1B2C3D4"},
                                                          {0x6010, "AAAAAAAA"}}) {
    setup.product = product;
    setup.serial = serial;
    bus.Plug(setup);
  }
  setup.product = 0x6001;
  setup.serial = "A0000000";
  setup.faults.serialUnreadable = true;
  bus.Plug(setup);

  const std::vector<UsbAdapterListing> adapters = ListUsbAdapters(bus);
  std::vector<std::string> names;
  for (const UsbAdapterListing& adapter : adapters) names.push_back(adapter.name);
  // The FT2232 (0x6010) is not one we support; an adapter whose serial cannot be read comes last.
  EXPECT_EQ(names, (std::vector<std::string>{"USB FT232R A1B2C3D4", "USB FT232R A50285BI",
                                             "USB FT232H FT5XKQ2A",
                                             "USB FT232R (serial number unreadable)"}));
  EXPECT_EQ(adapters.back().access.error, ChipError::PermissionDenied);
  EXPECT_TRUE(adapters.front().access.ok());
}

struct RefusalCase {
  const char* name;
  ChipError openError;  // set on the adapter
  bool openElsewhere;   // another program holds it
  bool unplugged;       // pulled out between listing and opening
  ChipError expected;
  std::vector<std::string> said;  // what the reason must mention
  PortReason reason;              // what the window's box explains
  bool serialUnreadable = false;  // already when listed: no udev rule
};

void PrintTo(const RefusalCase& c, std::ostream* out) {
  *out << c.name;
}

class UsbRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(UsbRefusal, SaysWhyAndWhatToDo) {
  const RefusalCase& c = GetParam();
  VirtualCounter counter;
  SimulatedFtdiBus bus(counter);
  SimulatedAdapterSetup setup;
  setup.serial = "A50285BI";
  setup.faults.openError = c.openError;
  setup.faults.serialUnreadable = c.serialUnreadable;
  SimulatedAdapter& adapter = bus.Plug(setup);
  const std::vector<UsbAdapterListing> found = ListUsbAdapters(bus);
  ASSERT_EQ(found.size(), 1u);

  FtdiBus::Opened other;
  if (c.openElsewhere) other = bus.Open(kFtdiVendor, 0x6001, "A50285BI");
  if (c.unplugged) {
    adapter.Faults().unplugAfterBytes = 0;
    std::array<std::uint8_t, 1> byte{};
    ASSERT_TRUE(adapter.Claim().ok());
    adapter.SetBitMode(0xFF, BitMode::SyncBitBang);
    adapter.Write(byte);
    adapter.Release();
  }

  const UsbOpenResult opened = OpenUsbAdapter(bus, found.front(), counter);
  const std::string name =
      c.serialUnreadable ? "USB FT232R (serial number unreadable)" : "USB FT232R A50285BI";
  EXPECT_EQ(opened.port, nullptr);
  EXPECT_EQ(opened.error, c.expected);
  EXPECT_TRUE(Contains(opened.reason, name)) << opened.reason;
  for (const std::string& part : c.said) {
    EXPECT_TRUE(Contains(opened.reason, part)) << "no \"" << part << "\" in: " << opened.reason;
  }
  EXPECT_EQ(opened.problem.kind, PortKind::UsbAdapter);
  EXPECT_EQ(opened.problem.reason, c.reason);
  EXPECT_EQ(opened.problem.device, name);
  EXPECT_TRUE(Contains(opened.reason, opened.problem.detail)) << opened.problem.detail;
}

INSTANTIATE_TEST_SUITE_P(
    Causes, UsbRefusal,
    ::testing::Values(RefusalCase{"PermissionDenied",
                                  ChipError::PermissionDenied,
                                  false,
                                  false,
                                  ChipError::PermissionDenied,
                                  {"permission denied", "udev rule", "usb_open() failed"},
                                  PortReason::PermissionDenied},
                      RefusalCase{"SerialUnreadable",
                                  ChipError::None,
                                  false,
                                  false,
                                  ChipError::PermissionDenied,
                                  {"permission denied", "udev rule", "libusb_open() failed"},
                                  PortReason::PermissionDenied,
                                  true},
                      RefusalCase{"DriverWouldNotLetGo",
                                  ChipError::Busy,
                                  false,
                                  false,
                                  ChipError::Busy,
                                  {"busy", "another program", "unable to claim usb device"},
                                  PortReason::Busy},
                      RefusalCase{"HeldByAnotherProgram",
                                  ChipError::None,
                                  true,
                                  false,
                                  ChipError::Busy,
                                  {"busy", "unable to claim usb device"},
                                  PortReason::Busy},
                      RefusalCase{"Unplugged",
                                  ChipError::None,
                                  false,
                                  true,
                                  ChipError::NotFound,
                                  {"not on the USB bus", "device not found"},
                                  PortReason::DeviceLost},
                      RefusalCase{"ResetFailed",
                                  ChipError::IoError,
                                  false,
                                  false,
                                  ChipError::IoError,
                                  {"did not answer", "ftdi_usb_reset failed"},
                                  PortReason::Other}),
    [](const auto& tp) { return std::string(tp.param.name); });

// ---- Faults while in use --------------------------------------------------------------------

TEST(UsbFaults, ShortReadsAreGatheredUntilTheWholeReplyIsIn) {
  SimulatedAdapterSetup setup;
  setup.faults.shortReads = true;
  UsbRig rig(setup);
  ASSERT_TRUE(rig.opened.port) << rig.opened.reason;
  rig.gameBoy.SetStartPhase(1);
  EXPECT_TRUE(SyncLink(rig.link));
  EXPECT_EQ(ExchangeByte(rig.link, 'G'), 'W');
  EXPECT_EQ(rig.link.lines.LostReason(), "");
}

struct LossCase {
  const char* name;
  std::function<void(SimulatedAdapter&)> strike;  // what goes wrong, once the Game Boy is found
  std::string lost;                               // the reason the port then gives
};

void PrintTo(const LossCase& c, std::ostream* out) {
  *out << c.name;
}

class UsbLoss : public ::testing::TestWithParam<LossCase> {};

TEST_P(UsbLoss, ThePortSaysItWasLostAndFromThenOnReadsAsAnEmptySocket) {
  UsbRig rig;
  ASSERT_TRUE(rig.opened.port) << rig.opened.reason;
  EXPECT_TRUE(SyncLink(rig.link));
  ASSERT_EQ(rig.link.lines.LostReason(), "");

  GetParam().strike(rig.adapter);
  for (int i = 0; i < 3; ++i) ExchangeByte(rig.link, 0);
  EXPECT_EQ(rig.link.lines.LostReason(), GetParam().lost);

  const std::uint64_t writes = rig.adapter.Writes();
  EXPECT_EQ(ExchangeByte(rig.link, 0), 0xFF);
  EXPECT_EQ(rig.link.lines.ReadStatus(), 0xFF);
  EXPECT_FALSE(SyncLink(rig.link));
  EXPECT_EQ(rig.adapter.Writes(), writes) << "a lost adapter is left alone";
}

INSTANTIATE_TEST_SUITE_P(
    Faults, UsbLoss,
    ::testing::Values(
        // An exchange is a round trip of two packets. Pulled out while the first is put out at
        // the pins, the write of the second fails; while the second is, the read.
        LossCase{"UnpluggedMidWrite",
                 [](SimulatedAdapter& a) {
                   a.Faults().unplugAfterBytes = static_cast<std::int64_t>(a.BytesOut()) + 130;
                 },
                 "USB FT232R FN000001 was unplugged (usb bulk write failed: "
                 "LIBUSB_ERROR_IO)"},
        LossCase{"UnpluggedMidReply",
                 [](SimulatedAdapter& a) {
                   a.Faults().unplugAfterBytes = static_cast<std::int64_t>(a.BytesOut()) + 210;
                 },
                 "USB FT232R FN000001 was unplugged (usb bulk read failed: "
                 "LIBUSB_ERROR_NO_DEVICE)"},
        LossCase{
            "WriteFailed",
            [](SimulatedAdapter& a) { a.Faults().failWrite = static_cast<int>(a.Writes()) + 2; },
            "USB FT232R FN000001 stopped working (usb bulk write failed: LIBUSB_ERROR_IO)"},
        LossCase{"StoppedAnswering", [](SimulatedAdapter& a) { a.Faults().mute = true; },
                 "USB FT232R FN000001 stopped working (no reply to 124 bytes)"},
        // A byte now and then, never enough for the reply: the round trip's time
        // is bounded, not the empty reads in a row.
        LossCase{"Trickling", [](SimulatedAdapter& a) { a.Faults().trickleEmptyReads = 499; },
                 "USB FT232R FN000001 stopped working (only 1 of 124 bytes came "
                 "back within 20 ms)"}),
    [](const auto& tp) { return std::string(tp.param.name); });

TEST(UsbTrickle, IsGivenUpWithinTheRoundTripsBound) {
  UsbRig rig;
  ASSERT_TRUE(rig.opened.port) << rig.opened.reason;
  rig.adapter.Faults().trickleEmptyReads = 499;
  const std::int64_t start = rig.counter.Now();
  ExchangeByte(rig.link, 0);
  EXPECT_NE(rig.link.lines.LostReason(), "");
  // 20 ms, and the one latency-timer period of the read under way when it ran out
  EXPECT_LE(rig.counter.Now() - start, 22'000'000) << "ns on the adapter's clock";
}

// ---- Single accesses and long scripts -------------------------------------------------------

TEST(UsbAccess, SingleWritesAndReadsReachThePins) {
  UsbRig rig;
  ASSERT_TRUE(rig.opened.port) << rig.opened.reason;
  PortIo& port = *rig.opened.port;
  rig.gameBoy.SetConnection(Connection::StuckSet);

  port.Write(0x378, LinkClock | LoopDrive);
  EXPECT_EQ(rig.gameBoy.Read(0x378), LinkClock | LoopDrive);
  // a sound loop: sense follows drive, and the register shows it inverted
  EXPECT_EQ(port.Read(0x379), 0x3F | LinkDataIn);
  port.Write(0x378, 0);
  EXPECT_EQ(port.Read(0x379), 0x3F | LinkDataIn | LoopSense);
}

// A script longer than the chip may hold goes out in several round trips, none over the limit,
// and every sample still comes from its own step.
TEST(UsbAccess, ALongScriptIsSplitIntoRoundTripsTheChipCanHold) {
  UsbRig rig;
  ASSERT_TRUE(rig.opened.port) << rig.opened.reason;
  rig.gameBoy.SetConnection(Connection::StuckSet);
  LineScript script;
  std::vector<std::uint8_t> expected;
  for (int step = 0; step < 40; ++step) {
    const bool drive = step % 3 == 0;
    script.Put(LoopDrive, drive).Wait(kHalfBitUs).Sample();
    expected.push_back(static_cast<std::uint8_t>(0x3F | LinkDataIn | (drive ? 0 : LoopSense)));
  }
  const std::uint64_t writes = rig.adapter.Writes();
  EXPECT_EQ(rig.link.Run(script), expected);
  // 40 steps of 7 updates (2 us at the 3 M a second measured, with its margin) and a last one:
  // 281 bytes, three round trips of at most 124.
  EXPECT_EQ(rig.adapter.Writes() - writes, 3u);
  EXPECT_LE(rig.adapter.MostOutstanding(), 128u);
  EXPECT_EQ(rig.link.port.OutputLatch, LoopDrive);  // step 39 drives it high
}

struct PauseCase {
  const char* name;
  std::uint16_t product;
  std::uint32_t alsoRaised;  // lines raised before the drive, to move the sample in the batch
};

void PrintTo(const PauseCase& c, std::ostream* out) {
  *out << c.name;
}

class UsbPause : public ::testing::TestWithParam<PauseCase> {};

// Samples either side of a pause the host times: each is read from the pins as they stand then,
// also when the first falls right after a whole packet, where no filling-up adds a byte after it.
TEST_P(UsbPause, ASampleJustBeforeAPauseIsReadBeforeIt) {
  SimulatedAdapterSetup setup;
  setup.product = GetParam().product;
  UsbRig rig(setup);
  ASSERT_TRUE(rig.opened.port) << rig.opened.reason;
  rig.gameBoy.SetConnection(Connection::StuckSet);
  LineScript script;
  for (std::uint32_t line : {LinkClock, LinkDataOut}) {
    if ((GetParam().alsoRaised & line) != 0) script.Set(line);
  }
  // 20 us: 60 updates after the drive, so after two lines more the sample falls at update 62
  script.Set(LoopDrive).Wait(20).Sample().WaitMs(5).Clear(LoopDrive).Sample();
  EXPECT_EQ(rig.link.Run(script), (LineSamples{0x3F | LinkDataIn, 0x3F | LinkDataIn | LoopSense}));
}

INSTANTIATE_TEST_SUITE_P(Chips, UsbPause,
                         ::testing::Values(PauseCase{"FT232R", 0x6001, 0},
                                           PauseCase{"FT232RSampleAfterAWholePacket", 0x6001,
                                                     LinkClock | LinkDataOut},
                                           PauseCase{"FT232H", 0x6014, 0}),
                         [](const auto& tp) { return std::string(tp.param.name); });

}  // namespace
}  // namespace fennow
