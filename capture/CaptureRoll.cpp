// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/CaptureRoll.h"

#include <algorithm>

namespace fennow {

void CaptureRoll::Add(const CaptureStore& capture) {
  if (capture.Kind == CaptureKind::None) return;
  entries_.insert(entries_.begin(), Entry{capture, false});
}

void CaptureRoll::MarkSaved(std::size_t index) {
  if (index < entries_.size()) entries_[index].saved = true;
}

std::size_t CaptureRoll::UnsavedCount() const {
  return static_cast<std::size_t>(
      std::count_if(entries_.begin(), entries_.end(), [](const Entry& e) { return !e.saved; }));
}

}  // namespace fennow
