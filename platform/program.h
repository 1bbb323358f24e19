// Program start-up shared by every tool: what stands where a GUI framework would be initialised.
#pragma once

#include <functional>
#include <string_view>

namespace platform {

// Prepares the process: makes sure the standard streams exist, and installs the handlers that
// remove an unfinished temporary file when the run is interrupted. False when that fails.
bool InitProgram();

// Calls `init`, then `body`, for the tool named `tool`. When `init` fails, writes the start-up
// failure message to standard error and returns 1 without calling `body`; so it does when the
// program was started with its standard output closed. A run whose standard output could not
// be written, at any point, says so on standard error in the end and returns 1.
int RunProgram(const char* tool, int argc, char** argv, const std::function<bool()>& init,
               const std::function<int(int, char**)>& body);

// The name given to RunProgram, used in messages and temporary file names.
const char* ProgramName();

}  // namespace platform
