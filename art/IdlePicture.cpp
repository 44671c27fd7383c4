// SPDX-License-Identifier: GPL-3.0-or-later
#include "art/Artwork.h"
#include "art/PixelFont.h"

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

// A desktop computer: a monitor, its screen still empty but for a question mark, on a flat case.
// Returns the point on the case's left side where the lead plugs in.
struct Point {
  int x;
  int y;
};

Point DrawComputer(Canvas& canvas, int left, int top) {
  // Monitor: outline, a white bezel, then the screen with a dotted frame where a picture will go.
  constexpr int monitorW = 40;
  constexpr int monitorH = 30;
  const int monitorX = left + 4;
  canvas.FrameRect(monitorX, top, monitorW, monitorH, kInk);
  canvas.FrameRect(monitorX + 1, top + 1, monitorW - 2, monitorH - 2, kInk);
  canvas.FrameRect(monitorX + 4, top + 4, monitorW - 8, monitorH - 8, kInk);
  for (int x = monitorX + 7; x < monitorX + monitorW - 7; x += 2) {
    canvas.Set(x, top + 7, kInk);
    canvas.Set(x, top + monitorH - 8, kInk);
  }
  for (int y = top + 7; y <= top + monitorH - 8; y += 2) {
    canvas.Set(monitorX + 7, y, kInk);
    canvas.Set(monitorX + monitorW - 8, y, kInk);
  }
  DrawCentredText(canvas, monitorX + monitorW / 2, top + 11, "?", kInk, 1);
  canvas.FillRect(monitorX + 14, top + monitorH, 12, 3, kInk);  // neck

  // Case: outline, a drive slot and a power lamp on the right, vents on the left.
  constexpr int caseW = 48;
  constexpr int caseH = 14;
  const int caseY = top + monitorH + 3;
  canvas.FrameRect(left, caseY, caseW, caseH, kInk);
  canvas.FrameRect(left + 1, caseY + 1, caseW - 2, caseH - 2, kInk);
  canvas.FillRect(left + 28, caseY + 5, 14, 2, kInk);
  canvas.FillRect(left + 38, caseY + 9, 3, 2, kInk);
  for (int x = left + 5; x < left + 17; x += 3) canvas.FillRect(x, caseY + 4, 1, 6, kInk);

  // The plug on the lead's end, pushed into the side of the case.
  const int plugY = caseY + 3;
  canvas.FillRect(left - 4, plugY, 4, 8, kInk);
  canvas.FillRect(left - 7, plugY + 2, 3, 4, kInk);
  return {left - 7, plugY + 4};
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
  // Drawn twice, a pixel apart, for bold strokes.
  DrawCentredText(picture, kWidth / 2, 12, "NO CAPTURE", kInk, 2);
  DrawCentredText(picture, kWidth / 2 + 1, 12, "NO CAPTURE", kInk, 2);

  constexpr int handheldLeft = 16;
  constexpr int handheldTop = 36;
  DrawHandheld(picture, handheldLeft, handheldTop);
  const Point socket = DrawComputer(picture, 97, 42);
  // From the link socket on the handheld's right side to the plug in the computer.
  DrawLead(picture, handheldLeft + 2 * kHandheldWidth, handheldTop + 9, socket.x - 1, socket.y - 1,
           12);

  DrawCentredText(picture, kWidth / 2, 110, "PRESS START TRANSFER", kInk, 1);
  DrawCentredText(picture, kWidth / 2, 121, "TO FETCH SCREEN OR DATA", kInk, 1);
  return picture;
}

}  // namespace fennow::art
