// Predicting a refused write from the read-only attribute, for a dry run that must not open
// anything for writing.
#include "platform/error_text.h"
#include "platform/file_io.h"
#include "platform/windows/nt_file.h"

namespace platform {

bool PredictWritable(const FileRef& file, FileFailure* failure) {
  DWORD attributes = 0;
  DWORD err = AttributesAt(Place(file), &attributes);
  if (err != 0) {
    *failure = {"cannot write", ErrorText(static_cast<int>(err))};
    return false;
  }
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    *failure = {"cannot write", "the file is read-only"};
    return false;
  }
  return true;
}

// A folder's read-only attribute does not keep new files out of it, so only the file tells.
bool PredictReplaceable(const FileRef& file, FileFailure* failure) {
  return PredictWritable(file, failure);
}

}  // namespace platform
