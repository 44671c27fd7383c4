// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/LineScript.h"

#include "link/Delay.h"

namespace fennow {

LineScript& LineScript::WaitMs(std::int32_t ms) {
  return Wait(MillisecondsAsMicroseconds(ms));
}

LineScript& LineScript::Append(const LineScript& other) {
  steps_.insert(steps_.end(), other.steps_.begin(), other.steps_.end());
  samples_ += other.samples_;
  return *this;
}

std::uint32_t LineScript::LatchAfter(std::uint32_t latch) const {
  for (const LineStep& step : steps_) {
    if (step.kind == LineStep::Kind::Change) latch = ChangeLines(latch, step.set, step.clear);
  }
  return latch;
}

}  // namespace fennow
