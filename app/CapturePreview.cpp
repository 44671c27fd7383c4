// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CapturePreview.h"

#include <QPainter>
#include <QPainterPath>
#include <QStringList>
#include <vector>

#include "export/FileContent.h"

namespace fennow {

namespace {

const QColor kScreenBackground(8, 24, 12);
const QColor kGraticule(36, 84, 44);
const QColor kAxis(60, 130, 70);
const QColor kTrace(120, 255, 120);
const QColor kLegend(200, 230, 200);

constexpr int kDivisions = 8;

void DrawGraticule(QPainter& painter) {
  painter.setPen(QPen(kGraticule, 1, Qt::DotLine));
  for (int i = 1; i < kDivisions; ++i) {
    const int x = TraceArea::kLeft + i * TraceArea::kWidth / kDivisions;
    const int y = TraceArea::kTop + i * TraceArea::kHeight / kDivisions;
    painter.drawLine(x, TraceArea::kTop, x, TraceArea::kTop + TraceArea::kHeight - 1);
    painter.drawLine(TraceArea::kLeft, y, TraceArea::kLeft + TraceArea::kWidth - 1, y);
  }
  painter.setPen(QPen(kAxis, 1));
  painter.drawRect(TraceArea::kLeft, TraceArea::kTop, TraceArea::kWidth - 1,
                   TraceArea::kHeight - 1);
}

}  // namespace

QString ScaleLegend(const CaptureStore& store) {
  QStringList values;
  for (int scale = 0; scale < 3; ++scale) {
    const std::uint8_t code = store.Byte(static_cast<std::size_t>(kSampleCount + scale));
    const std::optional<std::string> value = ScaleValueText(scale, code);
    values << (value ? QString::fromStdString(*value) : QStringLiteral("#%1").arg(code));
  }
  return values.join(QStringLiteral("  "));
}

int TraceArea::RowOf(int value) {
  // 256 levels onto kHeight rows, the top row for the largest value.
  return kTop + (127 - value) * (kHeight - 1) / 255;
}

int TraceArea::ColumnOf(int sample) {
  return kLeft + sample * (kWidth - 1) / (kSampleCount - 1);
}

QImage ScreenPreview(const CaptureStore& store) {
  const std::vector<std::uint8_t> file = ScreenBitmapFile(store);
  QImage image;
  image.loadFromData(file.data(), static_cast<int>(file.size()), "BMP");
  return image.convertToFormat(QImage::Format_RGB32);
}

QImage DataPreview(const CaptureStore& store) {
  QImage image(kScreenWidth, kScreenHeight, QImage::Format_RGB32);
  image.fill(kScreenBackground);
  QPainter painter(&image);
  DrawGraticule(painter);

  QPainterPath trace;
  for (int k = 0; k < kSampleCount; ++k) {
    const QPointF point(TraceArea::ColumnOf(k) + 0.5,
                        TraceArea::RowOf(127 - store.Byte(static_cast<std::size_t>(k))) + 0.5);
    k == 0 ? trace.moveTo(point) : trace.lineTo(point);
  }
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setPen(QPen(kTrace, 1));
  painter.drawPath(trace);

  QFont font = painter.font();
  font.setPixelSize(10);
  painter.setFont(font);
  painter.setPen(kLegend);
  painter.drawText(QRect(0, TraceArea::kTop + TraceArea::kHeight, kScreenWidth,
                         kScreenHeight - TraceArea::kHeight),
                   Qt::AlignCenter, ScaleLegend(store));
  return image;
}

QImage CapturePreview(const CaptureStore& store, const QImage& idle) {
  switch (store.Kind) {
    case CaptureKind::Screen:
      return ScreenPreview(store);
    case CaptureKind::Data:
      return DataPreview(store);
    default:
      return idle;
  }
}

}  // namespace fennow
