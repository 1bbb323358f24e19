// Predicting a refused write from the read-only attribute, for a dry run that must not open
// anything for writing.
#include <windows.h>

#include "platform/error_text.h"
#include "platform/file_io.h"
#include "platform/windows/wide.h"

namespace platform {

bool PredictWritable(const std::string& path, FileFailure* failure) {
  DWORD attributes = GetFileAttributesW(LongPath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    *failure = {"cannot write", ErrorText(static_cast<int>(GetLastError()))};
    return false;
  }
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    *failure = {"cannot write", "the file is read-only"};
    return false;
  }
  return true;
}

// A folder's read-only attribute does not keep new files out of it, so only the file tells.
bool PredictReplaceable(const std::string& path, FileFailure* failure) {
  return PredictWritable(path, failure);
}

}  // namespace platform
