// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AboutBox.h"

#include <QPushButton>

#include "app/DialogTemplates.h"
#include "app/TemplateControls.h"

namespace fennow {

AboutBox::AboutBox()
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setWindowTitle(
      QString::fromUtf8(kAboutCaption.data(), static_cast<qsizetype>(kAboutCaption.size())));
  setFont(DialogFont());
  units_ = BaseUnitsOf(fontMetrics());
  setFixedSize(ToPixels(kAboutSize, units_).size());
  CreateControls(*this, kAboutTemplate, units_);

  auto* ok = qobject_cast<QPushButton*>(ControlById(*this, kAboutOkId));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  ok->setFocus(Qt::OtherFocusReason);
}

}  // namespace fennow
