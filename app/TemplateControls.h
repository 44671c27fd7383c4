// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>
#include <span>

#include "app/DialogTemplates.h"
#include "app/DialogUnits.h"

namespace fennow {

// The Qt property holding a control's ID; static controls carry kStaticId.
inline constexpr const char* kControlIdProperty = "controlId";

// Creates one control of a template on the dialog, at its place and with its ID, caption and
// focus behaviour. Pictures take their image's natural size; one whose image cannot be loaded
// keeps the template's rectangle and shows its frame only.
QWidget* CreateControl(QWidget& dialog, const ControlTemplate& row, DialogBaseUnits units);

// Creates a whole template in order, sends the group boxes to the back (they are created after
// some of the controls they frame and would otherwise take their clicks) and chains the tab stops
// in template order.
void CreateControls(QWidget& dialog, std::span<const ControlTemplate> rows, DialogBaseUnits units);

// The control with the given ID, or null.
QWidget* ControlById(const QWidget& dialog, int id);

}  // namespace fennow
