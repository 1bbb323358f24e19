// The change log Version.txt: newest entry first, each a hyphen line, a header line with the
// date and versions, an empty line, and the comment's lines.
#pragma once

#include <ctime>
#include <string>

#include "common/reporter.h"

struct ChangeLogEntry {
  std::string date;
  std::string productVersion;
  std::string fileVersion;
  std::string comment;  // lines separated by "\r\n"
};

// "07-Dec-2026": the local date of `moment` with English month names, whatever the locale.
std::string FormatLogDate(std::time_t moment);

// The path of the change log in the directory `workDir`.
std::string ChangeLogPath(const std::string& workDir);

// Puts `entry` at the top of the change log at `path`, creating the log when it is missing. A
// symbolic link there is followed, and the file it leads to gets the entry.
// False when the entry was not written, whatever the reason, after printing "Error creating
// version.txt file!" and reporting why; the log is then as it was.
bool WriteChangeLog(const std::string& path, const ChangeLogEntry& entry, CReporter& reporter);
