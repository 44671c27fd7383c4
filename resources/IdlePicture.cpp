#include "resources/Artwork.h"
#include "resources/PixelFont.h"

namespace fennow::art {
namespace {

constexpr std::uint8_t kInk = 0;    // black
constexpr std::uint8_t kPaper = 1;  // white
constexpr std::uint8_t kGrey = 2;   // only while drawing: becomes a checkerboard of ink and paper

constexpr int kWidth = 160;
constexpr int kHeight = 144;

// Two colours only, so the icon's shades become ink, paper or a checkerboard.
constexpr Ink kHandheldInks[] = {
    {'K', kInk},   {'d', kInk}, {'l', kPaper}, {'b', kInk}, {'s', kPaper}, {'h', kGrey},
    {'w', kPaper}, {'r', kInk}, {'R', kGrey},  {'c', kInk}, {'p', kPaper}, {'P', kGrey},
};

// Paints the handheld from the icon art, each art pixel a 2 x 2 block.
void DrawHandheld(Canvas& canvas, int left, int top) {
  Canvas art(kHandheldWidth, static_cast<int>(HandheldArt().size()), kPaper);
  art.Paint(0, 0, HandheldArt(), kHandheldInks);  // the lead and plug fall off the edge
  for (int y = 0; y < art.height(); ++y) {
    for (int x = 0; x < art.width(); ++x) {
      for (int dy = 0; dy < 2; ++dy) {
        for (int dx = 0; dx < 2; ++dx) {
          const int px = left + 2 * x + dx;
          const int py = top + 2 * y + dy;
          std::uint8_t p = art.At(x, y);
          if (p == kGrey) p = (px + py) % 2 == 0 ? kInk : kPaper;
          canvas.Set(px, py, p);
        }
      }
    }
  }
}

// A monitor on a small stand, its screen still empty: a dashed outline where a picture will go.
void DrawComputer(Canvas& canvas, int left, int top) {
  constexpr int w = 40;
  constexpr int h = 32;
  canvas.FillRect(left, top, w, h, kInk);
  canvas.FillRect(left + 4, top + 4, w - 8, h - 10, kPaper);
  for (int x = left + 7; x < left + w - 7; x += 2) {
    canvas.Set(x, top + 7, kInk);
    canvas.Set(x, top + h - 10, kInk);
  }
  for (int y = top + 7; y <= top + h - 10; y += 2) {
    canvas.Set(left + 7, y, kInk);
    canvas.Set(left + w - 8, y, kInk);
  }
  canvas.Set(left + w - 6, top + h - 3, kPaper);  // power lamp
  canvas.FillRect(left + 16, top + h, 8, 4, kInk);
  canvas.FillRect(left + 8, top + h + 4, 24, 3, kInk);
}

// A lead hanging between two points: a parabola sagging by sag pixels in the middle, worked out
// in integers so that the picture never depends on floating-point rounding.
void DrawLead(Canvas& canvas, int x0, int y0, int x1, int y1, int sag) {
  const int span = x1 - x0;
  int lastY = y0;
  for (int x = x0; x <= x1; ++x) {
    const int t = x - x0;
    const int y = y0 + (y1 - y0) * t / span + 4 * sag * t * (span - t) / (span * span);
    canvas.Line(x - 1, lastY, x, y, kInk);
    canvas.Line(x - 1, lastY + 1, x, y + 1, kInk);
    lastY = y;
  }
}

void DrawFrame(Canvas& canvas) {
  canvas.FrameRect(2, 2, kWidth - 4, kHeight - 4, kInk);
  canvas.FrameRect(4, 4, kWidth - 8, kHeight - 8, kInk);
  // Round the outer corners off.
  for (const int x : {2, kWidth - 3}) {
    for (const int y : {2, kHeight - 3}) canvas.Set(x, y, kPaper);
  }
}

}  // namespace

std::vector<Rgb> IdlePalette() {
  return {Rgb{0, 0, 0}, Rgb{0xFF, 0xFF, 0xFF}};
}

Canvas DrawIdlePicture() {
  Canvas picture(kWidth, kHeight, kPaper);
  DrawFrame(picture);
  DrawCentredText(picture, kWidth / 2, 12, "NO CAPTURE", kInk, 2);

  constexpr int handheldLeft = 16;
  constexpr int handheldTop = 36;
  DrawHandheld(picture, handheldLeft, handheldTop);
  constexpr int computerLeft = 104;
  constexpr int computerTop = 46;
  DrawComputer(picture, computerLeft, computerTop);
  // From the link socket on the handheld's right side to the back of the monitor.
  DrawLead(picture, handheldLeft + 2 * kHandheldWidth, handheldTop + 9, computerLeft - 1,
           computerTop + 24, 14);

  DrawCentredText(picture, kWidth / 2, 110, "PRESS START TRANSFER", kInk, 1);
  DrawCentredText(picture, kWidth / 2, 121, "TO FETCH SCREEN OR DATA", kInk, 1);
  return picture;
}

}  // namespace fennow::art
