// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractButton>
#include <QColor>

namespace fennow {

// A status lamp: a small sunken square, pressed in and filled with its colour when lit, raised
// and dark otherwise. It is checkable but never auto-exclusive: Qt would otherwise let lighting
// one lamp put out its siblings (lamps and port buttons share one parent). Lamps are created
// disabled, so only SetLamp ever changes one.
class LampButton final : public QAbstractButton {
  Q_OBJECT

 public:
  LampButton(QColor colour, QWidget* parent);

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor colour_;
};

}  // namespace fennow
