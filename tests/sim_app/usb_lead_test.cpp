#include <gtest/gtest.h>

#include <QLabel>
#include <memory>
#include <vector>

#include "app/Templates.h"
#include "link/PortDirectory.h"
#include "sim/SimulatedUsbLead.h"
#include "sim_app/SimulatorWindow.h"
#include "tests/support/UsbRig.h"
#include "tests/support/WindowRig.h"

namespace fennow {
namespace {

using test::Message;

// The simulator as `fennow-link-sim --usb` builds it: the real main window reaching the simulated
// Game Boy through the USB back end and a simulated adapter, on a clock that moves when read.
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
  test::NoPort none;
  LegacyPortDirectory ports;
  WindowPlatform platform{lead.Port() ? *lead.Port() : static_cast<PortIo&>(none), ports, counter,
                          dialogs, keys};
  std::unique_ptr<LinkWindow> window = std::make_unique<LinkWindow>(platform);
  SimulatorWindow simulator{gameBoy};
};

TEST(SimulatorOverUsb, TheMainWindowFetchesAScreenThroughTheAdapterAndTheLeadIsNamed) {
  UsbSimulatorRig rig;
  ASSERT_NE(rig.lead.Port(), nullptr) << rig.lead.Name();
  EXPECT_EQ(rig.simulator.LeadText(), QStringLiteral("Lead in use: USB FT232R FNSIM001"));

  const std::uint64_t before = rig.lead.Adapter().BytesOut();
  qobject_cast<QAbstractButton*>(ControlById(*rig.window, kStartTransferId))->click();
  EXPECT_EQ(rig.dialogs.messages, (std::vector<Message>{{"Screen Transfer Successful",
                                                         "Transfer Status", MessageStyle::MB_OK}}));
  EXPECT_EQ(rig.window->Capture().Kind, CaptureKind::Screen);
  // a byte a round trip of 124 updates: the transfer went through the adapter
  EXPECT_GE(rig.lead.Adapter().BytesOut() - before, 124u * kScreenBytes);
}

}  // namespace
}  // namespace fennow
