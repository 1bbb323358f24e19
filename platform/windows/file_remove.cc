#include "platform/file_remove.h"

#include <windows.h>

#include "platform/windows/retry.h"
#include "platform/windows/system_calls.h"
#include "platform/windows/wide.h"

namespace platform {

// DeleteFileW removes a link itself, never its target, and never a directory. A file with the
// read-only attribute is refused and stays. A file another program has open for a moment is
// tried again for about a second; one kept open is reported with the system's reason.
bool RemoveFile(const std::string& path, FileFailure* failure) {
  std::wstring wide = LongPath(path);
  DWORD err = RetryWhileShared([&] { return Sys().DeleteFileW(wide.c_str()) != 0; });
  if (err == ERROR_SUCCESS) return true;
  failure->what = "cannot delete";
  failure->reason = RefusalReason(err, wide);
  return false;
}

}  // namespace platform
