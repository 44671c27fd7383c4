// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace fennow {

// The chip's two status bytes at the start of every bulk IN packet (its modem and line status),
// which are no part of the data.
inline constexpr std::size_t kPacketStatusBytes = 2;

// Copies the data of a bulk IN transfer that brought `raw`, packets of `packetSize` bytes (the
// last may be short), into `into`: every packet's status bytes dropped, as much as fits. Returns
// the bytes copied.
std::size_t TakePacketData(std::span<const std::uint8_t> raw, std::size_t packetSize,
                           std::span<std::uint8_t> into);

}  // namespace fennow
