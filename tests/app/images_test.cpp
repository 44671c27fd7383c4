// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QFile>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <set>
#include <string>
#include <vector>

#include "app/DialogTemplates.h"
#include "art/Artwork.h"
#include "art/PngFile.h"
#include "tests/support/WindowRig.h"

namespace fennow::test {
namespace {

// Pixmaps, and with them QIcon, need an application object; the offscreen platform serves.
class QtResources : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { TestApp(); }
};

QRgb Opaque(const art::Rgb& c) {
  return qRgb(c.red, c.green, c.blue);
}

// Qt's own decoders must see, pixel for pixel, what the code drew: this checks row order, bit
// order and the palette through a reader we did not write.
void ExpectSamePixels(const QImage& decoded, const art::Canvas& drawn,
                      const std::vector<art::Rgb>& palette) {
  ASSERT_EQ(decoded.width(), drawn.width());
  ASSERT_EQ(decoded.height(), drawn.height());
  int wrong = 0;
  for (int y = 0; y < drawn.height(); ++y) {
    for (int x = 0; x < drawn.width(); ++x) {
      const std::uint8_t p = drawn.At(x, y);
      const QRgb got = decoded.pixel(x, y);
      const bool ok = p == art::kClear ? qAlpha(got) == 0 : got == Opaque(palette[p]);
      if (!ok && ++wrong <= 5) ADD_FAILURE() << "pixel " << x << "," << y << " differs";
    }
  }
  EXPECT_EQ(wrong, 0);
}

// Every path the templates name is embedded: a renamed file would otherwise show only as an
// empty frame.
TEST_F(QtResources, EveryImageTheWindowsNameIsEmbedded) {
  std::vector<std::string> paths{kIconResource};
  for (const ControlTemplate& row : kMainTemplate) {
    if (!row.image.empty()) paths.emplace_back(row.image);
  }
  for (const ControlTemplate& row : kAboutTemplate) {
    if (!row.image.empty()) paths.emplace_back(row.image);
  }
  EXPECT_EQ(paths, (std::vector<std::string>{":/art/icon128.ico", ":/art/bitmap131.bmp",
                                             ":/art/bitmap134.bmp"}));
  for (const std::string& path : paths)
    EXPECT_TRUE(QFile::exists(QString::fromStdString(path))) << path;
}

TEST_F(QtResources, IdlePictureLoadsAsA160By144MonochromeImage) {
  const QImage image(":/art/bitmap131.bmp");
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.size(), QSize(160, 144));
  EXPECT_EQ(image.depth(), 1);
  // Qt may reorder a two-colour table as it reads it; the file's own order is checked byte by
  // byte elsewhere, so here only the set of colours matters.
  ASSERT_EQ(image.colorCount(), 2);
  const std::set<QRgb> colours = {image.color(0), image.color(1)};
  EXPECT_EQ(colours, (std::set<QRgb>{qRgb(0, 0, 0), qRgb(255, 255, 255)}));
  ExpectSamePixels(image, art::DrawIdlePicture(), art::IdlePalette());
}

TEST_F(QtResources, AboutPictureLoadsAs32By32With256Colours) {
  const QImage image(":/art/bitmap134.bmp");
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.size(), QSize(32, 32));
  EXPECT_EQ(image.format(), QImage::Format_Indexed8);
  EXPECT_EQ(image.colorCount(), 256);
  ExpectSamePixels(image, art::DrawAboutPicture(), art::AboutPalette());
}

TEST_F(QtResources, IconOffersBothSizesWithTransparentEdges) {
  const QIcon icon(":/art/icon128.ico");
  const QList<QSize> sizes = icon.availableSizes();
  EXPECT_TRUE(sizes.contains(QSize(32, 32)));
  EXPECT_TRUE(sizes.contains(QSize(16, 16)));

  QImageReader reader(":/art/icon128.ico");
  ASSERT_EQ(reader.imageCount(), 2);
  const int sides[] = {32, 16};  // in the order the directory lists them
  for (int i = 0; i < 2; ++i) {
    const int side = sides[i];
    SCOPED_TRACE(side);
    ASSERT_TRUE(reader.jumpToImage(i));
    const QImage image = reader.read().convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(image.isNull()) << reader.errorString().toStdString();
    ExpectSamePixels(image, art::DrawIcon(side), art::IconPalette());
    EXPECT_EQ(qAlpha(image.pixel(side - 1, 0)), 0);  // the desktop shows round the case
    EXPECT_EQ(qAlpha(image.pixel(side / 2, side / 2)), 255);
  }
}

// Qt's PNG reader checks every chunk's CRC and zlib's Adler-32, so a wrong check value, a bad
// stored block or a wrong row length shows as a null image or wrong pixels.
TEST_F(QtResources, QtReadsThePngEncodersFilesPixelForPixel) {
  std::vector<art::Rgb> full(255);
  for (std::size_t i = 0; i < full.size(); ++i) {
    full[i] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
               static_cast<std::uint8_t>(i * 7)};
  }
  // Larger than one stored block (65535 bytes), with every colour and clear pixels.
  art::Canvas big(300, 260, 0);
  for (int y = 0; y < big.height(); ++y) {
    for (int x = 0; x < big.width(); ++x) {
      const int v = (x * 31 + y * 17) % 257;
      big.Set(x, y, v == 256 ? art::kClear : static_cast<std::uint8_t>(v % 255));
    }
  }
  art::Canvas small(3, 2, 1);
  small.Set(2, 0, art::kClear);
  const struct {
    const char* what;
    art::Canvas image;
    std::vector<art::Rgb> palette;
  } cases[] = {
      {"one opaque pixel", art::Canvas(1, 1, 0), {{10, 20, 30}}},
      {"odd size with a clear pixel", small, {{0, 0, 0}, {200, 100, 50}}},
      {"several blocks, a full palette", big, full},
      {"the 32 pixel icon", art::DrawIcon(32), art::IconPalette()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const art::Bytes file = art::EncodePng(c.image, c.palette);
    const QImage image = QImage::fromData(reinterpret_cast<const uchar*>(file.data()),
                                          static_cast<int>(file.size()), "PNG");
    ASSERT_FALSE(image.isNull());
    ExpectSamePixels(image.convertToFormat(QImage::Format_ARGB32), c.image, c.palette);
  }
}

// The icon theme's files as built: each size is the 16 or 32 pixel art enlarged by a whole
// factor, every pixel a sharp block of the drawing.
TEST_F(QtResources, ThemeIconsAreTheArtEnlargedByWholeFactors) {
  const struct {
    int size;
    int artSize;
  } cases[] = {{16, 16}, {32, 32}, {48, 16}, {64, 32}, {128, 32}, {256, 32}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    const QString path = QStringLiteral(FENNOW_ART_DIR "/icon-%1.png").arg(c.size);
    const QImage image(path, "PNG");
    ASSERT_FALSE(image.isNull()) << path.toStdString();
    const art::Canvas art = art::DrawIcon(c.artSize);
    const int factor = c.size / c.artSize;
    art::Canvas expected(c.size, c.size, 0);
    for (int y = 0; y < c.size; ++y) {
      for (int x = 0; x < c.size; ++x) expected.Set(x, y, art.At(x / factor, y / factor));
    }
    ExpectSamePixels(image.convertToFormat(QImage::Format_ARGB32), expected, art::IconPalette());
  }
}

}  // namespace
}  // namespace fennow::test
