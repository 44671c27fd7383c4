// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

#include "ports/PortKind.h"

namespace fennow {

// Why a port cannot be reached. Every kind of port reports its failures with these, so that the
// window explains them all the same way.
enum class PortReason {
  NoDevice,          // the system has no port at that address
  NoDeviceNode,      // it has the port, but not the device file that reaches it
  PermissionDenied,  // the user may not open the device
  Busy,              // another program or driver holds the port
  NotAPortDevice,    // the file at the device's name is something else
  DeviceLost,        // the device went away: a card taken out, a driver unloaded
  Other,             // anything else, in the system's own words
};

struct PortProblem {
  PortKind kind = PortKind::ParallelPort;
  PortReason reason = PortReason::Other;
  std::string device;  // the device tried ("/dev/parport0", "USB FT232R A50285BI"); may be empty
  std::string detail;  // the system's or the library's words for the error, shown for Other
  bool operator==(const PortProblem&) const = default;
};

// What an error number from opening or claiming a device means for the user.
PortReason ReasonForError(int error);
PortProblem DeviceProblem(PortKind kind, const std::string& device, int error);

// Why, in a few words that name the device: "permission denied on /dev/parport0".
std::string WhyText(const PortProblem& problem);
// The same, with the system's words after it where the words for the reason leave them out:
// "permission denied on USB FT232R A50285BI (usb_open() failed)". For logs.
std::string DetailedWhyText(const PortProblem& problem);
// What the user can do about it, in a sentence or two.
std::string RemedyText(const PortProblem& problem);
// The whole explanation, for the port as the user knows it ("LPT1 (0x378)"):
// "LPT1 (0x378) cannot be reached: <why>. <remedy>"
std::string ExplainProblem(std::string_view port, const PortProblem& problem);

}  // namespace fennow
