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

// The class of the hidden top-level window, on a thread of its own, through which log-off and
// shutdown reach a process that has loaded user32.dll: WM_ENDSESSION ends the run as the
// closing of the console does (a message-only window would not get the broadcast).
constexpr wchar_t kEndSessionWindowClass[] = L"treetools.EndSession";

// Forgets a marked end, for tests that end a run more than once in one process.
void ForgetEndForTesting();

}  // namespace platform
