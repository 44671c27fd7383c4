// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>

#include "art/Canvas.h"
#include "art/ImageFiles.h"

namespace fennow::art {

// A PNG file of an indexed image, through libpng: the palette as given, and kClear pixels made
// transparent through one more palette entry. Throws std::invalid_argument when a pixel has no
// colour or the palette is too large.
Bytes EncodePng(const Canvas& image, std::span<const Rgb> palette);

}  // namespace fennow::art
