#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "link/PortNotices.h"
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

PortProblem Problem(PortReason reason, std::string device = "/dev/parport0") {
  return {PortKind::ParallelPort, reason, std::move(device), "Input/output error"};
}

const ChosenPort kLpt1{PortChoice::LPT1, {0x378, "0x378"}};
const ChosenPort kCardOnLpt2{PortChoice::LPT2, {0xD010, "0xD010"}};

struct ReasonCase {
  PortReason reason;
  std::string device;
  std::string text;  // the whole box, for LPT1 at 0x378
};

// Every reason's box: the choice and address, the device tried, why, and what to do.
TEST(PortNotice, EachReasonIsExplainedWithItsRemedy) {
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
  };
  for (const ReasonCase& c : cases) {
    SCOPED_TRACE(c.text);
    ScriptedReach ports;
    ports.answers = {Problem(c.reason, c.device)};
    PortNotices notices;
    FakeServices ui;
    ReachChosenPort(kLpt1, ports, notices, ui);
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
