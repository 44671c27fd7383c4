// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <vector>

#include "capture/CaptureStore.h"

namespace fennow {

// Every capture that came whole in a run, newest first, and whether each has been saved since:
// a second transfer never takes away the first one's capture, and the window can ask before
// throwing away one that was never saved.
class CaptureRoll {
 public:
  struct Entry {
    CaptureStore capture;
    bool saved = false;
  };

  // A capture that came whole; it becomes the newest.
  void Add(const CaptureStore& capture);
  // The capture at `index` (0: the newest) has been written to a file.
  void MarkSaved(std::size_t index);
  std::size_t UnsavedCount() const;

  const std::vector<Entry>& Entries() const { return entries_; }

 private:
  std::vector<Entry> entries_;
};

}  // namespace fennow
