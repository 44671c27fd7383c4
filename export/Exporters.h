// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "capture/CaptureStore.h"
#include "export/FileFormats.h"
#include "export/ScreenPng.h"
#include "link/FrontEnd.h"

namespace fennow {

// How a save ended. The user has already been told whatever there was to tell.
enum class SaveOutcome {
  Saved,
  Cancelled,    // the prompt was cancelled
  WrongKind,    // the store holds no capture of the kind the format takes
  Refused,      // the capture cannot be written in that format (a scale code without a value)
  WriteFailed,  // the file could not be written
};

// The operations behind the three Save to Disk buttons. Each checks what the store holds, asks
// for a path (kept in savePath) and a type among the button's own, and writes the file; a success
// or a cancel shows nothing. The file's type follows the extension of the name given when it
// names one of the button's types, and the type selected otherwise.
//
// The screen's button offers the bitmap and PNG; `look` is the PNG's scale and palette, offered in
// the dialog and kept there as the user leaves them.
SaveOutcome SaveScreenBitmap(const CaptureStore& store, WindowServices& ui, std::string& savePath,
                             ScreenLook& look);
// The raw text file or a CSV table.
SaveOutcome SaveRawData(const CaptureStore& store, WindowServices& ui, std::string& savePath);
SaveOutcome SaveMathcadData(const CaptureStore& store, WindowServices& ui, std::string& savePath);

// The same checks, messages and safe write without a prompt, for a path and format already chosen.
SaveOutcome SaveCaptureAs(const CaptureStore& store, WindowServices& ui, const std::string& path,
                          FileFormat format, const ScreenLook& look);

}  // namespace fennow
