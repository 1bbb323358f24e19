// The names of the temporary files this run made, so that a walk can tell a file another run
// left behind from one this run is writing at that moment.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Records the name (the last component) of a temporary file about to be created.
void NoteOwnTempName(std::string_view name);
// True when this run made a temporary file of that name.
bool IsOwnTempName(std::string_view name);

}  // namespace platform
