#pragma once

#include <string>
#include <string_view>

namespace fennow {

// Puts content into the file at path so that a failure never leaves a half-written file or
// destroys the one already there. A regular file (new or existing) is written to a temporary
// file in the same folder and renamed over the target only once every byte is on disk; the
// replaced file's permissions are kept, a new file gets the ones any newly created file gets.
// A symbolic link is followed and its target written, so the link survives. An existing target
// that is not a regular file (a terminal, a pipe, /dev/null) is written in place, since renaming
// over it would swap a device node for a plain file. An existing read-only file is refused, as
// is a block device.
//
// Returns 0, or the errno of the step that failed. Nothing stays open either way.
int WriteFileSafely(const std::string& path, std::string_view content);

}  // namespace fennow
