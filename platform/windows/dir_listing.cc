#include "platform/dir_listing.h"

#include <windows.h>

#include <vector>

#include "platform/windows/reparse.h"
#include "platform/windows/wide.h"

namespace platform {
namespace {

bool IsDotOrDotDot(std::wstring_view name) { return name == L"." || name == L".."; }

// A link (symbolic link, junction, mount point) is never entered, whatever it leads to; a folder
// that is another kind of reparse point (a cloud placeholder, a ProjFS folder) is walked.
EntryType TypeOf(const FILE_ID_BOTH_DIR_INFO& entry) {
  DWORD attributes = entry.FileAttributes;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return EntryType::kOther;
  // For a reparse point, these listings give the tag in EaSize.
  if (IsLinkEntry(attributes, entry.EaSize)) return EntryType::kLinkToDirectory;
  return EntryType::kDirectory;
}

}  // namespace

bool ListDirectory(const std::string& path, DirListing* listing, int* err) {
  listing->Clear();
  FolderPtr folder = Folder::Open(path, err);
  return folder != nullptr && ListDirectory(*folder, listing, err);
}

bool ListDirectory(const Folder& folder, DirListing* listing, int* err) {
  listing->Clear();
  HANDLE handle = reinterpret_cast<HANDLE>(folder.native());
  // 64 KiB: as many entries per call as a network share hands over at once.
  std::vector<LONGLONG> buffer(64 * 1024 / sizeof(LONGLONG));
  FILE_INFO_BY_HANDLE_CLASS next = FileIdBothDirectoryRestartInfo;
  for (;;) {
    if (!GetFileInformationByHandleEx(handle, next, buffer.data(),
                                      static_cast<DWORD>(buffer.size() * sizeof(LONGLONG)))) {
      DWORD error = GetLastError();
      if (error == ERROR_NO_MORE_FILES) return true;
      // A drive's empty root has no "." either.
      if (error == ERROR_FILE_NOT_FOUND && next == FileIdBothDirectoryRestartInfo) return true;
      *err = static_cast<int>(error);
      return false;
    }
    next = FileIdBothDirectoryInfo;
    const char* at = reinterpret_cast<const char*>(buffer.data());
    for (;;) {
      const auto& entry = *reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
      std::wstring_view name(entry.FileName, entry.FileNameLength / sizeof(wchar_t));
      if (!IsDotOrDotDot(name)) listing->Add(ToUtf8(name), TypeOf(entry));
      if (entry.NextEntryOffset == 0) break;
      at += entry.NextEntryOffset;
    }
  }
}

}  // namespace platform
