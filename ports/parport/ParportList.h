// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fennow {

// A parallel port as the kernel lists it: <procRoot>/parportN/base-addr gives its address, and
// <deviceRoot>/parportN reaches it. The /proc folder lives exactly as long as the port: the
// kernel removes it when the card goes or its driver is unloaded.
struct ParportEntry {
  int number = 0;
  std::uint16_t base = 0;
  std::string device;  // "/dev/parport0"
  std::string entry;   // "/proc/sys/dev/parport/parport0"
  bool operator==(const ParportEntry&) const = default;
};

// Every port the kernel lists, in order of N (parport2 before parport10). Folders and files that
// are not as the kernel writes them are passed over.
std::vector<ParportEntry> ListParportDevices(const std::string& procRoot,
                                             const std::string& deviceRoot);

// The lowest-numbered port whose base address equals `base`.
std::optional<ParportEntry> FindParportDevice(const std::string& procRoot,
                                              const std::string& deviceRoot, std::uint32_t base);

// The base address in a base-addr file. The kernel writes one or two decimal numbers (the second
// is the ECP registers' base, 0 for none), tab-separated, with a newline: "888\t0\n",
// "53264\t54288\n". Nothing for any other text, and for a base whose status register (base + 1)
// would lie beyond the 16-bit I/O space.
std::optional<std::uint16_t> ParseBaseAddress(std::string_view text);

// N of a folder named "parportN" as the kernel names it: no sign, no leading zero.
std::optional<int> ParsePortFolder(std::string_view name);

// Whether the port's /proc folder is still there.
bool StillListed(const std::string& entry);

}  // namespace fennow
