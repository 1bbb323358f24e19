#include "platform/terminal.h"

namespace platform {

// A form on Windows is a dialog on the interactive desktop.
const char* const kTerminalDevice = "WinSta0\\Default";

}  // namespace platform
