// The system's words for an error number.
#pragma once

#include <string>

namespace platform {

// The reason for the error number `err` as the system words it (the error numbers the other
// platform services return).
std::string ErrorText(int err);

}  // namespace platform
