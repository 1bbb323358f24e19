// Stampwell: stamps a product and file version into every resource script below the current
// directory.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/reporter.h"

// 1 for an interactive run (form and change log), 0 for a silent one.
extern int g_bShowDialog;
// The versions as typed; empty leaves that version's lines alone.
extern std::string g_strProductVersion;
extern std::string g_strFileVersion;

// Reads the script at `path`, applies the versions and writes it back safely. Returns 1 when it
// was written (or already held exactly the new bytes), 0 after reporting a failure.
int ProcessResourceFile(const std::string& path, CReporter& reporter);

// True for a file named "*.rc", in any case.
bool IsResourceScript(std::string_view path);

// The per-file action of the walk: announces and processes every file named "*.rc".
void StampFile(const std::string& path, CReporter& reporter);


// The whole run; returns the exit code.
int StampwellMain(int argc, char** argv);
