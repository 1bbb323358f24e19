// Why standard output failed, for the message at the end of a run.
#pragma once

namespace platform {

// The system's error code of standard output's first failed write, or 0.
unsigned long OutputError();

}  // namespace platform
