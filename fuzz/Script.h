// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace fennow::fuzz {

// The fuzz input read front to back as the settings of one run. Past its end every value is 0,
// so any input, the empty one included, is a complete script.
class Script {
 public:
  Script(const std::uint8_t* data, std::size_t size) : bytes_(data, size) {}

  std::uint8_t Byte() { return at_ < bytes_.size() ? bytes_[at_++] : 0; }
  std::uint16_t Word() {
    const std::uint16_t low = Byte();
    return static_cast<std::uint16_t>(low | (Byte() << 8));
  }
  bool Flag() { return (Byte() & 1) != 0; }
  // Everything not read yet; the script ends here.
  std::span<const std::uint8_t> Rest() {
    const std::span<const std::uint8_t> rest = bytes_.subspan(at_);
    at_ = bytes_.size();
    return rest;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t at_ = 0;
};

}  // namespace fennow::fuzz
