// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace fennow {

// How a save went.
struct WriteOutcome {
  int error = 0;  // 0, or the errno of the step that failed
  // The failure came after the target itself was cut short: it may now hold part of the content.
  bool targetIncomplete = false;
  bool ok() const { return error == 0; }
};

// Puts content into the file at path so that, wherever the folder allows it, a failure never
// leaves a half-written file or destroys the one already there. A regular file (new or existing)
// is written to a temporary file in the same folder and renamed over the target only once every
// byte is on disk; the replaced file's owner and permissions are kept where the system allows
// (not every file system takes them: FAT does not), a new file gets the ones any newly created
// file gets. An existing file the user may write, in a folder they may not, is written in place,
// as there is nowhere to put a temporary file. A symbolic link is followed and its target
// written, so the link survives. An existing target that is not a regular file (a terminal, a
// pipe, /dev/null) is written in place, since renaming over it would swap a device node for a
// plain file. An existing read-only file is refused, as is a block device.
//
// Nothing stays open, and no temporary file stays behind, whatever the outcome.
WriteOutcome WriteFileSafely(const std::string& path, std::string_view content);

}  // namespace fennow
