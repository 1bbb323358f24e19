#include "platform/windows/recycle_bin.h"

#include <gtest/gtest.h>

#include "platform/error_text.h"
#include "platform/trash.h"
#include "platform/windows/system_calls.h"
#include "platform/windows/wide.h"

namespace platform {
namespace {

constexpr DWORD kUnset = ~DWORD{0};
std::wstring g_file;  // the file of the row being run, which the fake shells remove

// Every drive a subst of Y:, and Y: a volume.
DWORD WINAPI SubstOfY(LPCWSTR drive, LPWSTR target, DWORD size) {
  std::wstring to = wcscmp(drive, L"Y:") == 0 ? L"\\Device\\HarddiskVolume9" : L"\\??\\Y:\\";
  wcsncpy(target, to.c_str(), size);
  return static_cast<DWORD>(to.size() + 2);
}
BOOL WINAPI DriveRoot(LPCWSTR path, LPWSTR root, DWORD size) {
  if (size < 4) return FALSE;
  wcsncpy(root, path, 3);
  root[3] = L'\0';
  return TRUE;
}
template <UINT kType>
UINT WINAPI DriveOfType(LPCWSTR root) {
  return wcscmp(root, L"Y:\\") == 0 ? kType : DRIVE_FIXED;
}
BOOL WINAPI NamedVolume(LPCWSTR, LPWSTR name, DWORD size) {
  return wcsncpy(name, L"\\\\?\\Volume{9}\\", size) != nullptr;
}
BOOL WINAPI NamelessVolume(LPCWSTR, LPWSTR, DWORD) { return FALSE; }
HRESULT WINAPI BinQueried(LPCWSTR, LPSHQUERYRBINFO) { return S_OK; }
template <ULONGLONG kBytes>
BOOL WINAPI DiskOf(LPCWSTR, PULARGE_INTEGER, PULARGE_INTEGER total, PULARGE_INTEGER) {
  total->QuadPart = kBytes;
  return TRUE;
}

// The volume's MaxCapacity and the RecycleBinSize policy (kUnset: no such value); or a
// registry that cannot be read.
template <DWORD kCapacity, DWORD kPercent>
LSTATUS WINAPI Registry(HKEY, LPCWSTR, LPCWSTR name, DWORD, LPDWORD, PVOID data, LPDWORD) {
  DWORD value = wcscmp(name, L"MaxCapacity") == 0      ? kCapacity
                : wcscmp(name, L"RecycleBinSize") == 0 ? kPercent
                                                       : kUnset;
  if (value == kUnset) return ERROR_FILE_NOT_FOUND;
  *static_cast<DWORD*>(data) = value;
  return ERROR_SUCCESS;
}
LSTATUS WINAPI Unreadable(HKEY, LPCWSTR, LPCWSTR, DWORD, LPDWORD, PVOID, LPDWORD) {
  return ERROR_ACCESS_DENIED;
}

// IFileOperation that tells the sink the item goes to the bin (kFlags) or is destroyed, and
// removes it unless the sink says no; or that fails with kResult before doing anything.
template <DWORD kFlags>
HRESULT Shell(const wchar_t*, IFileOperationProgressSink* sink, BOOL* aborted) {
  HRESULT answer = sink->PreDeleteItem(kFlags, nullptr);
  if (SUCCEEDED(answer)) DeleteFileW(g_file.c_str());
  *aborted = FAILED(answer);
  return answer;
}
template <HRESULT kResult>
HRESULT FailingOperation(const wchar_t*, IFileOperationProgressSink*, BOOL*) {
  return kResult;
}

// SHFileOperationW returning kResult, with kAborted in fAnyOperationsAborted; removing the file
// when both are nought.
template <int kResult, BOOL kAborted>
int WINAPI ShellOperation(LPSHFILEOPSTRUCTW op) {
  if (kResult == 0 && !kAborted) DeleteFileW(g_file.c_str());
  op->fAnyOperationsAborted = kAborted;
  return kResult;
}

// The file on a subst drive standing for Y:, a volume of the kind `type` with a readable name.
void Subst(UINT (*type)(LPCWSTR)) {
  Sys().QueryDosDeviceW = SubstOfY;
  Sys().GetVolumePathNameW = DriveRoot;
  Sys().GetDriveTypeW = type;
  Sys().GetVolumeNameForVolumeMountPointW = NamedVolume;
  Sys().SHQueryRecycleBinW = BinQueried;
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

TEST(RecycleBin, TheShellGetsThePlainPathOnTheDriveASubstStandsFor) {
  EXPECT_EQ(PlainPath(L"\\\\?\\C:\\src\\x.obj"), L"C:\\src\\x.obj");
  EXPECT_EQ(PlainPath(L"\\\\?\\UNC\\server\\share\\x.obj"), L"\\\\server\\share\\x.obj");
  EXPECT_EQ(ShellRefusal(L"\\\\?\\Volume{9}\\x.obj"),
            "the Recycle Bin takes no \\\\?\\ path; -d removes it for good");
  EXPECT_EQ(ShellRefusal(L"C:\\a \\x.obj"),
            "a name the Recycle Bin would change; -d removes it for good");
  EXPECT_EQ(ShellRefusal(L"C:\\..\\src\\x.obj"), "");
  ScopedSystemCalls restore;
  Sys().QueryDosDeviceW = SubstOfY;
  EXPECT_EQ(ResolveSubst(L"S:\\src\\x.obj"), L"Y:\\src\\x.obj");
  EXPECT_EQ(DefaultBinSize(100ULL << 30), (4ULL << 30) + (3ULL << 30));
  EXPECT_EQ(AnswerBeforeDelete(TSF_NORMAL | TSF_DELETE_RECYCLE_IF_POSSIBLE), S_OK);
  EXPECT_EQ(AnswerBeforeDelete(TSF_NORMAL), E_ABORT);
}

// Each row makes a file of 12 bytes, replaces the system's outcomes, and hands the file to the
// Recycle Bin: it is gone only when recycled; otherwise it stays, with the failure given.
TEST(RecycleBin, NothingIsDeletedForGoodWhateverTheSystemAnswers) {
  const std::string kept = "left in place, not moved to the Recycle Bin: ";
  const std::string failed = "cannot move to the Recycle Bin: ";
  const std::string unreadable = kept + "the Recycle Bin's settings for its drive cannot be read";
  const std::string larger = kept + "the file is larger than the Recycle Bin";
  struct Row {
    std::wstring name;
    void (*inject)();
    std::string failure;  // empty when the file goes to the bin
  };
  // clang-format off
  const Row rows[] = {
      {L"a.obj", [] { Subst(DriveOfType<DRIVE_REMOTE>); }, kept + "a network drive has no Recycle Bin"},
      {L"a.obj", [] { Subst(DriveOfType<DRIVE_REMOVABLE>); }, kept + "a removable drive has no Recycle Bin"},
      {L"a.obj", [] { Subst(DriveOfType<DRIVE_FIXED>); }, ""},
      {L"a.obj", [] { Subst(DriveOfType<DRIVE_FIXED>), Sys().GetVolumeNameForVolumeMountPointW = NamelessVolume; }, unreadable},
      {L"a.obj", [] { Sys().RegGetValueW = Unreadable; }, unreadable},
      {L"a.obj", [] { Sys().GetDiskFreeSpaceExW = DiskOf<100>; }, larger},
      {L"a.obj", [] { Sys().GetDiskFreeSpaceExW = DiskOf<120>; }, ""},
      {L"a.obj", [] { Sys().GetDiskFreeSpaceExW = DiskOf<100>, Sys().RegGetValueW = Registry<1, kUnset>; }, ""},
      {L"a.obj", [] { Sys().GetDiskFreeSpaceExW = DiskOf<100>, Sys().RegGetValueW = Registry<1, 10>; }, larger},
      {L"a.obj", [] { Sys().RegGetValueW = Registry<0, 100>; }, ""},
      {L"a.obj", [] { Sys().FileOperation = Shell<TSF_NORMAL>; }, kept + "the shell would have deleted it for good"},
      {L"a.obj", [] { Sys().FileOperation = FailingOperation<HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)>; }, failed + ErrorText(ERROR_ACCESS_DENIED)},
      {L"a.obj", [] { Sys().FileOperation = FailingOperation<E_NOTIMPL>, Sys().SHFileOperationW = ShellOperation<0x78, FALSE>; }, failed + "access denied"},
      {L"a.obj", [] { Sys().FileOperation = FailingOperation<E_NOTIMPL>, Sys().SHFileOperationW = ShellOperation<0, TRUE>; }, failed + "the shell stopped the removal"},
      {L"a.obj", [] { Sys().FileOperation = FailingOperation<REGDB_E_CLASSNOTREG>, Sys().SHFileOperationW = ShellOperation<0, FALSE>; }, ""},
      {L"a.obj", [] { Sys().SHFileOperationW = ShellOperation<0, FALSE>; }, ""},
      {std::wstring(250, L'n') + L".obj", [] {}, kept + "too long for the Recycle Bin; -d removes it for good"},
      {L"a.obj.", [] {}, kept + "a name the Recycle Bin would change; -d removes it for good"},
      {L"a.obj ", [] {}, kept + "a name the Recycle Bin would change; -d removes it for good"},
  };
  // clang-format on
  wchar_t temp[MAX_PATH];
  ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
  std::wstring dir =
      temp + std::wstring(L"recycle_bin_test-") + std::to_wstring(GetCurrentProcessId());
  ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
  for (const Row& row : rows) {
    g_file = LongPath(ToUtf8(dir + L"\\" + row.name));
    HANDLE file = CreateFileW(g_file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << ToUtf8(row.name);
    ASSERT_TRUE(WriteFile(file, "0123456789AB", 12, nullptr, nullptr) || GetLastError() == 0);
    CloseHandle(file);
    ScopedSystemCalls restore;
    Sys().FileOperation = Shell<TSF_NORMAL | TSF_DELETE_RECYCLE_IF_POSSIBLE>;
    Sys().SHFileOperationW = ShellOperation<0x7C, FALSE>;
    Sys().RegGetValueW = Registry<kUnset, kUnset>;
    Sys().GetDiskFreeSpaceExW = DiskOf<1ULL << 40>;
    row.inject();
    FileFailure failure;
    bool recycled = Trash().MoveToTrash(ToUtf8(dir + L"\\" + row.name), &failure);
    EXPECT_EQ(recycled ? "" : failure.what + ": " + failure.reason, row.failure) << &row - rows;
    EXPECT_EQ(GetFileAttributesW(g_file.c_str()) != INVALID_FILE_ATTRIBUTES, !row.failure.empty())
        << &row - rows;
    DeleteFileW(g_file.c_str());
  }
  EXPECT_TRUE(RemoveDirectoryW(dir.c_str()));
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
