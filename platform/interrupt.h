// What an interrupted run (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE) cleans up before it ends.
#pragma once

namespace platform {

// Installs the handlers. Each one removes the temporary files being written, if any, calls the
// hook, then ends the process by the same signal. A signal that is ignored when the program
// starts keeps being ignored; with SIGPIPE ignored, a write to a closed pipe fails instead.
// False when a handler cannot be installed.
bool InstallInterruptHandlers();

// Registers a function to run on interruption, for example to restore the terminal. It must be
// async-signal-safe. nullptr removes it.
void SetInterruptHook(void (*hook)());

// Marks `name` (relative to `dir_fd`) as the calling thread's temporary file, to be removed on
// interruption until DisarmTempCleanup. The name is copied. Each thread has its own mark, so
// several threads may be writing temporary files at once. Arm right before creating the file
// and say with TempCreated whether it was created: an interruption waits for creations in
// flight on other threads, so that none can leave a file behind. False when the process is
// already ending by an interruption: the file must then not be created.
bool ArmTempCleanup(int dir_fd, const char* name);
void TempCreated(bool created);
void DisarmTempCleanup();

// While interruptions are deferred, the first one is only recorded, so that work in flight can
// finish and be reported; a second one is recorded too, for the deferring code to end the
// process at once once it has said what was done (SecondInterrupt, BeginEnding); a third ends
// it at once in the handler, as an interruption does when none is deferred.
void DeferInterrupts(bool defer);
// The signal recorded while deferring, or 0.
int PendingInterrupt();
// The second signal recorded while deferring, or 0.
int SecondInterrupt();
// Begins the end of the process: no temporary file is created from now on, shielded steps on
// other threads are waited for (within two seconds), and the temporary files being written are
// removed, so that no work in flight can still put one in place.
void BeginEnding();
// True once the end has begun: work that fails from now on may have failed because of it.
bool Ending();
// Ends the process by the recorded signal, after the cleanup a handler would have done.
[[noreturn]] void EndByPendingInterrupt();

// Keeps two steps that belong together (a trash entry and its file) from being cut in two by an
// interruption: while one lives, the calling thread takes no interruption, and one taken by
// another thread waits for it to end (up to two seconds) before the process ends.
class InterruptShield {
 public:
  InterruptShield();
  ~InterruptShield();
  InterruptShield(const InterruptShield&) = delete;
  InterruptShield& operator=(const InterruptShield&) = delete;

 private:
  // The thread's signal mask before, kept opaque so that this header needs no system header.
  alignas(8) unsigned char previous_[128];
};

// Keeps the interruption signals away from the calling thread, so that a worker thread never
// runs a handler and they all reach the thread that can act on them. A broken pipe is raised
// on the thread that wrote to it: a thread that writes the output keeps SIGPIPE with
// `keep_broken_pipe`, so that a closed output still ends the run.
void BlockInterruptsInThisThread(bool keep_broken_pipe = false);

}  // namespace platform
