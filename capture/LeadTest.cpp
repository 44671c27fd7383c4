// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/LeadTest.h"

#include <array>
#include <string>

#include "link/Delay.h"
#include "link/Protocol.h"

namespace fennow {

namespace {

constexpr const char* kStatusTitle = "Test Link Status";

constexpr std::uint32_t kAllOutputs = LinkDataOut | LinkClock | LoopDrive;

struct LoopStep {
  std::uint32_t set;
  std::uint32_t clear;
  std::int32_t settleMs;
  bool expectedSense;  // BUSY reads the line inverted
};

// The first step also brings the link lines down, whatever a transfer left on them.
constexpr std::array<LoopStep, 4> kSteps{{
    {0, kAllOutputs, kLeadFirstSettleMs, true},
    {LoopDrive, 0, kLeadSettleMs, false},
    {0, LoopDrive, kLeadSettleMs, true},
    {LoopDrive, 0, kLeadSettleMs, false},
}};

}  // namespace

bool TestLink(LinkSession& link, WindowServices& ui) {
  const FrontEndWaits waits(link.delay, ui);
  CheckTimer(link.delay.counter(), ui);
  ui.ShowMessage("Plug Gameboy Link Lead into PC.\nDisconnect Lead From Gameboy", kStatusTitle,
                 MessageStyle::MB_ICONINFORMATION);

  LineScript script;
  for (const LoopStep& step : kSteps) {
    script.Change(step.set, step.clear).WaitMs(step.settleMs).Sample();
  }
  script.Clear(kAllOutputs);
  const LineSamples& sense = link.Run(script);
  // A port that failed on the way read nothing of the lead: no verdict on the wiring.
  if (const std::string lost = link.lines.LostReason(); !lost.empty()) {
    ShowPortLost(ui, lost);
    return false;
  }

  bool fault = false;
  for (std::size_t i = 0; i < kSteps.size(); ++i) {
    if (((sense[i] & LoopSense) != 0) != kSteps[i].expectedSense) fault = true;
  }

  if (fault) {
    ui.ShowMessage("No Loop Back Detected", kStatusTitle, MessageStyle::MB_ICONSTOP);
    ui.ShowMessage(
        "The link lead has not been detected.\nMake sure it is pluged into the right\n"
        "port and that the wiring is correct.\n\nCheck the port is configured as a\n"
        "standard port in the BIOS and it's\naddress matches the selected port.\n",
        kStatusTitle, MessageStyle::MB_ICONINFORMATION);
  } else {
    ui.ShowMessage("Loop Back Detected OK", "Test Link", MessageStyle::MB_ICONEXCLAMATION);
    ui.ShowMessage(
        "The link lead has been detected correctly.\nIf the transfer is still not working check\n"
        "that the lead is properly pluged into the\nGameboy and that the wiring is correct.",
        kStatusTitle, MessageStyle::MB_ICONINFORMATION);
  }
  return !fault;
}

}  // namespace fennow
