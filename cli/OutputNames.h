// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace fennow {

// The name of capture n (from 1) of a run, from the name given on the command line:
//   - "%d", or "%0Nd" with N from 1 to 9, takes the number, zero-padded to N digits; "%%" is a
//     percent sign;
//   - a name without a number in it is the first capture's; capture n of 2 or more gets "-n"
//     before the extension of the file's name ("shot.png", "shot-2.png"; "shot", "shot-2").
// Nothing when the name holds any other "%": it is never handed to printf.
std::optional<std::string> OutputName(std::string_view pattern, int n);

}  // namespace fennow
