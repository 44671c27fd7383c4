// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPoint>
#include <string_view>

namespace fennow {

// System commands the window handles. The About entry's command sits in the range the platform
// leaves to applications; the low four bits are the platform's own and are ignored.
inline constexpr unsigned kAboutCommand = 0x10;
inline constexpr unsigned kCloseCommand = 0xF060;     // SC_CLOSE
inline constexpr unsigned kCapturesCommand = 0x20;    // the Captures window
inline constexpr unsigned kMinimiseCommand = 0xF020;  // SC_MINIMIZE
inline constexpr unsigned kRestoreCommand = 0xF120;   // SC_RESTORE

// String 101, the About entry of the window's menu.
inline constexpr std::string_view kAboutMenuText = "&About Quillet...";

constexpr bool OpensAboutBox(unsigned commandId) {
  return (commandId & 0xFFF0u) == kAboutCommand;
}

// Where the icon of a minimised window is drawn: centred, odd leftovers going to the right and
// bottom. C++ division truncates toward zero, so a client smaller than the icon puts it at a
// negative position that is exactly half the overhang.
constexpr QPoint IconPosition(int clientWidth, int clientHeight, int iconWidth, int iconHeight) {
  return QPoint((clientWidth - iconWidth + 1) / 2, (clientHeight - iconHeight + 1) / 2);
}

}  // namespace fennow
