// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/LampButton.h"

#include <qdrawutil.h>

#include <QPainter>
#include <QPalette>
#include <algorithm>

namespace fennow {

LampButton::LampButton(QColor colour, QWidget* parent) : QAbstractButton(parent), colour_(colour) {
  setCheckable(true);
  setAutoExclusive(false);
  setFocusPolicy(Qt::NoFocus);
  setEnabled(false);
}

QSize LampButton::sizeHint() const {
  return QSize(16, 16);
}

void LampButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QPalette& colours = palette();
  const QRect outer = rect();
  // The sunken edge every lamp has, lit or not.
  qDrawShadePanel(&painter, outer, colours, true, 1);
  const QRect inner = outer.adjusted(1, 1, -1, -1);
  if (inner.isEmpty()) return;
  // The disabled palette would grey the lit colour out; a lamp has to read at a glance.
  const bool lit = isChecked();
  const QBrush fill(lit ? colour_ : QColor(0x5a, 0x5a, 0x5a));
  qDrawShadePanel(&painter, inner, colours, lit, 1, &fill);
  if (lit && inner.width() > 4 && inner.height() > 4) {
    // A highlight in the top left corner, so a lit lamp looks lit and not just coloured.
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour_.lighter(160));
    const int size = std::max(2, inner.width() / 3);
    painter.drawRect(inner.left() + 2, inner.top() + 2, size, size);
  }
}

}  // namespace fennow
