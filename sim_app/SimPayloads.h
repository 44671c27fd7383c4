// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QString>
#include <array>
#include <cstdint>
#include <string>
#include <variant>

#include "capture/CaptureStore.h"

namespace fennow {

// A screen as the Game Boy holds it: 144 rows of 20 bytes, top row first, bit 7 the leftmost
// pixel, a 1 bit a dark pixel.
using ScreenBytes = std::array<std::uint8_t, kScreenBytes>;
// A data block as the Game Boy sends it: 1202 samples, then the three scale codes.
using DataBytes = std::array<std::uint8_t, kDataBytes>;

template <typename T>
using Loaded = std::variant<T, std::string>;  // the payload, or a message saying what is wrong

// Any picture reduced to 160 x 144 at one bit per pixel: scaled to fit, centred on white,
// dithered to black and white.
ScreenBytes ScreenFromImage(const QImage& image);
QImage ImageFromScreen(const ScreenBytes& screen);  // dark pixels black, for showing it
Loaded<ScreenBytes> LoadScreenImage(const QString& path);
ScreenBytes BuiltInScreen();

// 1205 numbers 0..255, one per line, as the Raw Data Format writes them (CR LF or LF); blanks
// around a number are allowed, nothing else is. Only a regular file of at most 64 KiB is read,
// and a message quotes a bad line with its control bytes written out.
Loaded<DataBytes> LoadRawData(const QString& path);
// A damped wave and a few square steps, with the given scale codes in its last three bytes.
DataBytes BuiltInWaveform(std::uint8_t firstCode, std::uint8_t secondCode, std::uint8_t thirdCode);

}  // namespace fennow
