// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/DialogUnits.h"

#include <QApplication>
#include <QFontMetrics>
#include <QString>

namespace fennow {

namespace {

int MulDivRounded(int value, int numerator, int denominator) {
  const long long product = static_cast<long long>(value) * numerator;
  const long long half = denominator / 2;
  const long long rounded =
      product >= 0 ? (product + half) / denominator : -((-product + half) / denominator);
  return static_cast<int>(rounded);
}

}  // namespace

DialogBaseUnits BaseUnitsFrom(int widthOfLetters, int fontHeight) {
  DialogBaseUnits units = kFallbackBaseUnits;
  if (widthOfLetters > 0) units.x = (widthOfLetters / 26 + 1) / 2;
  if (fontHeight > 0) units.y = fontHeight;
  // A face so narrow that it rounds to nothing would still stack every control at x = 0.
  if (units.x <= 0) units.x = kFallbackBaseUnits.x;
  return units;
}

DialogBaseUnits BaseUnitsOf(const QFontMetrics& metrics) {
  static const QString kLetters =
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  return BaseUnitsFrom(metrics.horizontalAdvance(kLetters), metrics.height());
}

int HorizontalPixels(int dialogUnits, DialogBaseUnits units) {
  return MulDivRounded(dialogUnits, units.x, 4);
}

int VerticalPixels(int dialogUnits, DialogBaseUnits units) {
  return MulDivRounded(dialogUnits, units.y, 8);
}

QRect ToPixels(const DialogRect& rect, DialogBaseUnits units) {
  return QRect(HorizontalPixels(rect.x, units), VerticalPixels(rect.y, units),
               HorizontalPixels(rect.width, units), VerticalPixels(rect.height, units));
}

QFont DialogFont() {
  return QApplication::font();
}

}  // namespace fennow
