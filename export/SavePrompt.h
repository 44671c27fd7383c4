// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "link/FrontEnd.h"

namespace fennow {

// Asks for the file to write. Returns IDOK or IDCANCEL and replaces savePath whatever the result;
// `answer`, when given, gets the whole of the dialog's answer, the type and options it closed with.
int PromptSavePath(WindowServices& ui, std::string& savePath, const SaveRequest& request,
                   SaveAnswer* answer = nullptr);

}  // namespace fennow
