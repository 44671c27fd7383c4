// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "capture/CaptureStore.h"
#include "link/WindowServices.h"

namespace fennow {

// The operations behind the three Save to Disk buttons. Each checks what the store holds, asks
// for a path (kept in savePath) and writes the file; a success or a cancel shows nothing.
void SaveScreenBitmap(const CaptureStore& store, WindowServices& ui, std::string& savePath);
void SaveRawData(const CaptureStore& store, WindowServices& ui, std::string& savePath);
void SaveMathcadData(const CaptureStore& store, WindowServices& ui, std::string& savePath);

}  // namespace fennow
