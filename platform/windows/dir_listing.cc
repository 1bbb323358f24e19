#include "platform/dir_listing.h"

#include <windows.h>

#include "platform/windows/reparse.h"
#include "platform/windows/wide.h"

namespace platform {
namespace {

bool IsDotOrDotDot(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

// A link (symbolic link, junction, mount point) is never entered, whatever it leads to; a folder
// that is another kind of reparse point (a cloud placeholder, a ProjFS folder) is walked.
EntryType TypeOf(const WIN32_FIND_DATAW& data) {
  DWORD attributes = data.dwFileAttributes;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return EntryType::kOther;
  // The reparse tag is in dwReserved0 for a reparse point.
  if (IsLinkEntry(attributes, data.dwReserved0)) return EntryType::kLinkToDirectory;
  return EntryType::kDirectory;
}

}  // namespace

bool ListDirectory(const std::string& path, DirListing* listing, int* err) {
  listing->Clear();
  std::wstring pattern = LongPath(path);
  if (pattern.empty() || pattern.back() != L'\\') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                 nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return true;  // a drive's empty root has no "." either
    *err = static_cast<int>(error);
    return false;
  }
  do {
    if (!IsDotOrDotDot(data.cFileName)) listing->Add(ToUtf8(data.cFileName), TypeOf(data));
  } while (FindNextFileW(find, &data));
  DWORD error = GetLastError();
  FindClose(find);
  if (error == ERROR_NO_MORE_FILES) return true;
  *err = static_cast<int>(error);
  return false;
}

}  // namespace platform
