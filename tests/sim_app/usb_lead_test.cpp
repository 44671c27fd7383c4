// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QLabel>
#include <memory>
#include <vector>

#include "app/DialogTemplates.h"
#include "ports/SystemPorts.h"
#include "sim/SimulatedUsbLead.h"
#include "sim_app/SimulatorWindow.h"
#include "tests/support/UsbRig.h"
#include "tests/support/WindowRig.h"

namespace fennow {
namespace {

using test::Message;

// The simulator as `fennow-link-sim --usb` builds it: the real main window reaching the simulated
// Game Boy through the program's own ports, which find the simulated adapter on its bus and give it
// to LPT1, and the USB back end; on a clock that moves when read.
struct UsbSimulatorRig {
  UsbSimulatorRig() {
    gameBoy.SetRecording(false);
    simulator.SetLead(QString::fromStdString(lead.Name()));
  }

  QApplication& app = test::TestApp();
  VirtualCounter counter{100'000};
  SimulatedGameBoy gameBoy{[this] { return counter.Now(); }};
  SimulatedUsbLead lead{gameBoy, counter};
  test::ScriptedDialogs dialogs;
  test::ScriptedKeys keys;
  SystemPorts host{AdaptersOnlySetup(lead.Bus(), counter)};
  WindowPlatform platform{host, counter, dialogs, keys};
  std::unique_ptr<LinkWindow> window = std::make_unique<LinkWindow>(platform);
  SimulatorWindow simulator{gameBoy};
};

TEST(SimulatorOverUsb, TheMainWindowFetchesAScreenThroughTheAdapterAndTheLeadIsNamed) {
  UsbSimulatorRig rig;
  EXPECT_EQ(rig.simulator.LeadText(), QStringLiteral("Lead in use: USB FT232R FNSIM001"));

  qobject_cast<QAbstractButton*>(ControlById(*rig.window, kLpt1Id))->click();
  const std::uint64_t writes = rig.lead.Adapter().Writes();
  qobject_cast<QAbstractButton*>(ControlById(*rig.window, kStartTransferId))->click();
  EXPECT_EQ(rig.dialogs.messages,
            (std::vector<Message>{
                {"Interface Port set to LPT1 (USB FT232R FNSIM001)", "Interface Port",
                 MessageStyle::MB_ICONINFORMATION},
                {"Screen Transfer Successful", "Transfer Status", MessageStyle::MB_OK}}));
  EXPECT_EQ(rig.window->Capture().Kind, CaptureKind::Screen);
  // Through the adapter, a round trip for each synchronisation clock, the request and the mode
  // byte, and a stream for each tile row: the window's port hands each script on whole, and lets
  // the payload's through to be streamed.
  const std::uint64_t roundTrips = rig.lead.Adapter().Writes() - writes;
  EXPECT_GE(roundTrips, static_cast<std::uint64_t>(kTileRows));
  EXPECT_LE(roundTrips, static_cast<std::uint64_t>(kTileRows) + 60u);
}

}  // namespace
}  // namespace fennow
