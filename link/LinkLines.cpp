// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/LinkLines.h"

namespace fennow {

namespace {

class EmptySocket final : public PortIo {
 public:
  void Write(std::uint16_t, std::uint8_t) override {}
  std::uint8_t Read(std::uint16_t) override { return 0xFF; }
};

}  // namespace

PortIo& NoPort() {
  static EmptySocket port;
  return port;
}

void LinkLines::Change(std::uint32_t set, std::uint32_t clear) {
  port_.OutputLatch = ChangeLines(port_.OutputLatch, set, clear);
  io_->Write(port_.DataPort, static_cast<std::uint8_t>(port_.OutputLatch & 0xFFu));
}

std::uint8_t LinkLines::ReadStatus() {
  return io_->Read(port_.StatusPort);
}

bool LinkLines::RunWhole(const LineScript& script, LineSamples& samples) {
  if (!io_->RunScript(script, port_, samples)) return false;
  port_.OutputLatch = script.LatchAfter(port_.OutputLatch);
  return true;
}

}  // namespace fennow
