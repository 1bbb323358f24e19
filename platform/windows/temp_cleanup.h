// The temporary files being written, removed when the run is interrupted or the console closes.
#pragma once

#include <windows.h>

#include <string>

namespace platform {

// Marks `path` as the calling thread's temporary file until DisarmTempFile. Arm right before the
// file is created, then say with TempFileMade whether it was: an ending run waits for creations in
// flight, so that none leaves a file behind. False once the end of the run is marked: the file
// must then not be created. The file must be opened with FILE_SHARE_DELETE, so that it can be
// removed while open.
bool ArmTempFile(const std::wstring& path);
// False when the run ended while the file was being created: its creator removes it.
bool TempFileMade(bool created);
void DisarmTempFile();

// What the console control handler does with `event`. Ctrl-C and Ctrl-Break end the run, or are
// held back while work in flight finishes. The closing of the console, log-off and shutdown mark
// the end, wait (at most three seconds) for replacements and temporary files in flight, remove
// the temporary files still armed and return TRUE, after which the system ends the process.
BOOL HandleControlEvent(DWORD event);

// Forgets a marked end, for tests that end a run more than once in one process.
void ForgetEndForTesting();

}  // namespace platform
