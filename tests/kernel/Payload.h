// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>

#include "link/Protocol.h"

// What the Game Boy behind the guest's port sends, the same in the preload library that plays it
// and in the probe that works out the file the guest must have saved from it.
namespace fennow::kernel {

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

}  // namespace fennow::kernel
