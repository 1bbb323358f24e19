#include "platform/path_separator.h"

namespace platform {

const char kPathSeparator = '\\';
const char* const kPathSeparators = "\\/";

}  // namespace platform
