#include "platform/file_remove.h"

#include "platform/windows/nt_file.h"
#include "platform/windows/retry.h"
#include "platform/windows/system_calls.h"

namespace platform {
namespace {

// Opens the entry itself (a link, never its target; never a directory) in its folder and marks
// it to go when the handle closes. 0, or the error code; `read_only` when the attribute kept it.
DWORD Remove(const Place& place, bool* read_only) {
  Handle entry(OpenAt(place.dir(), place.name(), DELETE | FILE_READ_ATTRIBUTES,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                      FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT));
  if (!entry.ok()) return GetLastError();
  FILE_BASIC_INFO basic;
  if (GetFileInformationByHandleEx(entry.get(), FileBasicInfo, &basic, sizeof basic) &&
      (basic.FileAttributes & FILE_ATTRIBUTE_READONLY)) {
    *read_only = true;
    return ERROR_ACCESS_DENIED;
  }
  FILE_DISPOSITION_INFO disposition = {TRUE};
  return Sys().SetFileInformationByHandle(entry.get(), FileDispositionInfo, &disposition,
                                          sizeof disposition)
             ? 0
             : GetLastError();
}

}  // namespace

// A file with the read-only attribute is refused and stays. A file another program has open for
// a moment is tried again for about a second; one kept open is reported with the system's reason.
bool RemoveFile(const FileRef& file, FileFailure* failure) {
  failure->what = "cannot delete";
  Place place(file);
  bool read_only = false;
  DWORD err = place.error();
  if (err == 0) {
    err = RetryWhileShared([&] {
      DWORD refused = Remove(place, &read_only);
      SetLastError(refused);
      return refused == 0;
    });
  }
  if (err == 0) return true;
  failure->reason = read_only ? "the file is read-only" : RefusalReason(err, place);
  return false;
}

}  // namespace platform
