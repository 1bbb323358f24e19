// Permanent removal of one file.
#pragma once

#include <string>

#include "platform/file_io.h"

namespace platform {

// Removes the directory entry at `path` for good: a file, or a symbolic link itself (never its
// target). A directory is never removed.
bool RemoveFile(const FileRef& file, FileFailure* failure);

}  // namespace platform
