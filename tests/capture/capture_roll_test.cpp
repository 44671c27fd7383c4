// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/CaptureRoll.h"

namespace fennow {
namespace {

CaptureStore Capture(CaptureKind kind, std::int64_t at) {
  CaptureStore store;
  store.Kind = kind;
  store.CapturedAt = at;
  return store;
}

// What the window keeps of a run: every whole capture, newest first; nothing for a transfer that
// left none; each saved on its own, and a second save of one changes nothing.
TEST(CaptureRoll, KeepsEveryCaptureNewestFirstAndWhichWereSaved) {
  const struct {
    const char* step;
    CaptureKind add;  // None: a save instead
    std::size_t save;
    std::vector<std::int64_t> times;  // newest first
    std::size_t unsaved;
  } steps[] = {
      {"a screen", CaptureKind::Screen, 0, {1}, 1},
      {"a data block", CaptureKind::Data, 0, {2, 1}, 2},
      {"the newest saved", CaptureKind::None, 0, {2, 1}, 1},
      {"saved again", CaptureKind::None, 0, {2, 1}, 1},
      {"a failed transfer", CaptureKind::None, 9, {2, 1}, 1},
      {"another screen", CaptureKind::Screen, 0, {3, 2, 1}, 2},
      {"the first saved", CaptureKind::None, 2, {3, 2, 1}, 1},
  };
  CaptureRoll roll;
  std::int64_t at = 0;
  for (const auto& s : steps) {
    SCOPED_TRACE(s.step);
    if (s.add != CaptureKind::None) {
      roll.Add(Capture(s.add, ++at));
    } else if (s.save == 9) {
      roll.Add(Capture(CaptureKind::None, 99));
    } else {
      roll.MarkSaved(s.save);
    }
    std::vector<std::int64_t> times;
    for (const CaptureRoll::Entry& entry : roll.Entries())
      times.push_back(entry.capture.CapturedAt);
    EXPECT_EQ(times, s.times);
    EXPECT_EQ(roll.UnsavedCount(), s.unsaved);
  }
}

}  // namespace
}  // namespace fennow
