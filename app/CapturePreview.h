// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QString>

#include "capture/CaptureStore.h"

namespace fennow {

// The picture the main window shows: the last capture, so the user sees what they are about to
// save, or the idle picture when the store holds none.
QImage CapturePreview(const CaptureStore& store, const QImage& idle);

// The stored screen exactly as the bitmap file shows it (built from the same bytes).
QImage ScreenPreview(const CaptureStore& store);

// The 1202 samples as a trace on an oscilloscope graticule, with the three scale values (as the
// Mathcad file writes them) underneath.
QImage DataPreview(const CaptureStore& store);

// The legend under the trace: the three scale values, "#code" for a code without one.
QString ScaleLegend(const CaptureStore& store);

// Where sample value v (-128..127, as the Mathcad file has it) sits on the trace's graticule.
struct TraceArea {
  static constexpr int kLeft = 0;
  static constexpr int kTop = 0;
  static constexpr int kWidth = 160;
  static constexpr int kHeight = 128;
  static int RowOf(int value);      // 127 at the top, -128 at the bottom
  static int ColumnOf(int sample);  // sample 0 at the left edge, 1201 at the right
};

}  // namespace fennow
