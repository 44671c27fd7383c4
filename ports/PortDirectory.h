// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

#include "link/PortIo.h"
#include "ports/PortAssignment.h"
#include "ports/PortProblem.h"

namespace fennow {

// What reaching a port gives the operation about to run: the port object its link is to use, and
// why the port cannot be reached when it cannot (the object then reads like an empty socket).
struct ReachedPort {
  PortIo* port = &NoPort();  // never null; valid until the directory's next Reach or Ports
  std::optional<PortProblem> problem;
};

// The ports a program offers, how each is opened and why one cannot be: the window's view of the
// machine. It lists and opens; the link then talks to the port object it was given.
class PortDirectory {
 public:
  virtual ~PortDirectory() = default;
  // What each choice reaches, from the ports the system has at this moment.
  virtual PortTable Ports() = 0;
  // Readies `target` (one that Ports() gave) for the operation about to run: opens it unless it is
  // open already, trying afresh when the last attempt failed.
  virtual ReachedPort Reach(const PortTarget& target) = 0;
  // Lets go of what Reach opened for `target` where others may want it between operations: a
  // parallel port's claim, which the printer driver shares. The port object Reach gave is then no
  // longer valid; the next Reach claims the port again.
  virtual void Release(const PortTarget& target) { static_cast<void>(target); }
  // What the open port `target` is reached through ("/dev/parport0", "direct I/O", an adapter's
  // name); empty when it is not open.
  virtual std::string DeviceOf(const PortTarget& target) const {
    static_cast<void>(target);
    return {};
  }
  // What was measured when `target` was opened (a USB adapter's rate and round trip); empty when
  // nothing was.
  virtual std::string OpenReport(const PortTarget& target) const {
    static_cast<void>(target);
    return {};
  }
};

// The choices on their legacy addresses, each reached as `lead`, always: the simulated Game Boy,
// which answers at the addresses it sits at.
class LegacyPortDirectory final : public PortDirectory {
 public:
  explicit LegacyPortDirectory(PortIo& lead) : lead_(lead) {}
  PortTable Ports() override { return LegacyPorts(); }
  ReachedPort Reach(const PortTarget&) override { return {&lead_, std::nullopt}; }
  std::string DeviceOf(const PortTarget&) const override { return "simulated Game Boy"; }

 private:
  PortIo& lead_;
};

}  // namespace fennow
