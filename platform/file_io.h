// Reading a whole file and replacing one safely.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// What went wrong, ready for a message "<what> '<path>': <reason>".
struct FileFailure {
  std::string what;
  std::string reason;
};

// Reads the whole regular file at `path`. Symbolic links are not followed and anything that is
// not a regular file (FIFO, socket, device) is never opened: both are failures.
bool ReadRegularFile(const std::string& path, std::string* bytes, FileFailure* failure);

// Checks that the file at `path` may be written, by opening it for writing without truncating
// it. A replace must not become a way around a read-only file.
bool CheckWritable(const std::string& path, FileFailure* failure);

// Replaces the contents of the regular file at `path` with `bytes`: writes them to a temporary
// file in the same directory and renames it over the original, keeping the original's
// permission bits and, where allowed, its owner. Afterwards the file is either entirely old or
// entirely new. The temporary file is named "<name>.<program>-XXXXXX.tmp"; it is removed if
// anything fails and when the run is interrupted by a signal.
bool ReplaceFile(const std::string& path, std::string_view bytes, FileFailure* failure);

}  // namespace platform
