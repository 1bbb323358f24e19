// Why standard output failed, for the message at the end of a run, and what a closed output does.
#pragma once

namespace platform {

// The system's error code of standard output's first failed write, or 0.
unsigned long OutputError();

// Called when the reader of an output went away: the run ends as by Ctrl-C (work in flight
// finishes while interruptions are held back, the temporary files are removed), with exit code
// 1. Defined with the handling of interruptions.
void EndOnClosedOutput();

}  // namespace platform
