// The temporary files being written, removed when the run is interrupted or the console closes.
#pragma once

#include <windows.h>

namespace platform {

// The calling thread is about to create its temporary file, which is marked delete-on-close as
// soon as it exists and so goes with its handle, however the process ends. Arm right before the
// creation, then say with TempFileMade, once the file is marked, whether it was made: an ending
// run waits for creations in flight. False once the end of the run is marked: the file must then
// not be created.
bool ArmTempFile();
// False when the run ended while the file was being created: its creator closes it at once.
bool TempFileMade(bool created);
void DisarmTempFile();

// What the console control handler does with `event`. Ctrl-C and Ctrl-Break end the run, or are
// held back while work in flight finishes. The closing of the console, log-off and shutdown mark
// the end, wait (at most three seconds) for replacements and creations of temporary files in
// flight and return TRUE, after which the system ends the process, closing the handles of the
// temporary files, which removes them.
BOOL HandleControlEvent(DWORD event);

// Forgets a marked end, for tests that end a run more than once in one process.
void ForgetEndForTesting();

}  // namespace platform
