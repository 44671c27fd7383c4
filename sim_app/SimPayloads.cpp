#include "sim_app/SimPayloads.h"

#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QStringList>
#include <algorithm>
#include <cmath>

namespace fennow {

namespace {

constexpr double kPi = 3.14159265358979323846;

bool IsDark(QRgb colour) {
  return qGray(colour) < 128;
}

QString Tr(const char* text) {
  return QString::fromUtf8(text);
}

}  // namespace

ScreenBytes ScreenFromImage(const QImage& image) {
  QImage canvas(kScreenWidth, kScreenHeight, QImage::Format_RGB32);
  canvas.fill(Qt::white);
  if (!image.isNull()) {
    const QImage fitted =
        image.scaled(kScreenWidth, kScreenHeight, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QPainter painter(&canvas);
    painter.drawImage((kScreenWidth - fitted.width()) / 2, (kScreenHeight - fitted.height()) / 2,
                      fitted);
  }
  // Error diffusion keeps photographs recognisable at one bit; line art passes through intact.
  const QImage mono = canvas.convertToFormat(QImage::Format_Mono, Qt::MonoOnly | Qt::DiffuseDither);
  ScreenBytes screen{};
  for (int y = 0; y < kScreenHeight; ++y) {
    for (int x = 0; x < kScreenWidth; ++x) {
      if (IsDark(mono.color(mono.pixelIndex(x, y)))) {
        screen[static_cast<std::size_t>(y * kScreenRowBytes + x / 8)] |=
            static_cast<std::uint8_t>(0x80u >> (x % 8));
      }
    }
  }
  return screen;
}

QImage ImageFromScreen(const ScreenBytes& screen) {
  QImage image(kScreenWidth, kScreenHeight, QImage::Format_RGB32);
  for (int y = 0; y < kScreenHeight; ++y) {
    for (int x = 0; x < kScreenWidth; ++x) {
      const bool dark =
          (screen[static_cast<std::size_t>(y * kScreenRowBytes + x / 8)] & (0x80u >> (x % 8))) != 0;
      image.setPixel(x, y, dark ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    }
  }
  return image;
}

Loaded<ScreenBytes> LoadScreenImage(const QString& path) {
  QImageReader reader(path);
  const QImage image = reader.read();
  if (image.isNull()) {
    return (Tr("cannot use %1 as a screen: %2").arg(path, reader.errorString())).toStdString();
  }
  return ScreenFromImage(image);
}

ScreenBytes BuiltInScreen() {
  QImage canvas(kScreenWidth, kScreenHeight, QImage::Format_RGB32);
  canvas.fill(Qt::white);
  QPainter painter(&canvas);
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(QPen(Qt::black, 1));
  // A hill, a sun and a path: shapes that show at once whether rows or columns are out of order.
  painter.setBrush(Qt::black);
  painter.drawEllipse(QPoint(124, 30), 14, 14);
  QPainterPath hill;
  hill.moveTo(0, 112);
  hill.cubicTo(40, 70, 90, 70, 160, 104);
  hill.lineTo(160, 144);
  hill.lineTo(0, 144);
  hill.closeSubpath();
  painter.drawPath(hill);
  painter.setPen(QPen(Qt::white, 3));
  painter.drawLine(20, 144, 70, 92);
  painter.setPen(QPen(Qt::black, 1));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(0, 0, kScreenWidth - 1, kScreenHeight - 1);
  QFont font = painter.font();
  font.setPixelSize(14);
  font.setBold(true);
  painter.setFont(font);
  painter.drawText(QRect(8, 8, 100, 40), Qt::AlignLeft | Qt::AlignTop, Tr("FENNOW\nLINK"));
  painter.end();
  return ScreenFromImage(canvas);
}

Loaded<DataBytes> LoadRawData(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    return (Tr("cannot read %1: %2").arg(path, file.errorString())).toStdString();
  }
  QStringList lines = QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'));
  if (!lines.isEmpty() && lines.last().trimmed().isEmpty()) lines.removeLast();
  if (lines.size() != kDataBytes) {
    return (Tr("%1 holds %2 lines; a data block is %3 numbers, one per line")
                .arg(path)
                .arg(lines.size())
                .arg(kDataBytes))
        .toStdString();
  }
  DataBytes data{};
  for (int i = 0; i < kDataBytes; ++i) {
    const QString text = lines[i].trimmed();
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok || value < 0 || value > 255) {
      return (Tr("%1, line %2: \"%3\" is not a number from 0 to 255")
                  .arg(path)
                  .arg(i + 1)
                  .arg(text.left(20)))
          .toStdString();
    }
    data[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value);
  }
  return data;
}

DataBytes BuiltInWaveform(std::uint8_t firstCode, std::uint8_t secondCode, std::uint8_t thirdCode) {
  DataBytes data{};
  for (int i = 0; i < kSampleCount; ++i) {
    const double t = i / static_cast<double>(kSampleCount);
    double level = 90.0 * std::exp(-2.5 * t) * std::sin(2 * kPi * 9 * t);
    if (i % 300 < 40) level += 25.0;  // square steps every 300 samples
    // The Game Boy sends 127 - v for a signed value v, so larger bytes are lower on screen.
    const long byte = std::lround(127.0 - level);
    data[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(std::clamp(byte, 0L, 255L));
  }
  data[kSampleCount] = firstCode;
  data[kSampleCount + 1] = secondCode;
  data[kSampleCount + 2] = thirdCode;
  return data;
}

}  // namespace fennow
