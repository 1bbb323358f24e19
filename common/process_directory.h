// The recursive folder walk shared by the tree tools.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "common/reporter.h"
#include "platform/file_ref.h"

// Called with every entry that is not a directory: its full path, and the folder it was found
// in, held open, through which everything done to it goes.
using FileAction = std::function<void(const platform::FileRef& file)>;
// Called with the full path of a directory that could not be listed, and the error number.
using ListFailure = std::function<void(const std::string& path, int err)>;
// Where the walk's progress lines go, each a whole line with its line break.
using ProgressOutput = std::function<void(std::string_view line)>;

// Visits every entry below `directory` (absolute, no trailing separator but for the root),
// depth first in the order the system lists them. A subdirectory is announced on standard
// output with "Processing directory '<name>'" and walked completely before the next entry of
// its parent; every other entry is handed to `action`. Links to directories are neither
// announced nor entered. Each directory is read completely and then worked through. Every
// folder is opened from its parent's descriptor, never through a link, and stays open while it
// is worked through, so a folder renamed or swapped for a link during the walk never leads it
// outside the tree. Returns 0 when `directory` itself cannot be listed, else 1.
// Progress lines go to `output`, or to standard output when it is empty.
int ProcessDirectory(const std::string& directory, const FileAction& action,
                     const ListFailure& on_list_failure, const ProgressOutput& output = nullptr);

// Reads the current directory. When it cannot be read, prints "Error reading current
// directory!", reports why, and returns false.
bool ReadCurrentDirectory(std::string* directory, CReporter& reporter);

// Walks the current directory with `action`, reporting through `reporter` every progress line
// and every directory that cannot be listed.
void WalkCurrentDirectory(const FileAction& action, CReporter& reporter);
