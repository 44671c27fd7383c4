// SPDX-License-Identifier: GPL-3.0-or-later
#include "ports/PortProblem.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <span>

namespace fennow {

namespace {

// The words for one reason. {device} and {detail} stand for the problem's fields.
struct ProblemText {
  PortReason reason;
  std::string_view why;
  std::string_view remedy;
};

// A parallel port is reached through the kernel's parport_pc driver, which lists the ports in
// /proc, and its ppdev driver, which makes the /dev/parportN files; those belong to group lp,
// and a printer service or the lp driver may hold a port.
constexpr std::array<ProblemText, 7> kParallelPortTexts{{
    {PortReason::NoDevice, "no parallel-port device has that base address",
     "Load the parallel-port driver (sudo modprobe parport_pc) and check in the BIOS set-up that "
     "the port is enabled in standard (SPP) mode, then choose the port again."},
    {PortReason::NoDeviceNode, "{device} does not exist",
     "Load the parallel-port device driver (sudo modprobe ppdev), then try again."},
    {PortReason::PermissionDenied, "permission denied on {device}",
     "Add your user to group lp (sudo adduser $USER lp), then log out and in again."},
    {PortReason::Busy, "{device} is busy: another program or driver holds the port",
     "Stop the printer service (sudo systemctl stop cups) or unload the printer driver "
     "(sudo modprobe -r lp), then try again."},
    {PortReason::NotAPortDevice, "{device} is not a parallel-port device",
     "If it is a plain file left by copying something to the port, remove it (sudo rm {device}), "
     "then load the parallel-port device driver (sudo modprobe ppdev)."},
    {PortReason::DeviceLost, "{device} has gone away",
     "Check that the port's card is in place and its driver loaded (sudo modprobe parport_pc), "
     "then choose the port again."},
    {PortReason::Other, "{device}: {detail}",
     "Look for the cause in the kernel's messages (sudo dmesg), then try again."},
}};

// A USB link adapter is reached through libusb's device files under /dev/bus/usb, which only
// root may open until a udev rule gives the user at the desk (or in group plugdev) access. One
// program at a time can claim it, and the kernel's serial driver lets go of it only when nobody has
// its /dev/ttyUSBn open. It can be pulled out at any time; it is opened again by its serial number.
// The box names the adapter already, so the words say "the adapter". Reasons a USB adapter never
// has fall back to the last row.
constexpr std::array<ProblemText, 4> kUsbAdapterTexts{{
    {PortReason::PermissionDenied, "permission denied on the adapter",
     "Give yourself access with the udev rule for USB link adapters: the fennow-link package "
     "installs it; otherwise copy packaging/udev/70-fennow-link-usb.rules from the program's "
     "source to /etc/udev/rules.d (sudo cp). Then unplug the adapter and plug it in again. Away "
     "from the desktop (over ssh, say), also join group plugdev (sudo adduser $USER plugdev) "
     "and log in again."},
    {PortReason::Busy, "the adapter is busy: another program holds it",
     "Close the other program that uses the adapter (a serial terminal on its /dev/ttyUSB port, "
     "say); if there is none, unload the serial driver (sudo modprobe -r ftdi_sio). Then try "
     "again."},
    {PortReason::DeviceLost, "the adapter is not on the USB bus",
     "Plug it back in and try again, or choose the port again to use the adapters plugged in "
     "now."},
    {PortReason::Other, "the adapter did not answer as it should in bit-bang mode: {detail}",
     "Unplug the adapter and plug it in again, then try again. If that does not help, look for "
     "the cause in the kernel's messages (sudo dmesg)."},
}};

struct KindTexts {
  PortKind kind;
  std::span<const ProblemText> texts;
};

constexpr std::array<KindTexts, 2> kTextsByKind{{
    {PortKind::ParallelPort, kParallelPortTexts},
    {PortKind::UsbAdapter, kUsbAdapterTexts},
}};

const ProblemText& TextFor(const PortProblem& problem) {
  const auto kind = std::find_if(kTextsByKind.begin(), kTextsByKind.end(),
                                 [&](const KindTexts& k) { return k.kind == problem.kind; });
  const std::span<const ProblemText> texts =
      kind != kTextsByKind.end() ? kind->texts : kTextsByKind.front().texts;
  const auto found = std::find_if(texts.begin(), texts.end(), [&](const ProblemText& text) {
    return text.reason == problem.reason;
  });
  return found != texts.end() ? *found : texts.back();
}

std::string Fill(std::string_view pattern, const PortProblem& problem) {
  std::string text(pattern);
  const auto replace = [&text](std::string_view field, const std::string& value) {
    for (std::size_t at = text.find(field); at != std::string::npos;
         at = text.find(field, at + value.size())) {
      text.replace(at, field.size(), value);
    }
  };
  replace("{device}", problem.device);
  replace("{detail}", problem.detail);
  return text;
}

}  // namespace

PortReason ReasonForError(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
      return PortReason::PermissionDenied;
    case EBUSY:
      return PortReason::Busy;
    case ENOTTY:
    case EINVAL:
      return PortReason::NotAPortDevice;
    case ENOENT:
      return PortReason::NoDeviceNode;
    case ENODEV:
    case ENXIO:
      return PortReason::DeviceLost;
    default:
      return PortReason::Other;
  }
}

PortProblem DeviceProblem(PortKind kind, const std::string& device, int error) {
  return {kind, ReasonForError(error), device, std::strerror(error)};
}

std::string WhyText(const PortProblem& problem) {
  return Fill(TextFor(problem).why, problem);
}

std::string DetailedWhyText(const PortProblem& problem) {
  const std::string_view why = TextFor(problem).why;
  if (problem.detail.empty() || why.find("{detail}") != std::string_view::npos) {
    return Fill(why, problem);
  }
  return Fill(why, problem) + " (" + problem.detail + ")";
}

std::string RemedyText(const PortProblem& problem) {
  return Fill(TextFor(problem).remedy, problem);
}

std::string ExplainProblem(std::string_view port, const PortProblem& problem) {
  return std::string(port) + " cannot be reached: " + WhyText(problem) + ". " + RemedyText(problem);
}

}  // namespace fennow
