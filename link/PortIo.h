#pragma once

#include <cstdint>

namespace fennow {

// The two things the link ever does to hardware: write a byte to an I/O address and read a byte
// from one. Each call must reach the register at once and in program order. The parallel-port
// device, direct port I/O, an unreachable port and the simulated Game Boy all sit behind it.
class PortIo {
 public:
  virtual ~PortIo() = default;
  virtual void Write(std::uint16_t address, std::uint8_t value) = 0;
  virtual std::uint8_t Read(std::uint16_t address) = 0;
};

}  // namespace fennow
