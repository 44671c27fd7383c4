// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

#include "capture/CaptureStore.h"
#include "capture/Transfer.h"
#include "link/LinkSession.h"
#include "link/PortIo.h"
#include "sim/SimulatedGameBoy.h"
#include "sim/VirtualCounter.h"
#include "tests/support/FakeServices.h"

namespace fennow {

inline void PrintTo(TransferStatus status, std::ostream* out) {
  static constexpr const char* kNames[] = {"Success", "SyncTimeout", "KeyExit", "AcknowledgeError",
                                           "PortLost"};
  *out << kNames[static_cast<std::size_t>(status)];
}

}  // namespace fennow

namespace fennow::test {

// Passes every access on to the port behind it and keeps a list of them, in order.
class RecordingPort final : public PortIo {
 public:
  struct Access {
    bool write;
    std::uint16_t address;
    std::uint8_t value;
  };

  explicit RecordingPort(PortIo& inner) : inner_(inner) {}

  void Write(std::uint16_t address, std::uint8_t value) override {
    accesses.push_back({true, address, value});
    inner_.Write(address, value);
  }
  std::uint8_t Read(std::uint16_t address) override {
    const std::uint8_t value = inner_.Read(address);
    accesses.push_back({false, address, value});
    return value;
  }

  std::vector<Access> Since(std::size_t first) const {
    return {accesses.begin() + static_cast<std::ptrdiff_t>(first), accesses.end()};
  }

  std::vector<Access> accesses;

 private:
  PortIo& inner_;
};

// A Game Boy on LPT1 behind a recording port, a virtual clock at 1 us per reading, and the
// window's state: everything the link, capture and lead-test code is run with in tests.
struct SimRig {
  SimRig() : gameBoy([this] { return counter.Now(); }), port(gameBoy), link(port, counter) {}
  SimRig(const SimRig&) = delete;
  SimRig& operator=(const SimRig&) = delete;

  VirtualCounter counter{1000};
  SimulatedGameBoy gameBoy;
  RecordingPort port;
  LinkSession link;
  FakeServices ui;
  CaptureStore store;
};

}  // namespace fennow::test
