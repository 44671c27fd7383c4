// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>

#include "link/PortIo.h"
#include "ports/PortKind.h"

namespace fennow {

// The three ports the window offers.
enum class PortChoice { LPT1, LPT2, LPT3 };
inline constexpr std::size_t kPortChoiceCount = 3;

// Where each choice is on a PC without cards: the legacy parallel-port addresses.
struct LegacyPort {
  std::string_view name;
  std::uint32_t dataPort;
  std::uint32_t statusPort;
};

inline constexpr std::array<LegacyPort, kPortChoiceCount> kLegacyAddresses{{
    {"LPT1", 0x378, 0x379},
    {"LPT2", 0x278, 0x279},
    {"LPT3", 0x3BC, 0x3BD},
}};

inline const LegacyPort& AddressesOf(PortChoice choice) {
  return kLegacyAddresses[static_cast<std::size_t>(choice)];
}

// True for the data-register address of one of the legacy ports.
bool IsLegacyAddress(std::uint32_t base);

// A port a choice can reach: the address of its data register (its status register is the next
// address), how the user is shown it, and what it is.
//
// A USB adapter has no address (base 0): it is opened by its chip and serial number, or where it
// sits on the bus.
struct PortTarget {
  PortTarget() = default;
  PortTarget(std::uint16_t at, std::string shownAs, PortKind of = PortKind::ParallelPort,
             std::uint16_t chip = 0, std::string serialNumber = {}, std::uint16_t busPlace = 0)
      : base(at),
        name(std::move(shownAs)),
        kind(of),
        product(chip),
        serial(std::move(serialNumber)),
        place(busPlace) {}

  std::uint16_t base = 0;
  std::string name;  // "0x378", "0xD010", "USB FT232R A50285BI"
  PortKind kind = PortKind::ParallelPort;
  std::uint16_t product = 0;  // a USB adapter's chip: its USB product ID
  std::string serial;         // a USB adapter's serial number; empty when it has none or it could
                              // not be read
  // An adapter without a serial number is known by where it sits: bus << 8 | address. 0 for one
  // with a serial number, which may be plugged in anywhere.
  std::uint16_t place = 0;
  bool operator==(const PortTarget&) const = default;
  // What tells one adapter from another, whichever choice it was given.
  auto Identity() const { return std::tie(product, serial, place); }
};

// What each choice reaches, indexed by PortChoice.
using PortTable = std::array<PortTarget, kPortChoiceCount>;

inline const PortTarget& TargetOf(const PortTable& table, PortChoice choice) {
  return table[static_cast<std::size_t>(choice)];
}

// "0x378", "0xD010": an address as the window and the log show it.
std::string HexAddress(std::uint32_t value);
PortTarget ParallelPortAt(std::uint16_t base);

// The three choices on their legacy addresses.
PortTable LegacyPorts();

// Gives each choice one of the ports the system has: its parallel ports in the order it numbers
// them, then its USB adapters in their own stable order.
//   - a choice keeps its legacy address when one of the parallel ports has it;
//   - the other choices take, in order, the ports that have none of the legacy addresses (a
//     PCIe card sits wherever the firmware put it, 0xD010 say), then the USB adapters;
//   - a choice still without a port keeps its legacy address, which may then be unreachable.
PortTable AssignPorts(std::span<const PortTarget> found);

}  // namespace fennow
