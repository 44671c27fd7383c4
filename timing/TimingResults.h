// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

#include "capture/Transfer.h"

// What the timing benchmark measures in one run, and its report.
namespace fennow {

constexpr double kNsPerUs = 1e3;
constexpr double kNsPerMs = 1e6;
constexpr int kDelayCalls = 100000;
constexpr int kServiceCalls = 2000;
constexpr int kCostBytes = 200000;

struct Percentiles {
  double medianUs;
  double p99Us;
  double maxUs;
};

struct WindowCosts {
  Percentiles setProgress;
  Percentiles setLamp;
};

struct ByteCost {
  double directNs;  // an exchange straight on the Game Boy's registers
  double hostNs;    // the same through the program's own ports
};

struct TransferRun {
  const char* name;
  TransferStatus status;
  bool intact;
  std::uint64_t syncClocks;
  std::uint64_t exchanges;
  double floorMs;
  double wallMs;
  double cpuMs;  // the process's processor time over the same transfer
};

// How the simulated adapter is built for a run: its chip, its USB round trip and its true pin
// rate as a multiple of its baud rate.
struct UsbModel {
  const char* chip;
  std::uint16_t product;
  std::int64_t roundTripMs;
  int multiplier;
  double updatesPerRate;
};

// A transfer through the simulated USB adapter, and the round trips it took.
struct UsbRun {
  const char* clock;
  UsbModel model;
  TransferRun run;
  std::uint64_t roundTrips;
};

struct Results {
  Percentiles halfBit{};
  std::vector<TransferRun> runs;
  WindowCosts costs{};
  std::vector<UsbRun> usbRuns;
  ByteCost byteCost{};
};

// Prints the tables; true when every transfer arrived intact.
bool PrintResults(const Results& results);

}  // namespace fennow
