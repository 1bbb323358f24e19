#include "platform/file_create.h"

#include <windows.h>

#include "platform/error_text.h"
#include "platform/windows/system_calls.h"
#include "platform/windows/wide.h"

namespace platform {

bool EnsureFileExists(const std::string& path, FileFailure* failure) {
  HANDLE file = Sys().CreateFileW(LongPath(path).c_str(), GENERIC_READ | FILE_APPEND_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    CloseHandle(file);
    return true;
  }
  failure->what = "cannot create or open";
  failure->reason = ErrorText(static_cast<int>(GetLastError()));
  return false;
}

}  // namespace platform
