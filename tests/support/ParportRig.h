// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "ports/PortSelection.h"
#include "ports/SystemPorts.h"
#include "ports/parport/ParportDevice.h"
#include "sim/SimulatedGameBoy.h"
#include "sim/VirtualCounter.h"
#include "tests/support/FakeParport.h"
#include "tests/support/FakePpdev.h"
#include "tests/support/FakeServices.h"
#include "tests/support/PortRoad.h"

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

// The Game Boy behind parport0 at 0x378 (a card's ECP registers beside it), the model of the
// kernel's ppdev over a fake /proc and /dev, and a virtual clock at 1 us per reading.
struct ParportMachine {
  explicit ParportMachine(const std::string& name)
      : tree(name),
        kernel(tree),
        gameBoy([this] { return counter.Now(); }),
        wire(gameBoy),
        port(kernel.AddPort(0, 0x378, &wire, "1912")) {
    gameBoy.SetRecording(false);
  }
  ParportMachine(const ParportMachine&) = delete;
  ParportMachine& operator=(const ParportMachine&) = delete;

  std::string Device() const { return tree.Device("parport0"); }
  SystemPortsSetup Environment() {
    SystemPortsSetup environment;
    environment.parportProcRoot = tree.proc().string();
    environment.deviceRoot = tree.dev().string();
    environment.openDevice = [this](const ParportEntry& entry) {
      return OpenParportDevice(kernel, entry);
    };
    return environment;
  }

  FakeParportTree tree;
  FakePpdev kernel;
  VirtualCounter counter{1000};
  SimulatedGameBoy gameBoy;
  Tripwire wire;
  FakePpdevPort& port;
};

// That machine, reached the way the window reaches it.
struct ParportRig : ParportMachine, PortRoad {
  explicit ParportRig(const std::string& name)
      : ParportMachine(name), PortRoad(Environment(), counter) {}
};

}  // namespace fennow::test
