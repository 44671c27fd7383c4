// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/TemplateControls.h"

#include <QGroupBox>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QString>
#include <algorithm>
#include <vector>

#include "app/LampButton.h"

namespace fennow {

namespace {

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QLabel* CreatePicture(QWidget& dialog, const ControlTemplate& row, QRect area) {
  auto* picture = new QLabel(&dialog);
  if (row.sunken) picture->setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
  picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  const QPixmap image(ToQString(row.image));
  if (!image.isNull()) {
    picture->setPixmap(image);
    const int frame = picture->frameWidth();
    area.setSize(image.size() + QSize(2 * frame, 2 * frame));
  }
  picture->setGeometry(area);
  return picture;
}

int LabelWidth(const QWidget& label) {
  return label.sizeHint().width();
}

}  // namespace

QWidget* CreateControl(QWidget& dialog, const ControlTemplate& row, DialogBaseUnits units) {
  QRect area = ToPixels(row.rect, units);
  const QString caption = ToQString(row.caption);
  QWidget* control = nullptr;
  switch (row.kind) {
    case ControlKind::PushButton: {
      auto* button = new QPushButton(caption, &dialog);
      // Enter is left to the dialog. Qt's automatic default would hand the default frame to
      // the button after the focused one in the tab chain, and Enter from a port button would
      // then press that button instead of ending the window.
      button->setAutoDefault(false);
      button->setFocusPolicy(Qt::StrongFocus);
      control = button;
      break;
    }
    case ControlKind::PortButton: {
      auto* button = new QPushButton(caption, &dialog);
      button->setCheckable(true);
      // Not a tab stop, but a click does take the focus.
      button->setAutoDefault(false);
      button->setFocusPolicy(Qt::ClickFocus);
      control = button;
      break;
    }
    case ControlKind::Lamp:
      control = new LampButton(
          row.id == kErrorLampId ? QColor(0xe0, 0x20, 0x20) : QColor(0x20, 0xd0, 0x30), &dialog);
      break;
    case ControlKind::Picture:
      control = CreatePicture(dialog, row, area);
      break;
    case ControlKind::GroupBox:
      control = new QGroupBox(caption, &dialog);
      break;
    case ControlKind::Label: {
      auto* label = new QLabel(caption, &dialog);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      control = label;
      break;
    }
    case ControlKind::ProgressBar: {
      auto* bar = new QProgressBar(&dialog);
      bar->setRange(0, 100);
      bar->setValue(0);
      bar->setTextVisible(false);
      control = bar;
      break;
    }
  }
  control->setObjectName(ToQString(row.name));
  control->setProperty(kControlIdProperty, row.id);
  // Dialog units follow the font's average letter, rounded to whole pixels; a label whose words
  // are wider than that in the desktop's face takes the width they need, so none is cut off.
  if (row.kind == ControlKind::Label) area.setWidth(std::max(area.width(), LabelWidth(*control)));
  if (row.kind != ControlKind::Picture) control->setGeometry(area);
  return control;
}

void CreateControls(QWidget& dialog, std::span<const ControlTemplate> rows, DialogBaseUnits units) {
  std::vector<QWidget*> groups;
  std::vector<QWidget*> tabStops;
  for (const ControlTemplate& row : rows) {
    QWidget* control = CreateControl(dialog, row, units);
    if (row.kind == ControlKind::GroupBox) groups.push_back(control);
    if (row.kind == ControlKind::PushButton) tabStops.push_back(control);
  }
  for (QWidget* group : groups) group->lower();
  for (std::size_t i = 1; i < tabStops.size(); ++i) {
    QWidget::setTabOrder(tabStops[i - 1], tabStops[i]);
  }
}

QWidget* ControlById(const QWidget& dialog, int id) {
  const auto children = dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
  for (QWidget* child : children) {
    if (child->property(kControlIdProperty).toInt() == id) return child;
  }
  return nullptr;
}

}  // namespace fennow
