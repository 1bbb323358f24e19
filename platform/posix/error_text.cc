#include "platform/error_text.h"

#include <cstring>

namespace platform {

std::string ErrorText(int err) { return std::strerror(err); }

}  // namespace platform
