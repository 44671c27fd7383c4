#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/PortIo.h"

namespace fennow {

// A parallel port as the kernel lists it: <procRoot>/parportN/base-addr gives its address, and
// <deviceRoot>/parportN reaches it.
struct ParportEntry {
  int number = 0;
  std::uint16_t base = 0;
  std::string device;
  bool operator==(const ParportEntry&) const = default;
};

// Every port the kernel lists, in order of N (parport2 before parport10).
std::vector<ParportEntry> ListParportDevices(const std::string& procRoot,
                                             const std::string& deviceRoot);

// The device of the lowest-numbered port whose base address equals `base`.
std::optional<std::string> FindParportDevice(const std::string& procRoot,
                                             const std::string& deviceRoot, std::uint32_t base);

// Reads the first number of a base-addr file ("888\t0\n" on a PC's first port).
std::optional<std::uint32_t> ParseBaseAddress(const std::string& text);

struct DeviceOpenResult {
  std::unique_ptr<PortIo> port;  // null on failure
  int error = 0;                 // the errno of the failed call
};

// Opens and claims a parallel-port device for the port at `base`: writes to `base` go to the data
// register, reads of `base + 1` come from the status register.
DeviceOpenResult OpenParportDevice(const std::string& path, std::uint16_t base);

}  // namespace fennow
