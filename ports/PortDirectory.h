// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ports/PortAssignment.h"
#include "ports/PortProblem.h"

namespace fennow {

// The ports a program offers and whether each can be reached: the window's view of the machine.
class PortDirectory {
 public:
  virtual ~PortDirectory() = default;
  // What each choice reaches, from the ports the system has at this moment.
  virtual PortTable Ports() = 0;
  // Readies the port at `base` for the operation about to run: opens it unless it is open
  // already, trying afresh when the last attempt failed. Nothing when the port can be used,
  // otherwise why not.
  virtual std::optional<PortProblem> Reach(std::uint16_t base) = 0;
  // What the open port at `base` is reached through ("/dev/parport0", "direct I/O", an adapter's
  // name); empty when none is open there.
  virtual std::string DeviceOf(std::uint16_t base) const {
    static_cast<void>(base);
    return {};
  }
  // What was measured when the port at `base` was opened (a USB adapter's rate and round trip);
  // empty when nothing was.
  virtual std::string OpenReport(std::uint16_t base) const {
    static_cast<void>(base);
    return {};
  }
};

// The choices on their legacy addresses, always reachable: the lead of the simulated Game Boy.
class LegacyPortDirectory final : public PortDirectory {
 public:
  PortTable Ports() override { return LegacyPorts(); }
  std::optional<PortProblem> Reach(std::uint16_t) override { return std::nullopt; }
  std::string DeviceOf(std::uint16_t) const override { return "simulated Game Boy"; }
};

}  // namespace fennow
