// SPDX-License-Identifier: GPL-3.0-or-later
#include "ports/parport/DirectPort.h"

#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#define FENNOW_HAS_PORT_IO 1
#endif

namespace fennow {

#ifdef FENNOW_HAS_PORT_IO

namespace {

constexpr unsigned long kRegisterCount = 3;  // data, status, control

class DirectPort final : public PortIo {
 public:
  explicit DirectPort(std::uint16_t base) : base_(base) {}
  ~DirectPort() override { ioperm(base_, kRegisterCount, 0); }
  DirectPort(const DirectPort&) = delete;
  DirectPort& operator=(const DirectPort&) = delete;

  void Write(std::uint16_t address, std::uint8_t value) override {
    if (InRange(address)) outb(value, address);
  }
  std::uint8_t Read(std::uint16_t address) override {
    return InRange(address) ? inb(address) : std::uint8_t{0xFF};
  }

 private:
  bool InRange(std::uint16_t address) const {
    return address >= base_ && address < base_ + kRegisterCount;
  }
  std::uint16_t base_;
};

}  // namespace

std::unique_ptr<PortIo> OpenDirectPort(std::uint16_t base) {
  // ioperm only succeeds for a process that already has the privilege.
  if (ioperm(base, kRegisterCount, 1) != 0) return nullptr;
  return std::make_unique<DirectPort>(base);
}

#else

std::unique_ptr<PortIo> OpenDirectPort(std::uint16_t) {
  return nullptr;
}

#endif

}  // namespace fennow
