// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CaptureViews.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <vector>

#include "app/CapturePreview.h"

namespace fennow {

namespace {

// The plot's frame, in its own pixels: the samples across, the values up.
constexpr int kPlotWidth = 600;
constexpr int kPlotHeight = 256;
constexpr int kSampleTick = 200;
constexpr int kValueTick = 64;

}  // namespace

QString CaptureTitle(const CaptureStore& store) {
  const QString kind =
      store.Kind == CaptureKind::Screen ? QStringLiteral("Screen") : QStringLiteral("Data");
  if (store.CapturedAt == 0) return kind;
  const QDateTime at = QDateTime::fromSecsSinceEpoch(store.CapturedAt).toLocalTime();
  return at.toString(QStringLiteral("HH:mm:ss")) + QStringLiteral("  ") + kind;
}

QImage ScreenView(const CaptureStore& store, const ScreenLook& look) {
  const std::vector<std::uint8_t> file = ScreenPngFile(store, look);
  QImage image;
  image.loadFromData(file.data(), static_cast<int>(file.size()), "PNG");
  return image;
}

int ScaleToFit(int width, int height) {
  int best = 1;
  for (int scale : kScreenScales) {
    if (kScreenWidth * scale <= width && kScreenHeight * scale <= height) best = scale;
  }
  return best;
}

QImage DataPlot(const CaptureStore& store, const QPalette& palette, const QFont& font) {
  const QFontMetrics metrics(font);
  const int left = metrics.horizontalAdvance(QStringLiteral("-128")) + metrics.height();
  const int top = metrics.height();
  const int bottom = 3 * metrics.height() + metrics.height() / 2;
  QImage image(left + kPlotWidth + metrics.height(), top + kPlotHeight + bottom,
               QImage::Format_RGB32);
  image.fill(palette.color(QPalette::Base));
  QPainter painter(&image);
  painter.setFont(font);
  const QColor text = palette.color(QPalette::Text);
  const QColor grid = palette.color(QPalette::Mid);
  const auto x = [&](int sample) { return left + sample * (kPlotWidth - 1) / (kSampleCount - 1); };
  const auto y = [&](int value) { return top + (127 - value) * (kPlotHeight - 1) / 255; };

  // The grid and its labels: sample numbers under the frame, values to its left.
  for (int sample = 0; sample < kSampleCount; sample += kSampleTick) {
    painter.setPen(QPen(grid, 1, Qt::DotLine));
    painter.drawLine(x(sample), top, x(sample), top + kPlotHeight - 1);
    painter.setPen(text);
    painter.drawText(QRect(x(sample) - 40, top + kPlotHeight, 80, metrics.height()),
                     Qt::AlignHCenter | Qt::AlignTop, QString::number(sample));
  }
  for (int value = -128; value <= 127; value += kValueTick) {
    painter.setPen(QPen(grid, 1, Qt::DotLine));
    painter.drawLine(left, y(value), left + kPlotWidth - 1, y(value));
    painter.setPen(text);
    painter.drawText(
        QRect(0, y(value) - metrics.height() / 2, left - metrics.height() / 2, metrics.height()),
        Qt::AlignRight | Qt::AlignVCenter, QString::number(value));
  }
  painter.setPen(text);
  painter.drawRect(left, top, kPlotWidth - 1, kPlotHeight - 1);
  painter.drawText(QRect(left, top + kPlotHeight + metrics.height(), kPlotWidth, metrics.height()),
                   Qt::AlignHCenter, QStringLiteral("sample"));

  QPainterPath trace;
  for (int k = 0; k < kSampleCount; ++k) {
    const QPointF point(x(k) + 0.5, y(127 - store.Byte(static_cast<std::size_t>(k))) + 0.5);
    k == 0 ? trace.moveTo(point) : trace.lineTo(point);
  }
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setPen(QPen(palette.color(QPalette::Highlight), 1.5));
  painter.drawPath(trace);

  painter.setPen(text);
  painter.drawText(
      QRect(left, top + kPlotHeight + 2 * metrics.height(), kPlotWidth, metrics.height()),
      Qt::AlignHCenter, QStringLiteral("Scale values: ") + ScaleLegend(store));
  return image;
}

}  // namespace fennow
