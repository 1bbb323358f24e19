// The process's current directory.
#pragma once

#include <string>

namespace platform {

// Reads the absolute path of the current directory, of any length. On failure returns false and
// sets `*err` to the system's error number.
bool GetCurrentDir(std::string* dir, int* err);

}  // namespace platform
