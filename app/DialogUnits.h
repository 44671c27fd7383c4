// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QRect>

class QFontMetrics;

namespace fennow {

// A rectangle of a dialog template, in dialog units.
struct DialogRect {
  int x;
  int y;
  int width;
  int height;
};

// Pixels in four horizontal and in eight vertical dialog units: the dialog font's average letter
// width and its height.
struct DialogBaseUnits {
  int x;
  int y;
  bool operator==(const DialogBaseUnits&) const = default;
};

// What a machine with no usable font gets: the base units of the 8 pt face the layout was drawn
// with, so the window keeps its proportions instead of collapsing to nothing.
inline constexpr DialogBaseUnits kFallbackBaseUnits{6, 13};

// widthOfLetters: advance of the 52 letters "A".."Z" "a".."z" set in one run. The average is
// rounded to the nearest pixel, as the dialog manager the templates were drawn for does.
DialogBaseUnits BaseUnitsFrom(int widthOfLetters, int fontHeight);
DialogBaseUnits BaseUnitsOf(const QFontMetrics& metrics);

// One coordinate at a time, each rounded to the nearest pixel, so that controls that share an
// edge in dialog units share it in pixels too.
int HorizontalPixels(int dialogUnits, DialogBaseUnits units);
int VerticalPixels(int dialogUnits, DialogBaseUnits units);
QRect ToPixels(const DialogRect& rect, DialogBaseUnits units);

// The face the layout is measured in: the desktop's own, at its size, so that the window grows
// with a larger font as a dialog laid out in dialog units does. (The templates were drawn for an
// 8 pt sans serif face, whose base units kFallbackBaseUnits are.)
QFont DialogFont();

}  // namespace fennow
