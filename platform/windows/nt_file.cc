#include "platform/windows/nt_file.h"

#include <algorithm>
#include <cstring>

#include "platform/error_text.h"
#include "platform/windows/system_calls.h"
#include "platform/windows/wide.h"

namespace platform {

DWORD ErrorOfStatus(NTSTATUS status) { return RtlNtStatusToDosError(status); }

HANDLE OpenAt(HANDLE dir, std::wstring_view name, ACCESS_MASK access, ULONG share,
              ULONG disposition, ULONG options, NTSTATUS* status) {
  UNICODE_STRING object_name;
  object_name.Buffer = const_cast<wchar_t*>(name.data());
  object_name.Length = object_name.MaximumLength =
      static_cast<USHORT>(std::min<size_t>(name.size(), 0x7FFF) * sizeof(wchar_t));
  // Names match without regard to case, as CreateFileW matches them.
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &object_name, OBJ_CASE_INSENSITIVE, dir, nullptr);
  IO_STATUS_BLOCK io = {};
  HANDLE handle = nullptr;
  NTSTATUS result = Sys().NtCreateFile(&handle, access | SYNCHRONIZE, &attributes, &io, nullptr,
                                       FILE_ATTRIBUTE_NORMAL, share, disposition,
                                       options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
  if (status != nullptr) *status = result;
  if (result < 0) {
    SetLastError(ErrorOfStatus(result));
    return INVALID_HANDLE_VALUE;
  }
  return handle;
}

Place::Place(const FileRef& file) {
  size_t slash = file.path.find_last_of("\\/");
  folder_path_ = slash == std::string::npos ? "" : file.path.substr(0, slash + 1);
  if (file.folder != nullptr) {
    folder_ = file.folder;
    name_ = ToWide(file.name());
    return;
  }
  std::wstring whole = LongPath(file.path);
  size_t leaf = whole.rfind(L'\\') + 1;  // npos + 1: a name alone
  name_ = whole.substr(leaf);
  std::wstring parent = leaf == 0 ? L"." : whole.substr(0, leaf);
  own_.Reset(Sys().CreateFileW(parent.c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE | SYNCHRONIZE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!own_.ok()) error_ = GetLastError();
}

std::string Place::Beside(const std::wstring& name) const { return folder_path_ + ToUtf8(name); }

bool SameFile(HANDLE a, HANDLE b) {
  FILE_ID_INFO x, y;
  if (GetFileInformationByHandleEx(a, FileIdInfo, &x, sizeof x) &&
      GetFileInformationByHandleEx(b, FileIdInfo, &y, sizeof y)) {
    return x.VolumeSerialNumber == y.VolumeSerialNumber &&
           memcmp(&x.FileId, &y.FileId, sizeof x.FileId) == 0;
  }
  BY_HANDLE_FILE_INFORMATION p, q;
  return GetFileInformationByHandle(a, &p) && GetFileInformationByHandle(b, &q) &&
         p.dwVolumeSerialNumber == q.dwVolumeSerialNumber && p.nFileIndexHigh == q.nFileIndexHigh &&
         p.nFileIndexLow == q.nFileIndexLow;
}

DWORD AttributesAt(const Place& place, DWORD* attributes) {
  if (place.error() != 0) return place.error();
  Handle entry(OpenAt(place.dir(), place.name(), FILE_READ_ATTRIBUTES,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                      FILE_OPEN_REPARSE_POINT));
  FILE_BASIC_INFO basic;
  if (!entry.ok() ||
      !GetFileInformationByHandleEx(entry.get(), FileBasicInfo, &basic, sizeof basic)) {
    return GetLastError();
  }
  *attributes = basic.FileAttributes;
  return 0;
}

std::string RefusalReason(DWORD err, const Place& place) {
  DWORD attributes = 0;
  if (err == ERROR_ACCESS_DENIED && AttributesAt(place, &attributes) == 0 &&
      (attributes & FILE_ATTRIBUTE_READONLY)) {
    return "the file is read-only";
  }
  return ErrorText(static_cast<int>(err));
}

}  // namespace platform
