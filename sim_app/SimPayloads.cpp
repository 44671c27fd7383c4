// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim_app/SimPayloads.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <optional>

namespace fennow {

namespace {

constexpr double kPi = 3.14159265358979323846;

bool IsDark(QRgb colour) {
  return qGray(colour) < 128;
}

QString Tr(const char* text) {
  return QString::fromUtf8(text);
}

// A raw data file is at most 1205 lines of "255" and CR LF, about 6 KB; a little room is left for
// blanks around the numbers.
constexpr qint64 kRawDataLimit = 64 * 1024;
constexpr qsizetype kQuotedBytes = 40;  // of an offending line, in a message

bool IsBlankByte(char c) {
  return c == ' ' || c == '\t';
}

bool IsBlank(const QByteArray& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return IsBlankByte(c) || c == '\r'; });
}

// Blanks, one decimal number of 0 to 255 and blanks: a line without its line end.
std::optional<std::uint8_t> ParseRawLine(QByteArrayView line) {
  qsizetype at = 0;
  while (at < line.size() && IsBlankByte(line[at])) ++at;
  const qsizetype digitsFrom = at;
  int value = 0;
  for (; at < line.size() && line[at] >= '0' && line[at] <= '9'; ++at) {
    value = std::min(value * 10 + (line[at] - '0'), 256);  // 256 stands for too big
  }
  if (at == digitsFrom || value > 255) return std::nullopt;
  while (at < line.size() && IsBlankByte(line[at])) ++at;
  if (at != line.size()) return std::nullopt;
  return static_cast<std::uint8_t>(value);
}

// A line of the file in double quotes, as printable ASCII only: control bytes, DEL and every byte
// past ASCII as \xNN, so that nothing in a file can reach the terminal a message is printed on.
QString Quoted(const QByteArray& line) {
  QString quoted = QStringLiteral("\"");
  for (qsizetype i = 0; i < std::min(line.size(), kQuotedBytes); ++i) {
    const auto byte = static_cast<unsigned char>(line[i]);
    if (byte == '"' || byte == '\\') {
      quoted += QLatin1Char('\\');
      quoted += QLatin1Char(static_cast<char>(byte));
    } else if (byte >= 0x20 && byte < 0x7F) {
      quoted += QLatin1Char(static_cast<char>(byte));
    } else {
      quoted += QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
    }
  }
  if (line.size() > kQuotedBytes) quoted += QStringLiteral("...");
  return quoted + QLatin1Char('"');
}

// A path as it can be shown: its control characters (a newline or an escape in a file name)
// written out, everything else as it is.
QString Printable(const QString& path) {
  QString shown;
  for (QChar c : path) {
    if (c.category() == QChar::Other_Control) {
      shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
    } else {
      shown += c;
    }
  }
  return shown;
}

// Reads the whole of a regular file of at most kRawDataLimit bytes. Opened without waiting, so a
// pipe nobody writes to cannot hang the caller; anything but a regular file is refused before a
// byte is read, and a larger file after no more than one byte past the limit. On failure, the
// message to give, with %1 for the path.
std::optional<QString> ReadSmallFile(const QString& path, QByteArray& bytes) {
  const int fd =
      ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return Tr("cannot read %1: ") + QString::fromLocal8Bit(std::strerror(errno));
  std::optional<QString> problem;
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    problem = Tr("cannot read %1: ") + QString::fromLocal8Bit(std::strerror(errno));
  } else if (!S_ISREG(info.st_mode)) {
    problem = Tr("%1 is not a regular file; a data file is 1205 numbers, one per line");
  } else {
    bytes.resize(kRawDataLimit + 1);
    qsizetype got = 0;
    while (got < bytes.size()) {
      const ssize_t n =
          ::read(fd, bytes.data() + got, static_cast<std::size_t>(bytes.size() - got));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        problem = Tr("cannot read %1: ") + QString::fromLocal8Bit(std::strerror(errno));
        break;
      }
      if (n == 0) break;
      got += n;
    }
    bytes.truncate(got);
    if (!problem && got > kRawDataLimit) {
      problem = Tr("%1 is larger than 64 KiB; a raw data file is about 6 KB");
    }
  }
  ::close(fd);
  return problem;
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
  const QString shown = Printable(path);
  QByteArray bytes;
  if (const std::optional<QString> problem = ReadSmallFile(path, bytes)) {
    return problem->arg(shown).toStdString();
  }
  QList<QByteArray> lines = bytes.split('\n');
  // The end of the last line, and any blanks after it, make no line of their own.
  if (!lines.isEmpty() && IsBlank(lines.last())) lines.removeLast();
  if (lines.size() != kDataBytes) {
    return (Tr("%1 holds %2 lines; a data block is %3 numbers, one per line")
                .arg(shown)
                .arg(lines.size())
                .arg(kDataBytes))
        .toStdString();
  }
  DataBytes data{};
  for (int i = 0; i < kDataBytes; ++i) {
    QByteArray& line = lines[i];
    if (line.endsWith('\r')) line.chop(1);  // CR LF and LF line ends alike
    const std::optional<std::uint8_t> value = ParseRawLine(line);
    if (!value) {
      return (Tr("%1, line %2: %3 is not a number from 0 to 255")
                  .arg(shown)
                  .arg(i + 1)
                  .arg(Quoted(line)))
          .toStdString();
    }
    data[static_cast<std::size_t>(i)] = *value;
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
