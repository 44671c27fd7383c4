// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>

// How the adapter words its measurements and a reply that did not all come.
namespace fennow {

// std::to_chars, unlike printf, never takes a decimal comma from the user's locale.
inline std::string Fixed(double value, int decimals) {
  char text[32];
  const auto result =
      std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  return std::string(text, result.ptr);
}

// Why a reply was given up: "no reply to 26 bytes", "only 62 of 124 bytes came back within 20 ms".
inline std::string ShortReply(std::size_t got, std::size_t asked, std::int64_t limitMs) {
  if (got == 0) return "no reply to " + std::to_string(asked) + " bytes";
  return "only " + std::to_string(got) + " of " + std::to_string(asked) +
         " bytes came back within " + std::to_string(limitMs) + " ms";
}

}  // namespace fennow
