// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string_view>

#include "art/Canvas.h"

namespace fennow::art {

// A 5 x 7 capital font, enough for the few words drawn into the pictures. Each glyph is seven
// rows of five bits, the leftmost pixel in bit 4.
inline constexpr int kGlyphWidth = 5;
inline constexpr int kGlyphHeight = 7;
inline constexpr int kGlyphGap = 1;  // blank columns between letters

// The seven rows of a character's glyph; throws std::invalid_argument for a character the font
// lacks, so a typo in a caption cannot silently draw a blank.
const std::uint8_t* Glyph(char c);

// Width in pixels of text drawn at the given scale, without a trailing gap.
int TextWidth(std::string_view text, int scale);

// Draws text with its top-left corner at (x, y), each font pixel a scale x scale block.
void DrawText(Canvas& canvas, int x, int y, std::string_view text, std::uint8_t ink, int scale);

// Draws text centred on column centreX.
void DrawCentredText(Canvas& canvas, int centreX, int y, std::string_view text, std::uint8_t ink,
                     int scale);

}  // namespace fennow::art
