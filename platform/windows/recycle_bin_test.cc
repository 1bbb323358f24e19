#include "platform/windows/recycle_bin.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "platform/error_text.h"
#include "platform/trash.h"
#include "platform/windows/system_calls.h"
#include "platform/windows/wide.h"

namespace platform {
namespace {

constexpr DWORD kUnset = ~DWORD{0}, kDenied = kUnset - 1;
std::wstring g_file;  // the file of the row being run, which the fake shells remove
DWORD g_written;

// A subst drive standing for Y:, a volume of the kind kType whose name reads or not.
template <UINT kType, bool kNamed = true>
void Subst() {
  Sys().QueryDosDeviceW = [](LPCWSTR drive, LPWSTR target, DWORD size) -> DWORD {
    return wcsncpy(target, drive[0] == L'Y' ? L"\\Device\\Y\0" : L"\\??\\Y:\\\0", size) ? 9 : 0;
  };
  Sys().GetVolumePathNameW = [](LPCWSTR path, LPWSTR root, DWORD) -> BOOL {
    return !(wcsncpy(root, path, 3)[3] = L'\0');
  };
  Sys().GetDriveTypeW = [](LPCWSTR root) { return root[0] == L'Y' ? kType : DRIVE_FIXED; };
  Sys().GetVolumeNameForVolumeMountPointW = [](LPCWSTR, LPWSTR name, DWORD size) -> BOOL {
    return kNamed && wcsncpy(name, L"\\\\?\\Volume{9}\\", size);
  };
  Sys().SHQueryRecycleBinW = [](LPCWSTR, LPSHQUERYRBINFO) { return S_OK; };
}
template <ULONGLONG kBytes>
BOOL WINAPI DiskOf(LPCWSTR, PULARGE_INTEGER, PULARGE_INTEGER total, PULARGE_INTEGER) {
  return !!(total->QuadPart = kBytes);
}

// The volume's MaxCapacity and the RecycleBinSize policy (kUnset: no such value; kDenied: the
// registry cannot be read).
template <DWORD kCapacity, DWORD kPercent>
LSTATUS WINAPI Registry(HKEY, LPCWSTR, LPCWSTR name, DWORD, LPDWORD, PVOID data, LPDWORD) {
  DWORD value = wcscmp(name, L"RecycleBinSize") == 0                        ? kPercent
                : wcscmp(name, L"MaxCapacity") == 0 || kCapacity == kDenied ? kCapacity
                                                                            : kUnset;
  if (value == kUnset || value == kDenied) return value == kUnset ? ERROR_FILE_NOT_FOUND : 5;
  *static_cast<DWORD*>(data) = value;
  return ERROR_SUCCESS;
}

// IFileOperation failing with kResult before asking, or asking the sink with kFlags, removing
// the file and telling the sink (recycled, or deleted for good when kForGood).
IShellItem* const kRecycled = reinterpret_cast<IShellItem*>(&g_written);  // never used
template <DWORD kFlags, HRESULT kResult = S_OK, bool kForGood = false>
FileOperationOutcome Shell(const wchar_t*, IFileOperationProgressSink* sink) {
  bool missing = kResult == E_NOTIMPL || kResult == REGDB_E_CLASSNOTREG;
  if (FAILED(kResult)) return {kResult, FALSE, missing};
  HRESULT answer = sink->PreDeleteItem(kFlags, nullptr);
  if (SUCCEEDED(answer)) DeleteFileW(g_file.c_str());
  if (SUCCEEDED(answer))
    sink->PostDeleteItem(kFlags, nullptr, S_OK, kForGood ? nullptr : kRecycled);
  return {answer, FAILED(answer), false};
}
// Refusing in the sink, then claiming that nothing could be done at all.
FileOperationOutcome RefusedThenNoInterface(const wchar_t* path, IFileOperationProgressSink* sink) {
  Shell<TSF_NORMAL>(path, sink);
  return {E_NOINTERFACE, TRUE, true};
}
// The row's thread is in the multithreaded apartment (kAll: every thread is).
DWORD g_row_thread;
template <bool kAll>
HRESULT WINAPI OtherApartment(LPVOID reserved, DWORD model) {
  return kAll || GetCurrentThreadId() == g_row_thread ? RPC_E_CHANGED_MODE
                                                      : ::CoInitializeEx(reserved, model);
}
FileOperationOutcome OnlyInItsApartment(const wchar_t* path, IFileOperationProgressSink* sink) {
  if (GetCurrentThreadId() == g_row_thread) return {RPC_E_WRONG_THREAD, FALSE, false};
  return Shell<TSF_NORMAL | TSF_DELETE_RECYCLE_IF_POSSIBLE>(path, sink);
}
// The folder reached through a junction to a network volume Y:.
void Junction() {
  Sys().GetFinalPathNameByHandleW = [](HANDLE, LPWSTR path, DWORD size, DWORD) -> DWORD {
    return wcsncpy(path, L"\\\\?\\Y:\\elsewhere", size) ? 16 : 0;
  };
  Sys().QueryDosDeviceW = [](LPCWSTR, LPWSTR target, DWORD size) -> DWORD {
    return wcsncpy(target, L"\\Device\\Y\0", size) ? 10 : 0;
  };
  Sys().GetVolumePathNameW = [](LPCWSTR path, LPWSTR root, DWORD) -> BOOL {
    return !(wcsncpy(root, path, 3)[3] = L'\0');
  };
  Sys().GetDriveTypeW = [](LPCWSTR root) -> UINT {
    return root[0] == L'Y' ? DRIVE_REMOTE : DRIVE_FIXED;
  };
}

// SHFileOperationW returning kResult and kAborted, removing the file when both are nought.
template <int kResult, BOOL kAborted>
int WINAPI ShellOperation(LPSHFILEOPSTRUCTW op) {
  if (kResult == 0 && !kAborted) DeleteFileW(g_file.c_str());
  return (op->fAnyOperationsAborted = kAborted), kResult;
}

TEST(RecycleBin, OnlyTheBinFolderAtTheTopOfItsVolumeHoldsRecycledFiles) {
  struct Case {
    std::wstring path;
    std::wstring root;
    bool held;
  };
  const Case cases[] = {
      {L"C:\\$Recycle.Bin\\S-1-5-21\\$R1.obj", L"C:\\", true},
      {L"C:\\$RECYCLE.BIN\\x.obj", L"C:\\", true},
      {L"\\\\?\\D:\\RECYCLER\\x.obj", L"\\\\?\\D:\\", true},
      {L"C:\\Mount\\Recycled\\x.obj", L"C:\\Mount\\", true},
      {L"C:\\src\\$Recycle.Bin\\x.obj", L"C:\\", false},
      {L"C:\\$Recycle.Binary\\x.obj", L"C:\\", false},
      {L"C:\\$Recycle.Bin", L"C:\\", true},
      {L"D:\\$Recycle.Bin\\x.obj", L"C:\\", false},
      {L"C:\\x.obj", L"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsInRecycleBin(c.path, c.root), c.held);
}

TEST(RecycleBin, NamesThePathsTheShellWouldAlterAndOnlyRecyclesWhatItSaysItRecycles) {
  EXPECT_EQ(ShellRefusal(L"\\\\?\\Volume{9}\\x.obj"),
            "the Recycle Bin takes no \\\\?\\ path; -d removes it for good");
  EXPECT_EQ(ShellRefusal(L"C:\\a \\x.obj"),
            "a name the Recycle Bin would change; -d removes it for good");
  EXPECT_EQ(DefaultBinSize(100ULL << 30), (4ULL << 30) + (3ULL << 30));
  EXPECT_EQ(AnswerBeforeDelete(TSF_NORMAL | TSF_DELETE_RECYCLE_IF_POSSIBLE), S_OK);
  EXPECT_EQ(AnswerBeforeDelete(TSF_NORMAL), E_ABORT);
}

// Each row's file of 12 bytes is gone only when recycled; else it stays, with the failure.
TEST(RecycleBin, NothingIsDeletedForGoodWhateverTheSystemAnswers) {
  const std::string kept = "left in place, not moved to the Recycle Bin: ";
  const std::string failed = "cannot move to the Recycle Bin: ";
  const std::string destroyed =
      "deleted for good, not moved to the Recycle Bin: the shell deleted it for good instead of "
      "recycling it";
  // clang-format off
  struct Row { std::wstring name; void (*inject)(); std::string failure; };  // failure: "" if recycled
  const Row rows[] = {
      {L"a.obj", Subst<DRIVE_REMOTE>, kept + "a network drive has no Recycle Bin"},
      {L"a.obj", Subst<DRIVE_REMOVABLE>, kept + "a removable drive has no Recycle Bin"},
      {L"a.obj", Subst<DRIVE_FIXED>, ""},
      {L"a.obj", Subst<DRIVE_FIXED, false>, kept + "the Recycle Bin's settings for its drive cannot be read"},
      {L"a.obj", [] { Sys().RegGetValueW = Registry<kDenied, kUnset>; }, kept + "the Recycle Bin's settings for its drive cannot be read"},
      {L"a.obj", [] { Sys().GetDiskFreeSpaceExW = DiskOf<100>; }, kept + "the file is larger than the Recycle Bin"},
      {L"a.obj", [] { Sys().GetDiskFreeSpaceExW = DiskOf<120>; }, ""},
      {L"a.obj", [] { Sys().GetDiskFreeSpaceExW = DiskOf<100>, Sys().RegGetValueW = Registry<1, kUnset>; }, ""},
      {L"a.obj", [] { Sys().GetDiskFreeSpaceExW = DiskOf<100>, Sys().RegGetValueW = Registry<1, 10>; }, kept + "the file is larger than the Recycle Bin"},
      {L"a.obj", [] { Sys().RegGetValueW = Registry<0, 100>; }, ""},
      {L"a.obj", [] { Sys().FileOperation = Shell<TSF_NORMAL>; }, kept + "the shell would have deleted it for good"},
      {L"a.obj", [] { Sys().FileOperation = RefusedThenNoInterface, Sys().SHFileOperationW = ShellOperation<0, FALSE>; }, kept + "the shell would have deleted it for good"},
      {L"a.obj", [] { Sys().FileOperation = Shell<TSF_NORMAL | TSF_DELETE_RECYCLE_IF_POSSIBLE, S_OK, true>; }, destroyed},
      {L"a.obj", [] { Sys().CoInitializeEx = OtherApartment<false>, Sys().FileOperation = OnlyInItsApartment; }, ""},
      {L"a.obj", [] { Sys().CoInitializeEx = OtherApartment<true>; }, kept + "COM cannot be set up for the shell: " + ErrorText(RPC_E_CHANGED_MODE)},
      {L"a.obj", Junction, kept + "a network drive has no Recycle Bin"},
      {L"NUL.obj", [] {}, kept + "a reserved device name the Recycle Bin cannot take; -d removes it for good"},
      {L"con .Pdb", [] {}, kept + "a reserved device name the Recycle Bin cannot take; -d removes it for good"},
      {L"a.obj", [] { Sys().FileOperation = Shell<0, HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)>; }, failed + ErrorText(5)},
      {L"a.obj", [] { Sys().FileOperation = Shell<0, E_NOTIMPL>, Sys().SHFileOperationW = ShellOperation<0x78, FALSE>; }, failed + "access denied"},
      {L"a.obj", [] { Sys().FileOperation = Shell<0, E_NOTIMPL>, Sys().SHFileOperationW = ShellOperation<0, TRUE>; }, failed + "the shell stopped the removal"},
      {L"a.obj", [] { Sys().FileOperation = Shell<0, REGDB_E_CLASSNOTREG>, Sys().SHFileOperationW = ShellOperation<0, FALSE>; }, ""},
      {std::wstring(250, L'n') + L".obj", [] {}, kept + "too long for the Recycle Bin; -d removes it for good"},
      {L"a.obj.", [] {}, kept + "a name the Recycle Bin would change; -d removes it for good"},
  };
  // clang-format on
  std::wstring dir = std::filesystem::temp_directory_path() /
                     ("recycle_bin_test-" + std::to_string(GetCurrentProcessId()));
  ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
  for (const Row& row : rows) {
    g_file = LongPath(ToUtf8(dir + L"\\" + row.name));
    HANDLE file = CreateFileW(g_file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << ToUtf8(row.name);
    ASSERT_TRUE(WriteFile(file, "0123456789AB", 12, &g_written, nullptr));
    CloseHandle(file);
    ScopedSystemCalls restore;
    Sys().FileOperation = Shell<TSF_NORMAL | TSF_DELETE_RECYCLE_IF_POSSIBLE>;
    Sys().SHFileOperationW = ShellOperation<0x7C, FALSE>;
    Sys().RegGetValueW = Registry<kUnset, kUnset>;
    Sys().GetDiskFreeSpaceExW = DiskOf<1ULL << 40>;
    row.inject();
    FileFailure failure;
    bool recycled = false;
    // A thread of its own, which sets up its COM apartment afresh.
    std::thread([&] {
      g_row_thread = GetCurrentThreadId();
      recycled = Trash().MoveToTrash(ToUtf8(dir + L"\\" + row.name), &failure);
    }).join();
    EXPECT_EQ(recycled ? "" : failure.what + ": " + failure.reason, row.failure) << &row - rows;
    EXPECT_EQ(GetFileAttributesW(g_file.c_str()) != INVALID_FILE_ATTRIBUTES,
              !row.failure.empty() && row.failure != destroyed)
        << &row - rows;
    DeleteFileW(g_file.c_str());
  }
  EXPECT_TRUE(RemoveDirectoryW(dir.c_str()));
}

TEST(RecycleBin, AFileWhoseFolderWasMovedStaysWhereItIs) {
  std::wstring dir = std::filesystem::temp_directory_path() /
                     ("recycle_moved-" + std::to_string(GetCurrentProcessId()));
  ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
  CloseHandle(
      CreateFileW((dir + L"\\a.obj").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
  int err = 0;
  FileRef file(Folder::Open(ToUtf8(dir), &err), ToUtf8(dir + L"\\a.obj"));
  ASSERT_TRUE(MoveFileW(dir.c_str(), (dir + L"-moved").c_str()));
  CreateDirectoryW(dir.c_str(), nullptr);  // another folder under the old name
  FileFailure failure;
  EXPECT_FALSE(Trash().MoveToTrash(file, &failure));
  EXPECT_EQ(failure.reason, "its folder was moved or replaced during the run; left where it is");
  file.folder.reset();
  EXPECT_TRUE(DeleteFileW((dir + L"-moved\\a.obj").c_str()));
  EXPECT_TRUE(RemoveDirectoryW((dir + L"-moved").c_str()) && RemoveDirectoryW(dir.c_str()));
}

TEST(RecycleBin, AFileLargerThanTheBinIsRefused) {
  RecycleVolume volume;
  volume.max_bytes = 1 << 20;
  EXPECT_EQ(volume.Refuses(1 << 20), "");
  EXPECT_EQ(volume.Refuses((1 << 20) + 1), "the file is larger than the Recycle Bin");
  volume.max_bytes = 0;
  EXPECT_EQ(volume.Refuses(1), "the file is larger than the Recycle Bin");
  volume.refusal = "a network drive has no Recycle Bin";
  EXPECT_EQ(volume.Refuses(1), "a network drive has no Recycle Bin");
}

}  // namespace
}  // namespace platform
