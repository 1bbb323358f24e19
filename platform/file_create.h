// Making sure a file exists before it is read and rewritten.
#pragma once

#include <string>

#include "platform/file_io.h"

namespace platform {

// Opens the file at `path` for reading and appending, creating it empty when it is missing, and
// closes it again at once: nothing already in it changes. A symbolic link is not followed.
// False, with the reason, when the file cannot be opened that way (for example a read-only
// file, or a directory that may not be written).
bool EnsureFileExists(const std::string& path, FileFailure* failure);

}  // namespace platform
