#include "platform/windows/system_calls.h"

namespace platform {

SystemCalls& Sys() {
  static SystemCalls calls;
  return calls;
}

}  // namespace platform
