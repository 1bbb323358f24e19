// Stampwell: stamps a product and file version into every resource script below the current
// directory.
#pragma once

#include <string>
#include <string_view>

#include "common/reporter.h"
#include "platform/file_ref.h"

// 1 for an interactive run (form and change log), 0 for a silent one.
extern int g_bShowDialog;
// 1 for a dry run: scripts are read and their changes listed, nothing is written.
extern int g_bDryRun;
// 1 when scripts named "*.rc2" are stamped as "*.rc" ones are (switch -rc2).
extern int g_bStampRc2;
// 1 when a version line naming a macro has the macro's definition stamped (switch -macros).
extern int g_bStampMacros;
// The versions as typed; empty leaves that version's lines alone.
extern std::string g_strProductVersion;
extern std::string g_strFileVersion;

// Reads the script at `path`, applies the versions and writes it back safely. Returns 1 when it
// was written (or already held exactly the new bytes), 0 after reporting a failure. Very large
// scripts wait for each other, so that only one at a time takes its memory.
int ProcessResourceFile(const platform::FileRef& file, CReporter& reporter);

// True for a file named "*.rc", in any case, and with -rc2 for one named "*.rc2".
bool IsResourceScript(std::string_view path);

// Reads the script at `path` and prints each line the versions would change, the old line
// after "  - " and the new one after "  + "; writes nothing. Returns 1, or 0 after reporting a
// failure.
int PreviewResourceFile(const platform::FileRef& file, CReporter& reporter);

// The per-file action of the walk: announces and processes every resource script (or, in a dry
// run, announces it and lists its changes).
void StampFile(const platform::FileRef& file, CReporter& reporter);

// True for a script's temporary file or backup ("<script>.Stampwell-XXXXXX.tmp" or ".bak"),
// which only a run stopped by force leaves behind; StampFile names it and says what to do.
bool IsLeftover(std::string_view name);

// The whole run; returns the exit code.
int StampwellMain(int argc, char** argv);
