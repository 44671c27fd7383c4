// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/SavePrompt.h"

#include <utility>

namespace fennow {

int PromptSavePath(WindowServices& ui, std::string& savePath, const SaveRequest& request,
                   SaveAnswer* answer) {
  SaveAnswer given = ui.RunSaveDialog(request);
  // Kept even after a cancel: the path is only ever read right after an IDOK.
  savePath = given.path;
  const int result = given.result == IDOK ? IDOK : IDCANCEL;
  if (answer != nullptr) *answer = std::move(given);
  return result;
}

}  // namespace fennow
