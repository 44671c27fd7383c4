// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

#include "link/Protocol.h"
#include "sim/SimulatedGameBoy.h"

// The Game Boy behind the guest's ports, the same in the tools that play it (the preload library
// behind the parallel port, the USB/IP server behind the adapters) and in the probe that works out
// the file the guest must have saved from it.
namespace fennow::kernel {

// The guest tools' clock, in nanoseconds.
inline std::int64_t MonotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1'000'000'000LL + ts.tv_nsec;
}

// What the Game Boy plays is told by a control file: a new session each time this changes. -1
// while there is no such file.
inline std::int64_t ControlStamp(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return -1;
  return st.st_mtim.tv_sec * 1'000'000'000LL + st.st_mtim.tv_nsec + st.st_size;
}

inline std::array<std::uint8_t, kScreenBytes> ScreenRows() {
  std::array<std::uint8_t, kScreenBytes> rows{};
  for (std::size_t i = 0; i < rows.size(); ++i) {
    rows[i] = static_cast<std::uint8_t>((i * 37 + (i / kScreenRowBytes) * 11) ^ 0x5A);
  }
  return rows;
}

inline std::array<std::uint8_t, kDataBytes> DataBlock() {
  std::array<std::uint8_t, kDataBytes> block{};
  for (std::size_t j = 0; j < block.size(); ++j) block[j] = static_cast<std::uint8_t>(j * 131 + 7);
  return block;
}

// A Game Boy sending `mode` ("screen" or "data"; anything else: none) with the lead "gameboy"
// (in it), "loop" (out of it, looped back) or "stuck" (out of it, the loop's sense stuck high).
inline std::unique_ptr<SimulatedGameBoy> PlayingGameBoy(const std::string& mode,
                                                        const std::string& lead,
                                                        SimulatedGameBoy::TimeSource now) {
  if (mode != "screen" && mode != "data") return nullptr;
  auto gameBoy = std::make_unique<SimulatedGameBoy>(std::move(now));
  gameBoy->LoadScreen(ScreenRows());
  gameBoy->LoadData(DataBlock());
  gameBoy->SetModeByte(mode == "screen" ? kModeScreen : kModeData);
  if (lead == "loop" || lead == "stuck") {
    gameBoy->SetConnection(Connection::StuckSet);
    gameBoy->SetLoopWiring(lead == "loop" ? LoopWiring::Inverted : LoopWiring::StuckSet);
  }
  return gameBoy;
}

// One line of what the Game Boy saw, for the host to judge: its edges and payload bytes, and the
// shortest clock phases, settle before a rising edge and gap between payload bytes, in ns.
inline std::string TimingLine(const SimulatedGameBoy& gameBoy) {
  const auto& edges = gameBoy.Edges();
  std::int64_t high = INT64_MAX, low = INT64_MAX, settle = INT64_MAX, gap = INT64_MAX;
  std::int64_t rose = -1, fell = -1, dataChanged = -1;
  for (const LineEdge& e : edges) {
    if (e.line == SimLine::DataOut) dataChanged = e.timeNs;
    if (e.line != SimLine::Clock) continue;
    if (e.level) {
      if (fell >= 0) low = std::min(low, e.timeNs - fell);
      if (dataChanged >= 0) settle = std::min(settle, e.timeNs - dataChanged);
      rose = e.timeNs;
    } else {
      if (rose >= 0) high = std::min(high, e.timeNs - rose);
      fell = e.timeNs;
    }
  }
  const auto& bytes = gameBoy.Bytes();
  std::size_t payload = 0;
  for (std::size_t i = 1; i < bytes.size(); ++i) {
    if (bytes[i].slot != SimState::Payload) continue;
    ++payload;
    if (bytes[i - 1].slot == SimState::Payload) {
      gap = std::min(gap, bytes[i].startNs - bytes[i - 1].endNs);
    }
  }
  char line[200];
  std::snprintf(line, sizeof line, "edges=%zu payload=%zu high=%lld low=%lld settle=%lld gap=%lld",
                edges.size(), payload, static_cast<long long>(high), static_cast<long long>(low),
                static_cast<long long>(settle), static_cast<long long>(gap));
  return line;
}

}  // namespace fennow::kernel
