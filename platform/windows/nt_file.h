// Opening entries relative to a folder held open, with the native call that takes a folder's
// handle (CreateFileW takes only paths).
#pragma once

// <windows.h> comes first: the other system headers need its types.
// clang-format off
#include <windows.h>
#include <winternl.h>
// clang-format on

#include <string>
#include <string_view>

#include "platform/file_ref.h"

namespace platform {

// The few native statuses looked at; <ntstatus.h> clashes with <windows.h>.
constexpr NTSTATUS kStatusFileIsADirectory = static_cast<NTSTATUS>(0xC00000BA);
constexpr NTSTATUS kStatusNotADirectory = static_cast<NTSTATUS>(0xC0000103);

// The system's error code for a native status, as the Win32 functions would report it.
DWORD ErrorOfStatus(NTSTATUS status);

class Handle {
 public:
  explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
  ~Handle() { Close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  void Reset(HANDLE handle) {
    Close();
    handle_ = handle;
  }
  bool Close() {
    if (!ok()) return true;
    bool closed = CloseHandle(handle_) != 0;
    handle_ = INVALID_HANDLE_VALUE;
    return closed;
  }

 private:
  HANDLE handle_;
};

// Opens or creates `name` in the folder `dir` (or, for a name starting with ':', a stream of the
// file `dir`), synchronous, through Sys().NtCreateFile. INVALID_HANDLE_VALUE on failure, with the
// error code as the last error and the native status in `*status`.
HANDLE OpenAt(HANDLE dir, std::wstring_view name, ACCESS_MASK access, ULONG share,
              ULONG disposition, ULONG options, NTSTATUS* status = nullptr);

// Where a file lies: the folder the walk holds open and its name there, or, for a path alone,
// its parent folder opened now from the path (following links, as a path is looked up) and
// its last component.
class Place {
 public:
  explicit Place(const FileRef& file);
  DWORD error() const { return error_; }
  HANDLE dir() const { return folder_ ? reinterpret_cast<HANDLE>(folder_->native()) : own_.get(); }
  const std::wstring& name() const { return name_; }
  // The path of the entry `name` beside the file, as the user named the file's folder.
  std::string Beside(const std::wstring& name) const;

 private:
  FolderPtr folder_;
  Handle own_;
  std::wstring name_;
  std::string folder_path_;  // ends in a separator, or is empty
  DWORD error_ = 0;
};

// True when the two handles are the same file (volume and file id).
bool SameFile(HANDLE a, HANDLE b);

// The attributes of the entry at `place` itself (a link's own). 0, or the error code.
DWORD AttributesAt(const Place& place, DWORD* attributes);

// The reason a change to the file at `place` was refused: the system's words, but "the file is
// read-only" when access was denied and the file has the read-only attribute.
std::string RefusalReason(DWORD err, const Place& place);

}  // namespace platform
