#include <gtest/gtest.h>

#include <QFile>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <set>
#include <string>
#include <vector>

#include "app/Templates.h"
#include "resources/Artwork.h"
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
  EXPECT_EQ(paths, (std::vector<std::string>{":/resources/icon128.ico", ":/resources/bitmap131.bmp",
                                             ":/resources/bitmap134.bmp"}));
  for (const std::string& path : paths)
    EXPECT_TRUE(QFile::exists(QString::fromStdString(path))) << path;
}

TEST_F(QtResources, IdlePictureLoadsAsA160By144MonochromeImage) {
  const QImage image(":/resources/bitmap131.bmp");
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
  const QImage image(":/resources/bitmap134.bmp");
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.size(), QSize(32, 32));
  EXPECT_EQ(image.format(), QImage::Format_Indexed8);
  EXPECT_EQ(image.colorCount(), 256);
  ExpectSamePixels(image, art::DrawAboutPicture(), art::AboutPalette());
}

TEST_F(QtResources, IconOffersBothSizesWithTransparentEdges) {
  const QIcon icon(":/resources/icon128.ico");
  const QList<QSize> sizes = icon.availableSizes();
  EXPECT_TRUE(sizes.contains(QSize(32, 32)));
  EXPECT_TRUE(sizes.contains(QSize(16, 16)));

  QImageReader reader(":/resources/icon128.ico");
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

}  // namespace
}  // namespace fennow::test
