#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "link/PortIo.h"

namespace fennow {

// Finds the /dev/parportN whose base address, as the kernel lists it in
// <procRoot>/parportN/base-addr, equals `base`.
std::optional<std::string> FindParportDevice(const std::string& procRoot,
                                             const std::string& deviceRoot, std::uint32_t base);

// Reads the first number of a base-addr file ("888\t0\n" on a PC's first port).
std::optional<std::uint32_t> ParseBaseAddress(const std::string& text);

struct DeviceOpenResult {
  std::unique_ptr<PortIo> port;  // null on failure
  std::string reason;            // why it failed, for the one log line
};

// Opens and claims a parallel-port device for the port at `base`: writes to `base` go to the data
// register, reads of `base + 1` come from the status register.
DeviceOpenResult OpenParportDevice(const std::string& path, std::uint16_t base);

}  // namespace fennow
