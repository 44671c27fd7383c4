// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ConsoleServices.h"

#include <algorithm>
#include <string>

namespace fennow {

namespace {

constexpr int kBarWidth = 40;

}  // namespace

void ConsoleServices::SetProgress(std::int32_t position) {
  if (!drawBar_) return;
  const int percent = std::clamp(position, 0, 100);
  // The transfer sets 0 as it starts and as it ends; only a bar on its way is worth drawing.
  if (percent == drawn_ || (percent == 0 && !barShown_)) return;
  drawn_ = percent;
  barShown_ = true;
  const int filled = percent * kBarWidth / 100;
  err_ << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
       << std::string(static_cast<std::size_t>(kBarWidth - filled), ' ') << "] " << percent << "% "
       << std::flush;
}

void ConsoleServices::EndBar() {
  if (!barShown_) return;
  err_ << '\n' << std::flush;
  barShown_ = false;
  drawn_ = -1;
}

void ConsoleServices::ShowMessage(const std::string& text, const std::string&, MessageStyle) {
  EndBar();
  err_ << text;
  if (text.empty() || text.back() != '\n') err_ << '\n';
  err_ << std::flush;
}

}  // namespace fennow
