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

// Why a capture could not be saved at `path`, checked before anything is fetched: a name that is
// no file's ("", ".", a folder's, longer than a name may be), a folder that does not exist or is
// not one, or one the user may not write to (unless the file is there and may be written, which
// the safe writer then writes in place). Nothing when it can be tried.
std::optional<std::string> OutputProblem(const std::string& path);

// A file name for a capture the command could not save where it was asked to: `name` in the
// current folder, else in the temporary folder, with "-2", "-3" … before its extension where a
// file of that name is there already. Nothing when neither folder takes a file.
std::optional<std::string> RescueName(const std::string& name);

}  // namespace fennow
