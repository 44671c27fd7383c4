// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "capture/CaptureStore.h"
#include "link/LinkSession.h"
#include "ports/PortNotices.h"
#include "ports/PortSelection.h"
#include "ports/SystemPorts.h"
#include "ports/parport/ParportDevice.h"
#include "sim/SimulatedGameBoy.h"
#include "sim/VirtualCounter.h"
#include "tests/support/FakeParport.h"
#include "tests/support/FakePpdev.h"
#include "tests/support/FakeServices.h"

namespace fennow::test {

// Passes accesses on, and runs `trip` once, just before access number `at` (from 0).
class Tripwire final : public PortIo {
 public:
  explicit Tripwire(PortIo& inner) : inner_(inner) {}
  void Write(std::uint16_t address, std::uint8_t value) override {
    Count();
    inner_.Write(address, value);
  }
  std::uint8_t Read(std::uint16_t address) override {
    Count();
    return inner_.Read(address);
  }

  long at = -1;
  std::function<void()> trip;
  long accesses = 0;

 private:
  void Count() {
    if (accesses++ == at && trip) trip();
  }
  PortIo& inner_;
};

// The Game Boy behind parport0 at 0x378, a card's ECP registers beside it, reached the way the
// window reaches it: the program's own ports (SystemPorts) over a fake /proc and /dev and the model
// of the kernel's ppdev, LPT1 chosen, and a virtual clock at 1 us per reading.
struct ParportRig {
  explicit ParportRig(const std::string& name)
      : tree(name),
        kernel(tree),
        gameBoy([this] { return counter.Now(); }),
        wire(gameBoy),
        port(kernel.AddPort(0, 0x378, &wire, "1912")),
        host(Environment()),
        chosen{PortChoice::LPT1, TargetOf(host.Ports(), PortChoice::LPT1)},
        link(host, counter) {
    gameBoy.SetRecording(false);
    PointPortAt(link.port, chosen.target);
  }
  ParportRig(const ParportRig&) = delete;
  ParportRig& operator=(const ParportRig&) = delete;

  std::string Device() const { return tree.Device("parport0"); }

  FakeParportTree tree;
  FakePpdev kernel;
  VirtualCounter counter{1000};
  SimulatedGameBoy gameBoy;
  Tripwire wire;
  FakePpdevPort& port;
  SystemPorts host;
  ChosenPort chosen;
  PortNotices notices;
  LinkSession link;
  FakeServices ui;
  CaptureStore store;

 private:
  SystemPortsEnvironment Environment() {
    SystemPortsEnvironment environment;
    environment.parportProcRoot = tree.proc().string();
    environment.deviceRoot = tree.dev().string();
    environment.openDevice = [this](const ParportEntry& entry) {
      return OpenParportDevice(kernel, entry);
    };
    return environment;
  }
};

}  // namespace fennow::test
