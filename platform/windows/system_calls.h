// The Win32 calls whose outcomes the file, removal, Recycle Bin and interruption code must
// handle, gathered in one table. The program always uses the system's own functions; a test
// replaces an entry to produce an outcome the system it runs on does not show (Wine takes only
// the kind paths), then restores it. Only the platform layer reads the table.
#pragma once

// <windows.h> comes first: the other system headers need its types.
// clang-format off
#include <windows.h>
#include <shellapi.h>
#include <winternl.h>
// clang-format on

#include "platform/windows/file_operation.h"

namespace platform {

struct SystemCalls {
  // Files: every open relative to a folder, and the few by path (a folder, the log); the
  // delete-on-close mark; the writes of a new text; the rename that puts it in place.
  decltype(&::NtCreateFile) NtCreateFile = ::NtCreateFile;
  decltype(&::CreateFileW) CreateFileW = ::CreateFileW;
  decltype(&::WriteFile) WriteFile = ::WriteFile;
  decltype(&::FlushFileBuffers) FlushFileBuffers = ::FlushFileBuffers;
  decltype(&::SetFileInformationByHandle) SetFileInformationByHandle = ::SetFileInformationByHandle;
  decltype(&::NtSetInformationFile) NtSetInformationFile = ::NtSetInformationFile;
  decltype(&::Sleep) Sleep = ::Sleep;  // the waits before a call on a shared file is retried
  // Recycle Bin: the volume a held folder really lies on, the thread's COM apartment.
  decltype(&::GetFinalPathNameByHandleW) GetFinalPathNameByHandleW = ::GetFinalPathNameByHandleW;
  decltype(&::CoInitializeEx) CoInitializeEx = ::CoInitializeEx;
  decltype(&::SHFileOperationW) SHFileOperationW = ::SHFileOperationW;
  decltype(&::GetDriveTypeW) GetDriveTypeW = ::GetDriveTypeW;
  decltype(&::QueryDosDeviceW) QueryDosDeviceW = ::QueryDosDeviceW;
  decltype(&::GetVolumePathNameW) GetVolumePathNameW = ::GetVolumePathNameW;
  decltype(&::GetVolumeNameForVolumeMountPointW) GetVolumeNameForVolumeMountPointW =
      ::GetVolumeNameForVolumeMountPointW;
  decltype(&::GetDiskFreeSpaceExW) GetDiskFreeSpaceExW = ::GetDiskFreeSpaceExW;
  decltype(&::RegGetValueW) RegGetValueW = ::RegGetValueW;
  decltype(&::SHQueryRecycleBinW) SHQueryRecycleBinW = ::SHQueryRecycleBinW;
  decltype(&RecycleWithFileOperation) FileOperation = RecycleWithFileOperation;
};

// The table in use: the system's functions unless a test replaced some.
SystemCalls& Sys();

// Puts the system's own functions back in every entry when it goes out of scope.
class ScopedSystemCalls {
 public:
  ScopedSystemCalls() = default;
  ~ScopedSystemCalls() { Sys() = SystemCalls{}; }
  ScopedSystemCalls(const ScopedSystemCalls&) = delete;
  ScopedSystemCalls& operator=(const ScopedSystemCalls&) = delete;
};

}  // namespace platform
