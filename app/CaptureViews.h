// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QImage>
#include <QPalette>
#include <QString>

#include "capture/CaptureStore.h"
#include "export/ScreenPng.h"

namespace fennow {

// A capture as the Captures window lists it: "14:02:31  Screen", in local time.
QString CaptureTitle(const CaptureStore& store);

// The screen large: every pixel a `look.scale` square in `look.palette`, exactly as the PNG file
// has it.
QImage ScreenView(const CaptureStore& store, const ScreenLook& look);

// The largest of the PNG's whole-number scales at which the screen fits `width` x `height`; 1 when
// none does.
int ScaleToFit(int width, int height);

// The data block as a plot: the 1202 samples against their number, with axes labelled in sample
// numbers and in values as the Mathcad file gives them (127 - byte), and the three scale values
// under it; in the desktop's colours and font.
QImage DataPlot(const CaptureStore& store, const QPalette& palette, const QFont& font);

}  // namespace fennow
