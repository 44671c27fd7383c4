#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "ports/PortNotices.h"
#include "ports/SystemPorts.h"
#include "ports/usb/UsbAdapters.h"
#include "sim/SimulatedFtdiBus.h"
#include "sim/VirtualCounter.h"
#include "tests/support/FakeServices.h"

namespace fennow {
namespace {

using test::FakeServices;

// A directory whose Reach answers from a script, one answer per call.
class ScriptedReach final : public PortDirectory {
 public:
  PortTable Ports() override { return LegacyPorts(); }
  std::optional<PortProblem> Reach(std::uint16_t base) override {
    reached.push_back(base);
    std::optional<PortProblem> next = answers.empty() ? std::nullopt : answers.front();
    if (!answers.empty()) answers.pop_front();
    return next;
  }
  std::deque<std::optional<PortProblem>> answers;
  std::vector<std::uint16_t> reached;
};

PortProblem Problem(PortReason reason, std::string device = "/dev/parport0",
                    PortKind kind = PortKind::ParallelPort) {
  return {kind, reason, std::move(device), "Input/output error"};
}

const ChosenPort kLpt1{PortChoice::LPT1, {0x378, "0x378"}};
const ChosenPort kCardOnLpt2{PortChoice::LPT2, {0xD010, "0xD010"}};
const ChosenPort kAdapterOnLpt1{
    PortChoice::LPT1, {0x378, "USB FT232R A50285BI", PortKind::UsbAdapter, 0x6001, "A50285BI"}};

struct ReasonCase {
  PortReason reason;
  std::string device;
  std::string text;  // the whole box, for LPT1 at 0x378, or for an adapter on LPT1
  PortKind kind = PortKind::ParallelPort;
};

// Every reason's box: the choice and what it reaches, the device tried, why, and what to do.
TEST(PortNotice, EachReasonIsExplainedWithItsRemedy) {
  constexpr PortKind kUsb = PortKind::UsbAdapter;
  const std::string adapter = "USB FT232R A50285BI";
  const ReasonCase cases[] = {
      {PortReason::NoDevice, "",
       "LPT1 (0x378) cannot be reached: no parallel-port device has that base address. Load the "
       "parallel-port driver (sudo modprobe parport_pc) and check in the BIOS set-up that the port "
       "is enabled in standard (SPP) mode, then choose the port again."},
      {PortReason::NoDeviceNode, "/dev/parport0",
       "LPT1 (0x378) cannot be reached: /dev/parport0 does not exist. Load the parallel-port "
       "device driver (sudo modprobe ppdev), then try again."},
      {PortReason::PermissionDenied, "/dev/parport0",
       "LPT1 (0x378) cannot be reached: permission denied on /dev/parport0. Add your user to "
       "group lp (sudo adduser $USER lp), then log out and in again."},
      {PortReason::Busy, "/dev/parport1",
       "LPT1 (0x378) cannot be reached: /dev/parport1 is busy: another program or driver holds "
       "the port. Stop the printer service (sudo systemctl stop cups) or unload the printer "
       "driver (sudo modprobe -r lp), then try again."},
      {PortReason::NotAPortDevice, "/dev/parport0",
       "LPT1 (0x378) cannot be reached: /dev/parport0 is not a parallel-port device. If it is a "
       "plain file left by copying something to the port, remove it (sudo rm /dev/parport0), "
       "then load the parallel-port device driver (sudo modprobe ppdev)."},
      {PortReason::DeviceLost, "/dev/parport0",
       "LPT1 (0x378) cannot be reached: /dev/parport0 has gone away. Check that the port's card "
       "is in place and its driver loaded (sudo modprobe parport_pc), then choose the port "
       "again."},
      {PortReason::Other, "/dev/parport0",
       "LPT1 (0x378) cannot be reached: /dev/parport0: Input/output error. Look for the cause in "
       "the kernel's messages (sudo dmesg), then try again."},
      {PortReason::PermissionDenied, adapter,
       "LPT1 (USB FT232R A50285BI) cannot be reached: permission denied on the adapter. Give "
       "yourself access with the udev rule for USB link adapters: the fennow-link package installs "
       "it; otherwise copy packaging/udev/70-fennow-link-usb.rules from the program's source to "
       "/etc/udev/rules.d (sudo cp). Then unplug the adapter and plug it in again.",
       kUsb},
      {PortReason::Busy, adapter,
       "LPT1 (USB FT232R A50285BI) cannot be reached: the adapter is busy: another program holds "
       "it. Close the other program that uses the adapter (a serial terminal on its /dev/ttyUSB "
       "port, say); if there is none, unload the serial driver (sudo modprobe -r ftdi_sio). Then "
       "try again.",
       kUsb},
      {PortReason::DeviceLost, adapter,
       "LPT1 (USB FT232R A50285BI) cannot be reached: the adapter is not on the USB bus. Plug it "
       "back in and try again, or choose the port again to use the adapters plugged in now.",
       kUsb},
      {PortReason::Other, adapter,
       "LPT1 (USB FT232R A50285BI) cannot be reached: the adapter did not answer as it should in "
       "bit-bang mode: Input/output error. Unplug the adapter and plug it in again, then try "
       "again. If that does not help, look for the cause in the kernel's messages (sudo dmesg).",
       kUsb},
  };
  for (const ReasonCase& c : cases) {
    SCOPED_TRACE(c.text);
    ScriptedReach ports;
    ports.answers = {Problem(c.reason, c.device, c.kind)};
    PortNotices notices;
    FakeServices ui;
    ReachChosenPort(c.kind == kUsb ? kAdapterOnLpt1 : kLpt1, ports, notices, ui);
    EXPECT_EQ(ports.reached, std::vector<std::uint16_t>{0x378});
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], (test::Message{c.text, "Interface Port", MessageStyle::MB_ICONSTOP}));
  }
}

TEST(PortNotice, EachPortAndReasonIsToldOnceARun) {
  ScriptedReach ports;
  PortNotices notices;
  FakeServices ui;
  const auto press = [&](const ChosenPort& chosen, std::optional<PortProblem> answer) {
    ports.answers = {std::move(answer)};
    ReachChosenPort(chosen, ports, notices, ui);
  };

  press(kLpt1, Problem(PortReason::Busy));
  press(kLpt1, Problem(PortReason::Busy));  // the same failure again: no box
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_NE(ui.messages[0].text.find("is busy"), std::string::npos);

  press(kLpt1, Problem(PortReason::PermissionDenied));  // a new reason is told
  ASSERT_EQ(ui.messages.size(), 2u);
  EXPECT_NE(ui.messages[1].text.find("permission denied"), std::string::npos);

  press(kLpt1, std::nullopt);  // reached: nothing to say
  press(kLpt1, Problem(PortReason::Busy));
  EXPECT_EQ(ui.messages.size(), 2u);

  press(kCardOnLpt2, Problem(PortReason::Busy));  // another port is told on its own
  ASSERT_EQ(ui.messages.size(), 3u);
  EXPECT_EQ(ui.messages[2].text.rfind("LPT2 (0xD010) cannot be reached: ", 0), 0u)
      << ui.messages[2].text;
  EXPECT_EQ(ports.reached, (std::vector<std::uint16_t>{0x378, 0x378, 0x378, 0x378, 0x378, 0xD010}));
}

// The window's road for an adapter: the program's ports find it on the bus, and each press of
// Start Transfer or Test reaches it. Each cause is told once, the first time it stands in the way;
// once the adapter can be used nothing more is said.
TEST(PortNotice, AnAdapterIsExplainedOncePerReasonUntilItCanBeUsed) {
  VirtualCounter counter;
  SimulatedFtdiBus bus(counter);
  SimulatedAdapterSetup setup;
  setup.serial = "A50285BI";
  setup.faults.openError = ChipError::PermissionDenied;
  SimulatedAdapter& adapter = bus.Plug(setup);
  SystemPorts host(AdaptersOnlyEnvironment(bus, counter));
  const ChosenPort lpt1{PortChoice::LPT1, TargetOf(host.Ports(), PortChoice::LPT1)};
  PortNotices notices;
  FakeServices ui;
  std::vector<std::string> said;
  const auto pressTwice = [&] {
    for (int press = 0; press < 2; ++press) ReachChosenPort(lpt1, host, notices, ui);
    for (std::size_t i = said.size(); i < ui.messages.size(); ++i) {
      EXPECT_EQ(ui.messages[i].title, "Interface Port");
      EXPECT_EQ(ui.messages[i].style, MessageStyle::MB_ICONSTOP);
      said.push_back(ui.messages[i].text);
    }
  };
  const auto toldAbout = [&](const std::string& why) {
    return "LPT1 (USB FT232R A50285BI) cannot be reached: " + why + ".";
  };

  pressTwice();  // no udev rule
  adapter.Faults().openError = ChipError::None;
  FtdiBus::Opened other = bus.Open(kFtdiVendor, 0x6001, "A50285BI");
  pressTwice();  // a terminal holds it
  other.chip.reset();
  adapter.Unplug();
  pressTwice();
  adapter.PlugBackIn();
  pressTwice();
  EXPECT_TRUE(adapter.Open());

  ASSERT_EQ(said.size(), 3u);
  EXPECT_EQ(said[0].rfind(toldAbout("permission denied on the adapter"), 0), 0u) << said[0];
  EXPECT_EQ(said[1].rfind(toldAbout("the adapter is busy: another program holds it"), 0), 0u)
      << said[1];
  EXPECT_EQ(said[2].rfind(toldAbout("the adapter is not on the USB bus"), 0), 0u) << said[2];
}

TEST(PortNotice, AReachablePortSaysNothing) {
  ScriptedReach ports;
  PortNotices notices;
  FakeServices ui;
  ReachChosenPort(kCardOnLpt2, ports, notices, ui);
  EXPECT_EQ(ports.reached, std::vector<std::uint16_t>{0xD010});
  EXPECT_TRUE(ui.events.empty());
}

}  // namespace
}  // namespace fennow
