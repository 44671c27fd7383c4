// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/SavePrompt.h"

#include <utility>

namespace fennow {

int PromptSavePath(WindowServices& ui, std::string& savePath, const SaveRequest& row) {
  SaveAnswer answer = ui.RunSaveDialog(row);
  // Kept even after a cancel: the path is only ever read right after an IDOK.
  savePath = std::move(answer.path);
  return answer.result == IDOK ? IDOK : IDCANCEL;
}

}  // namespace fennow
