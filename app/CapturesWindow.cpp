// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CapturesWindow.h"

#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>
#include <array>

#include "app/CapturePreview.h"
#include "app/CaptureViews.h"
#include "app/DialogTemplates.h"
#include "export/FileFormats.h"

namespace fennow {

namespace {

// The main window's Save to Disk buttons, as this window offers them: the kind each saves.
struct SaveRoute {
  int buttonId;
  const char* caption;
  CaptureKind kind;
};

constexpr std::array<SaveRoute, 3> kSaveRoutes{{
    {kScreenFormatId, "Screen Format…", CaptureKind::Screen},
    {kRawDataFormatId, "Raw Data Format…", CaptureKind::Data},
    {kMathcadFormatId, "MathCad Format…", CaptureKind::Data},
}};

constexpr const char* kSaveIdProperty = "saveButtonId";

}  // namespace

CapturesWindow::CapturesWindow(QWidget* owner, const CaptureRoll& roll, Save save,
                               const ScreenLook& look)
    : QDialog(owner, Qt::Window), roll_(roll), save_(std::move(save)), look_(look) {
  setWindowTitle(QStringLiteral("Captures"));
  auto* layout = new QVBoxLayout(this);
  list_ = new QListWidget(this);
  list_->setViewMode(QListView::IconMode);
  list_->setIconSize(QSize(kScreenWidth, kScreenHeight));
  list_->setResizeMode(QListView::Adjust);
  list_->setMovement(QListView::Static);
  list_->setSpacing(6);
  list_->setMinimumSize(3 * (kScreenWidth + 24), kScreenHeight + 4 * fontMetrics().height());
  layout->addWidget(list_);

  auto* buttons = new QHBoxLayout;
  for (const SaveRoute& route : kSaveRoutes) {
    auto* button = new QPushButton(QString::fromUtf8(route.caption), this);
    // Some styles let a layout squeeze a push button below its caption.
    button->setMinimumWidth(button->sizeHint().width());
    button->setProperty(kSaveIdProperty, route.buttonId);
    connect(button, &QPushButton::clicked, this, [this, id = route.buttonId] {
      if (list_->currentRow() < 0) return;
      save_(Selected(), id);
      Refresh();
    });
    buttons->addWidget(button);
  }
  buttons->addStretch();
  open_ = new QPushButton(QStringLiteral("Open"), this);
  connect(open_, &QPushButton::clicked, this, [this] {
    if (list_->currentRow() >= 0) Open(Selected());
  });
  buttons->addWidget(open_);
  auto* close = new QPushButton(QStringLiteral("Close"), this);
  connect(close, &QPushButton::clicked, this, &QDialog::close);
  buttons->addWidget(close);
  layout->addLayout(buttons);

  connect(list_, &QListWidget::currentRowChanged, this, [this] { Enable(); });
  connect(list_, &QListWidget::itemActivated, this, [this] { Open(Selected()); });
  Refresh();
}

std::size_t CapturesWindow::Selected() const {
  return static_cast<std::size_t>(std::max(0, list_->currentRow()));
}

QPushButton& CapturesWindow::SaveButton(int buttonId) const {
  for (QPushButton* button : findChildren<QPushButton*>()) {
    if (button->property(kSaveIdProperty).toInt() == buttonId) return *button;
  }
  return *open_;
}

void CapturesWindow::Refresh() {
  const int row = list_->currentRow();
  list_->clear();
  for (const CaptureRoll::Entry& entry : roll_.Entries()) {
    const QImage thumbnail = CapturePreview(entry.capture, QImage());
    QString title = CaptureTitle(entry.capture);
    if (!entry.saved) title += QStringLiteral("\nnot saved");
    list_->addItem(new QListWidgetItem(QIcon(QPixmap::fromImage(thumbnail)), title));
  }
  if (list_->count() > 0) list_->setCurrentRow(row >= 0 && row < list_->count() ? row : 0);
  Enable();
}

void CapturesWindow::Enable() {
  const bool any = list_->currentRow() >= 0 && Selected() < roll_.Entries().size();
  const CaptureKind kind = any ? roll_.Entries()[Selected()].capture.Kind : CaptureKind::None;
  for (const SaveRoute& route : kSaveRoutes) {
    SaveButton(route.buttonId).setEnabled(route.kind == kind);
  }
  open_->setEnabled(any);
}

void CapturesWindow::Open(std::size_t index) {
  if (index >= roll_.Entries().size()) return;
  const CaptureStore& capture = roll_.Entries()[index].capture;
  QImage image;
  if (capture.Kind == CaptureKind::Screen) {
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const QSize room = screen ? screen->availableSize() * 3 / 4 : QSize(640, 576);
    ScreenLook look = look_;
    look.scale = ScaleToFit(room.width(), room.height());
    image = ScreenView(capture, look);
  } else {
    image = DataPlot(capture, palette(), font());
  }
  delete view_;
  view_ = new QDialog(this, Qt::Window);
  view_->setAttribute(Qt::WA_DeleteOnClose, false);
  view_->setWindowTitle(CaptureTitle(capture));
  auto* layout = new QVBoxLayout(view_);
  auto* scroll = new QScrollArea(view_);
  auto* label = new QLabel(scroll);
  label->setObjectName(QStringLiteral("CaptureImage"));
  label->setPixmap(QPixmap::fromImage(image));
  scroll->setWidget(label);
  scroll->setWidgetResizable(true);
  scroll->setMinimumSize(image.size().boundedTo(QSize(1200, 900)) + QSize(4, 4));
  layout->addWidget(scroll);
  view_->show();
}

}  // namespace fennow
