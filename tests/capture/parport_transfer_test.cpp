// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cerrno>
#include <ostream>
#include <string>
#include <vector>

#include "capture/LeadTest.h"
#include "capture/Transfer.h"
#include "link/Protocol.h"
#include "ports/ChosenPort.h"
#include "tests/support/ParportRig.h"
#include "tests/support/SimRig.h"

// Transfers and the lead test through the program's own ports and a model of the kernel's ppdev
// driver, with the Game Boy behind the port's registers: a port that fails or goes away part-way
// is never a success, and a port that another driver shares still works.
namespace fennow {
namespace {

using test::Message;
using test::ParportRig;

constexpr std::int32_t kUntouched = 0x1234;
constexpr long kAccessesPerByte = 34;  // 26 writes, 8 reads

enum class Failure { None, Removed, CallFails };

struct FailCase {
  const char* name;
  bool screen;
  Failure failure;
  int error;  // of the failing call
  // Where it starts: with the access after access `at`, counted from the start of the transfer
  // (sync) or from the first of the mode byte's (mode byte, payload).
  bool fromModeByte;
  long at;
  int slotsWritten;
  test::Holder holder = test::Holder::None;
};

void PrintTo(const FailCase& c, std::ostream* out) {
  *out << c.name;
}

// Accesses a whole transfer of `screen` takes on a fresh rig: where its mode byte starts.
long ModeByteAt(bool screen) {
  ParportRig rig("calibration");
  if (!screen) rig.gameBoy.SetModeByte(kModeData);
  EXPECT_EQ(rig.PressStartTransfer(), TransferStatus::Success);
  const long payload = (screen ? kScreenBytes : kDataBytes) * kAccessesPerByte;
  return rig.wire.accesses - payload - kAccessesPerByte;
}

class ParportFailure : public ::testing::TestWithParam<FailCase> {};

// Ends as PortLost with the port's own words, the error lamp lit and no slot written with a byte
// that never came; the next Start Transfer tries the port again: a device still listed is
// opened afresh and works, one that has gone is explained in the "Interface Port" box.
TEST_P(ParportFailure, IsNeverASuccessAndThePortIsTriedAgainNextTime) {
  const FailCase& c = GetParam();
  const long start = c.fromModeByte ? ModeByteAt(c.screen) : 0;
  ParportRig rig(c.name);
  rig.port.holder = c.holder;
  if (!c.screen) rig.gameBoy.SetModeByte(kModeData);
  rig.store.CaptureBuffer.fill(kUntouched);
  rig.store.Kind = CaptureKind::Screen;
  rig.wire.at = start + c.at;
  rig.wire.trip = [&rig, &c] {
    if (c.failure == Failure::Removed) rig.kernel.Remove(0);
    rig.port.failFrom = c.failure == Failure::CallFails ? rig.port.registerRequests + 1 : 0;
    rig.port.failError = c.error;
  };

  if (c.failure == Failure::None) {
    EXPECT_EQ(rig.PressStartTransfer(), TransferStatus::Success);
    EXPECT_EQ(rig.store.Kind, c.screen ? CaptureKind::Screen : CaptureKind::Data);
    return;
  }
  const std::string said =
      std::string("Interface Port Lost: ") + rig.Device() +
      (c.failure == Failure::Removed ? " has gone away"
                                     : " failed: " + std::string(strerror(c.error)));
  EXPECT_EQ(rig.PressStartTransfer(), TransferStatus::PortLost);
  EXPECT_EQ(rig.ui.messages,
            (std::vector<Message>{{said, "Interface Port", MessageStyle::MB_ICONSTOP}}));
  EXPECT_TRUE(rig.ui.Lit(Lamp::ErrorLamp));
  EXPECT_FALSE(rig.ui.Lit(Lamp::SyncLamp));
  EXPECT_EQ(rig.ui.progress.back(), 0);
  EXPECT_EQ(rig.store.Kind, c.slotsWritten == 0 ? CaptureKind::Screen : CaptureKind::None);
  int written = 0;
  for (std::int32_t slot : rig.store.CaptureBuffer) written += slot != kUntouched;
  EXPECT_EQ(written, c.slotsWritten);

  if (c.failure == Failure::CallFails) {
    EXPECT_EQ(rig.port.registerRequests, rig.port.failFrom) << "asked again after failing";
  }

  rig.ui.messages.clear();
  rig.port.failFrom = 0;
  rig.gameBoy.Reset();
  if (c.failure == Failure::Removed) {
    EXPECT_EQ(rig.PressStartTransfer(), TransferStatus::SyncTimeout);
    ASSERT_FALSE(rig.ui.messages.empty());
    EXPECT_EQ(rig.ui.messages[0].text,
              "LPT1 (0x378) cannot be reached: " + rig.Device() +
                  " has gone away. Check that the port's card is in place and its driver loaded "
                  "(sudo modprobe parport_pc), then choose the port again.");
  } else {
    EXPECT_EQ(rig.PressStartTransfer(), TransferStatus::Success);
    EXPECT_EQ(rig.kernel.opens, 2);
  }
}

INSTANTIATE_TEST_SUITE_P(
    WhereItStarts, ParportFailure,
    ::testing::Values(
        FailCase{"RemovedWhileSynchronising", true, Failure::Removed, 0, false, 4, 0},
        FailCase{"RemovedBeforeTheModeBytesLastBit", true, Failure::Removed, 0, true, 30, 0},
        FailCase{"StatusReadFailsInTheModeByte", true, Failure::CallFails, ENODEV, true, 30, 0},
        FailCase{"RemovedMidScreen", true, Failure::Removed, 0, true, kAccessesPerByte * 501 + 10,
                 500},
        FailCase{"RemovedMidData", false, Failure::Removed, 0, true, kAccessesPerByte * 101 + 20,
                 100},
        FailCase{"WriteFailsMidScreen", true, Failure::CallFails, EIO, true, kAccessesPerByte * 701,
                 700},
        FailCase{"CallFailsMidDataWithENXIO", false, Failure::CallFails, ENXIO, true,
                 kAccessesPerByte * 1001 + 32, 1000},
        // The printer driver lp, registered on the port and idle, shares it.
        FailCase{"PrinterDriverRegisteredScreen", true, Failure::None, 0, false, -1, 0,
                 test::Holder::IdleDriver},
        FailCase{"PrinterDriverRegisteredData", false, Failure::None, 0, false, -1, 0,
                 test::Holder::IdleDriver}),
    [](const auto& tp) { return std::string(tp.param.name); });

// The lead test on a port that goes away says so in the "Interface Port" box, with no advice on
// the wiring; on a healthy port beside it nothing changes.
TEST(ParportLinkTest, APortLostDuringTheTestIsReportedAsLost) {
  ParportRig rig("lead-test");
  rig.gameBoy.SetConnection(Connection::StuckSet);
  rig.wire.at = 3;
  rig.wire.trip = [&rig] { rig.kernel.Remove(0); };
  ReachChosenPort(rig.chosen, rig.host, rig.notices, rig.ui, rig.link);
  EXPECT_FALSE(TestLink(rig.link, rig.ui));
  EXPECT_EQ(rig.ui.messages,
            (std::vector<Message>{{"Plug Gameboy Link Lead into PC.\nDisconnect Lead From Gameboy",
                                   "Test Link Status", MessageStyle::MB_ICONINFORMATION},
                                  {"Interface Port Lost: " + rig.Device() + " has gone away",
                                   "Interface Port", MessageStyle::MB_ICONSTOP}}));
}

}  // namespace
}  // namespace fennow
