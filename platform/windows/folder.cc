// Folders held open by their handles. A handle stays valid whatever happens to the path it was
// opened by, and the native open takes a folder's handle as the root of a relative name, so
// everything below is reached without looking a path up again.
#include <limits>

#include "platform/file_ref.h"
#include "platform/windows/nt_file.h"
#include "platform/windows/reparse.h"
#include "platform/windows/system_calls.h"
#include "platform/windows/wide.h"

namespace platform {
namespace {

// Enough to list the folder and to open what is in it relative to it.
constexpr ACCESS_MASK kFolderAccess =
    FILE_LIST_DIRECTORY | FILE_TRAVERSE | SYNCHRONIZE | FILE_READ_ATTRIBUTES;
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kErrorStoppedOnSymlink = 681;  // ERROR_STOPPED_ON_SYMLINK, missing from MinGW

HANDLE Refuse(HANDLE entry, DWORD err) {
  CloseHandle(entry);
  SetLastError(err);
  return INVALID_HANDLE_VALUE;
}

// `entry`, opened as the entry itself, when it is a folder: a link or junction is refused and
// never entered; a folder that is another kind of reparse point (a cloud placeholder) is opened
// again the ordinary way by `reopen`, so that the system presents its contents, as long as that
// is still the same folder.
template <typename Reopen>
HANDLE FolderItself(HANDLE entry, Reopen reopen) {
  if (entry == INVALID_HANDLE_VALUE) return entry;
  FILE_ATTRIBUTE_TAG_INFO tag;
  if (!GetFileInformationByHandleEx(entry, FileAttributeTagInfo, &tag, sizeof tag)) {
    return Refuse(entry, GetLastError());
  }
  if (!(tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return Refuse(entry, ERROR_DIRECTORY);
  if (IsLinkEntry(tag.FileAttributes, tag.ReparseTag)) {
    return Refuse(entry, kErrorStoppedOnSymlink);
  }
  if (!(tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) return entry;
  HANDLE presented = reopen();
  if (presented == INVALID_HANDLE_VALUE) return entry;
  bool same = SameFile(entry, presented);
  CloseHandle(same ? entry : presented);
  return same ? presented : entry;
}

HANDLE OpenChildAt(HANDLE parent, const std::wstring& name, ULONG options) {
  NTSTATUS status = 0;
  HANDLE child = OpenAt(parent, name, kFolderAccess, kShareAll, FILE_OPEN,
                        FILE_DIRECTORY_FILE | options, &status);
  if (status == kStatusNotADirectory) SetLastError(ERROR_DIRECTORY);
  return child;
}

}  // namespace

FolderPtr Folder::Adopt(intptr_t native, int* err) {
  HANDLE handle = reinterpret_cast<HANDLE>(native);
  if (handle == INVALID_HANDLE_VALUE) {
    *err = static_cast<int>(GetLastError());
    return nullptr;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) {
    *err = static_cast<int>(GetLastError());
    CloseHandle(handle);
    return nullptr;
  }
  unsigned long long index =
      (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return FolderPtr(new Folder(native, info.dwVolumeSerialNumber, index));
}

// The top of a walk is where the user stands, which Windows lets them reach through a junction:
// it is followed there, and only there.
FolderPtr Folder::Open(const std::string& path, int* err) {
  std::wstring wide = LongPath(path);
  HANDLE folder = Sys().CreateFileW(wide.c_str(), kFolderAccess, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  return Adopt(reinterpret_cast<intptr_t>(folder), err);
}

FolderPtr Folder::OpenChild(std::string_view name, int* err) const {
  std::wstring wide = ToWide(name);
  HANDLE parent = reinterpret_cast<HANDLE>(native_);
  HANDLE child = FolderItself(OpenChildAt(parent, wide, FILE_OPEN_REPARSE_POINT),
                              [&] { return OpenChildAt(parent, wide, 0); });
  return Adopt(reinterpret_cast<intptr_t>(child), err);
}

// Every level stays open on Windows: there is no parent to open again.
FolderPtr Folder::OpenParent(int* err) const {
  *err = ERROR_NOT_SUPPORTED;
  return nullptr;
}

size_t Folder::MaxOpenDepth() { return std::numeric_limits<size_t>::max(); }

Folder::~Folder() { CloseHandle(reinterpret_cast<HANDLE>(native_)); }

std::string_view FileRef::name() const {
  std::string_view whole = path;
  size_t slash = whole.find_last_of("\\/");
  return slash == std::string_view::npos ? whole : whole.substr(slash + 1);
}

}  // namespace platform
