// SPDX-License-Identifier: GPL-3.0-or-later
#include "art/Canvas.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace fennow::art {

Canvas::Canvas(int width, int height, std::uint8_t fill) : width_(width), height_(height) {
  if (width <= 0 || height <= 0) {
    throw std::invalid_argument("a canvas needs a positive width and height");
  }
  pixels_.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), fill);
}

std::uint8_t Canvas::At(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) {
    throw std::out_of_range("pixel " + std::to_string(x) + "," + std::to_string(y) +
                            " is outside the canvas");
  }
  return pixels_[static_cast<std::size_t>(y * width_ + x)];
}

void Canvas::Set(int x, int y, std::uint8_t index) {
  if (x >= 0 && y >= 0 && x < width_ && y < height_) {
    pixels_[static_cast<std::size_t>(y * width_ + x)] = index;
  }
}

void Canvas::FillRect(int x, int y, int w, int h, std::uint8_t index) {
  for (int row = std::max(y, 0); row < std::min(y + h, height_); ++row) {
    for (int col = std::max(x, 0); col < std::min(x + w, width_); ++col) {
      Set(col, row, index);
    }
  }
}

void Canvas::FrameRect(int x, int y, int w, int h, std::uint8_t index) {
  if (w <= 0 || h <= 0) return;
  FillRect(x, y, w, 1, index);
  FillRect(x, y + h - 1, w, 1, index);
  FillRect(x, y, 1, h, index);
  FillRect(x + w - 1, y, 1, h, index);
}

void Canvas::Line(int x0, int y0, int x1, int y1, std::uint8_t index) {
  // Integer Bresenham: the same endpoints always give the same pixels, on any machine.
  const int dx = std::abs(x1 - x0);
  const int dy = -std::abs(y1 - y0);
  const int stepX = x0 < x1 ? 1 : -1;
  const int stepY = y0 < y1 ? 1 : -1;
  int error = dx + dy;
  for (;;) {
    Set(x0, y0, index);
    if (x0 == x1 && y0 == y1) break;
    const int twice = 2 * error;
    if (twice >= dy) {
      error += dy;
      x0 += stepX;
    }
    if (twice <= dx) {
      error += dx;
      y0 += stepY;
    }
  }
}

void Canvas::Paint(int x, int y, std::span<const std::string_view> rows,
                   std::span<const Ink> inks) {
  for (const std::string_view row : rows) {
    if (row.size() != rows.front().size()) {
      throw std::invalid_argument("art rows differ in length: \"" + std::string(row) + "\"");
    }
  }
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (std::size_t c = 0; c < rows[r].size(); ++c) {
      const char symbol = rows[r][c];
      if (symbol == '.') continue;
      const auto ink = std::find_if(inks.begin(), inks.end(),
                                    [symbol](const Ink& i) { return i.symbol == symbol; });
      if (ink == inks.end()) {
        throw std::invalid_argument(std::string("art uses an unknown symbol '") + symbol + "'");
      }
      Set(x + static_cast<int>(c), y + static_cast<int>(r), ink->index);
    }
  }
}

Canvas ScaledUp(const Canvas& image, int factor) {
  if (factor < 1)
    throw std::invalid_argument("a picture is enlarged by a whole factor of 1 or more");
  Canvas scaled(image.width() * factor, image.height() * factor, 0);
  for (int y = 0; y < scaled.height(); ++y) {
    for (int x = 0; x < scaled.width(); ++x) scaled.Set(x, y, image.At(x / factor, y / factor));
  }
  return scaled;
}

}  // namespace fennow::art
