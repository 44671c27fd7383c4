// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "link/LinkSession.h"
#include "ports/ChosenPort.h"
#include "ports/SystemPorts.h"
#include "ports/usb/UsbAdapters.h"
#include "sim/SimulatedFtdiBus.h"
#include "sim/VirtualCounter.h"
#include "tests/support/FakeServices.h"

namespace fennow {
namespace {

using test::FakeServices;

// A port whose status register reads a mark, so a test can tell which port the link was given.
struct MarkedPort final : PortIo {
  void Write(std::uint16_t, std::uint8_t) override {}
  std::uint8_t Read(std::uint16_t) override { return 0x5A; }
};

// A directory whose Reach answers from a script, one answer per call; a port it reaches is the
// marked one.
class ScriptedReach final : public PortDirectory {
 public:
  PortTable Ports() override { return LegacyPorts(); }
  ReachedPort Reach(const PortTarget& target) override {
    reached.push_back(target.name);
    std::optional<PortProblem> next = answers.empty() ? std::nullopt : answers.front();
    if (!answers.empty()) answers.pop_front();
    return {next ? &NoPort() : &marked, next};
  }
  std::deque<std::optional<PortProblem>> answers;
  std::vector<std::string> reached;
  MarkedPort marked;
};

// The link an operation would run on.
struct Link {
  VirtualCounter counter;
  LinkSession session{counter};
};

PortProblem Problem(PortReason reason, std::string device = "/dev/parport0",
                    PortKind kind = PortKind::ParallelPort) {
  return {kind, reason, std::move(device), "Input/output error"};
}

const ChosenPort kLpt1{PortChoice::LPT1, {0x378, "0x378"}};
const ChosenPort kCardOnLpt2{PortChoice::LPT2, {0xD010, "0xD010"}};
const ChosenPort kAdapterOnLpt1{
    PortChoice::LPT1, {0, "USB FT232R A50285BI", PortKind::UsbAdapter, 0x6001, "A50285BI"}};

struct ReasonCase {
  PortKind kind;
  PortReason reason;
  const char* why;     // the box's words for why, after "cannot be reached: "
  const char* remedy;  // what the remedy must tell the user to do (as the README says)
};

// Every reason's box: the choice and what it reaches, why (naming the device tried), and a remedy
// that points at what fixes that cause, each reason its own, with nothing left unfilled.
TEST(PortNotice, EachReasonIsExplainedWithItsOwnRemedy) {
  constexpr PortKind kParallel = PortKind::ParallelPort;
  constexpr PortKind kUsb = PortKind::UsbAdapter;
  const ReasonCase cases[] = {
      {kParallel, PortReason::NoDevice, "no parallel-port device has that base address",
       "modprobe parport_pc"},
      {kParallel, PortReason::NoDeviceNode, "/dev/parport0 does not exist", "modprobe ppdev"},
      {kParallel, PortReason::PermissionDenied, "permission denied on /dev/parport0",
       "adduser $USER lp"},
      {kParallel, PortReason::Busy,
       "/dev/parport0 is busy: another program or driver holds the port", "systemctl stop cups"},
      {kParallel, PortReason::NotAPortDevice, "/dev/parport0 is not a parallel-port device",
       "sudo rm /dev/parport0"},
      {kParallel, PortReason::DeviceLost, "/dev/parport0 has gone away", "card is in place"},
      {kParallel, PortReason::Other, "/dev/parport0: Input/output error", "sudo dmesg"},
      {kUsb, PortReason::PermissionDenied, "permission denied on the adapter",
       "70-fennow-link-usb.rules"},
      {kUsb, PortReason::Busy, "the adapter is busy: another program holds it",
       "modprobe -r ftdi_sio"},
      {kUsb, PortReason::DeviceLost, "the adapter is not on the USB bus", "Plug it back in"},
      {kUsb, PortReason::Other,
       "the adapter did not answer as it should in bit-bang mode: Input/output error",
       "Unplug the adapter"},
  };
  std::vector<std::string> remedies;
  for (const ReasonCase& c : cases) {
    SCOPED_TRACE(c.why);
    const bool usb = c.kind == kUsb;
    ScriptedReach ports;
    ports.answers = {Problem(c.reason, usb ? "USB FT232R A50285BI" : "/dev/parport0", c.kind)};
    PortNotices notices;
    FakeServices ui;
    Link link;
    ReachChosenPort(usb ? kAdapterOnLpt1 : kLpt1, ports, notices, ui, link.session);
    EXPECT_EQ(ports.reached, std::vector<std::string>{usb ? "USB FT232R A50285BI" : "0x378"});
    EXPECT_EQ(link.session.lines.ReadStatus(), 0xFF) << "the link holds no port";
    ASSERT_EQ(ui.messages.size(), 1u);
    const test::Message& box = ui.messages[0];
    EXPECT_EQ(box.title, "Interface Port");
    EXPECT_EQ(box.style, MessageStyle::MB_ICONSTOP);
    const std::string head = std::string(usb ? "LPT1 (USB FT232R A50285BI)" : "LPT1 (0x378)") +
                             " cannot be reached: " + c.why + ". ";
    ASSERT_EQ(box.text.rfind(head, 0), 0u) << box.text;
    const std::string remedy = box.text.substr(head.size());
    EXPECT_NE(remedy.find(c.remedy), std::string::npos) << remedy;
    EXPECT_EQ(remedy.find('{'), std::string::npos) << remedy;
    EXPECT_EQ(remedy.back(), '.');
    remedies.push_back(remedy);
  }
  std::sort(remedies.begin(), remedies.end());
  EXPECT_EQ(std::adjacent_find(remedies.begin(), remedies.end()), remedies.end())
      << "two reasons share a remedy";
}

TEST(PortNotice, EachPortAndReasonIsToldOnceARun) {
  ScriptedReach ports;
  PortNotices notices;
  FakeServices ui;
  Link link;
  const auto press = [&](const ChosenPort& chosen, std::optional<PortProblem> answer) {
    ports.answers = {std::move(answer)};
    ReachChosenPort(chosen, ports, notices, ui, link.session);
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
  EXPECT_EQ(ports.reached,
            (std::vector<std::string>{"0x378", "0x378", "0x378", "0x378", "0x378", "0xD010"}));
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
  SystemPorts host(AdaptersOnlySetup(bus, counter));
  const ChosenPort lpt1{PortChoice::LPT1, TargetOf(host.Ports(), PortChoice::LPT1)};
  PortNotices notices;
  FakeServices ui;
  LinkSession link(counter);
  std::vector<std::string> said;
  const auto pressTwice = [&] {
    for (int press = 0; press < 2; ++press) ReachChosenPort(lpt1, host, notices, ui, link);
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

// The link is handed the port object reached, and says nothing about it.
TEST(PortNotice, AReachablePortSaysNothingAndTheLinkUsesIt) {
  ScriptedReach ports;
  PortNotices notices;
  FakeServices ui;
  Link link;
  ReachChosenPort(kCardOnLpt2, ports, notices, ui, link.session);
  EXPECT_EQ(ports.reached, std::vector<std::string>{"0xD010"});
  EXPECT_TRUE(ui.events.empty());
  EXPECT_EQ(link.session.lines.ReadStatus(), 0x5A);
}

}  // namespace
}  // namespace fennow
