// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

namespace fennow {

// The data register after clearing `clear` and then setting `set`: the one rule by which the
// output lines change, whether at once (LinkLines::Change) or later, as part of a script.
constexpr std::uint32_t ChangeLines(std::uint32_t latch, std::uint32_t set, std::uint32_t clear) {
  return (latch & ~clear) | set;
}

// One step of activity on the lead's lines.
struct LineStep {
  enum class Kind : std::uint8_t {
    Change,  // one write of the data register, through OutputLatch
    Wait,    // at least `us` microseconds before the next step
    Sample,  // one read of the status register
  };
  Kind kind;
  std::uint32_t set = 0;    // Change: lines raised (after `clear` are lowered)
  std::uint32_t clear = 0;  // Change: lines lowered
  std::int32_t us = 0;      // Wait
};

// The status register as each Sample step of a script read it, in order.
using LineSamples = std::vector<std::uint8_t>;

// What an operation does to the lines, written down before it is done: a byte's eight clocks, a
// synchronisation clock, the lead test's four steps. The link performs it step by step on a
// parallel port; a back end for which every access is a USB round trip takes it whole, so that a
// byte costs one round trip instead of thirty-four (see PortIo::RunScript).
class LineScript {
 public:
  LineScript& Change(std::uint32_t set, std::uint32_t clear) {
    steps_.push_back({LineStep::Kind::Change, set, clear, 0});
    return *this;
  }
  LineScript& Set(std::uint32_t lines) { return Change(lines, 0); }
  LineScript& Clear(std::uint32_t lines) { return Change(0, lines); }
  LineScript& Put(std::uint32_t lines, bool high) { return high ? Set(lines) : Clear(lines); }
  LineScript& Wait(std::int32_t us) {
    steps_.push_back({LineStep::Kind::Wait, 0, 0, us});
    return *this;
  }
  // Milliseconds, turned into microseconds exactly as DelayMilliseconds turns them.
  LineScript& WaitMs(std::int32_t ms);
  // Marks the script as one in which nothing depends on what its samples read, such as the bytes
  // of a payload: a port may then queue all of it ahead and hold even its long waits at the lines,
  // instead of leaving them to the host between round trips.
  LineScript& Streamable() {
    streamable_ = true;
    return *this;
  }
  // Appends every step of `other`.
  LineScript& Append(const LineScript& other);
  LineScript& Sample() {
    steps_.push_back({LineStep::Kind::Sample, 0, 0, 0});
    ++samples_;
    return *this;
  }

  const std::vector<LineStep>& Steps() const { return steps_; }
  std::size_t SampleCount() const { return samples_; }
  bool IsStreamable() const { return streamable_; }
  // The data register as the script leaves it, from `latch` as it stands before.
  std::uint32_t LatchAfter(std::uint32_t latch) const;

 private:
  std::vector<LineStep> steps_;
  std::size_t samples_ = 0;
  bool streamable_ = false;
};

}  // namespace fennow
