// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "link/WindowServices.h"

namespace fennow {

// The three rows the exporters open the save dialog with.
inline const SaveRequest kBitmapSaveRow{"bmp", "*.bmp", "Windows Bitmap file (.bmp)"};
inline const SaveRequest kRawDataSaveRow{"txt", "*.txt", "Raw Data Format (.txt)"};
inline const SaveRequest kMathcadSaveRow{"dat", "*.dat", "Mathcad 6.0 file (.dat)"};

// Asks for the file to write. Returns IDOK or IDCANCEL and replaces savePath whatever the result.
int PromptSavePath(WindowServices& ui, std::string& savePath, const SaveRequest& row);

}  // namespace fennow
