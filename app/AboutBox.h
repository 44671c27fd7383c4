// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include "app/DialogUnits.h"

namespace fennow {

// The About box. Its OK button, Enter, Escape and the close box end it; it handles nothing
// itself. It has no parent: whoever runs it places it over the main window.
class AboutBox final : public QDialog {
  Q_OBJECT

 public:
  AboutBox();

  DialogBaseUnits BaseUnits() const { return units_; }

 private:
  DialogBaseUnits units_{};
};

}  // namespace fennow
