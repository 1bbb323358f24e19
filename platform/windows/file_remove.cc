#include "platform/file_remove.h"

#include <windows.h>

#include "platform/error_text.h"
#include "platform/windows/wide.h"

namespace platform {

// DeleteFileW removes a link itself, never its target, and never a directory. A file with the
// read-only attribute is refused and stays.
bool RemoveFile(const std::string& path, FileFailure* failure) {
  std::wstring wide = LongPath(path);
  if (DeleteFileW(wide.c_str())) return true;
  DWORD err = GetLastError();
  failure->what = "cannot delete";
  DWORD attributes = GetFileAttributesW(wide.c_str());
  bool read_only = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
  failure->reason = read_only ? "the file is read-only" : ErrorText(static_cast<int>(err));
  return false;
}

}  // namespace platform
