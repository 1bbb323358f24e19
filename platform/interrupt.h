// What an interrupted run (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE) cleans up before it ends.
#pragma once

namespace platform {

// Installs the handlers. Each one removes the temporary file being written, if any, calls the
// hook, then ends the process by the same signal. False when a handler cannot be installed.
bool InstallInterruptHandlers();

// Registers a function to run on interruption, for example to restore the terminal. It must be
// async-signal-safe. nullptr removes it.
void SetInterruptHook(void (*hook)());

// Marks `name` (relative to `dir_fd`) as the temporary file to remove on interruption, until
// DisarmTempCleanup. The name is copied.
void ArmTempCleanup(int dir_fd, const char* name);
void DisarmTempCleanup();

}  // namespace platform
