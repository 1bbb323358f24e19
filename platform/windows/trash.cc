// The Recycle Bin, through the shell. The shell deletes for good, without a word, what it
// cannot recycle (a file on a network share or a removable drive, on a volume whose bin is
// turned off, or larger than the bin), so every volume is checked first and such files stay.
#include "platform/trash.h"

// <windows.h> comes first: the other system headers need its types.
// clang-format off
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
// clang-format on

#include <algorithm>
#include <map>
#include <vector>

#include "platform/error_text.h"
#include "platform/windows/recycle_bin.h"
#include "platform/windows/wide.h"

namespace platform {

struct Trash::State {
  std::map<std::wstring, RecycleVolume> volumes;  // by volume root
  std::wstring last_dir;
  std::wstring last_root;
};

namespace {

std::wstring DirectoryOf(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(0, slash + 1);
}

// A link or junction: an entry that stands for another, removed itself and never through the
// shell, which may follow it. Wine shows a Linux link to a folder with reparse tag 0.
bool IsLink(const WIN32_FIND_DATAW& found) {
  if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  return IsReparseTagNameSurrogate(found.dwReserved0) ||
         (found.dwReserved0 == 0 && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY));
}

// Opens the link itself, never what it points to, and marks it for deletion.
bool RemoveLink(const std::wstring& path, FileFailure* failure) {
  HANDLE link = CreateFileW(
      path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  FILE_DISPOSITION_INFO disposition = {TRUE};
  bool removed =
      link != INVALID_HANDLE_VALUE &&
      SetFileInformationByHandle(link, FileDispositionInfo, &disposition, sizeof disposition);
  DWORD error = GetLastError();
  if (link != INVALID_HANDLE_VALUE) CloseHandle(link);
  if (!removed) *failure = {"cannot remove the link", ErrorText(static_cast<int>(error))};
  return removed;
}

// What the shell's own result codes (older than the system's error codes, and taking
// precedence over them) mean for a deletion; any other value is a system error code.
std::string ShellMessage(int code) {
  switch (code) {
    case 0x75:
      return "the shell cancelled the removal";
    case 0x78:
      return "access denied";
    case 0x79:
    case 0x81:
      return "the path is too long for the shell";
    case 0x7C:
      return "the shell finds no such file";
    case 0x85:
      return "the file is too large";
    case 0x86:
    case 0x87:
    case 0x88:
      return "the file is on a CD or DVD";
    case 0x402:
    case 0x10000:
    case 0x10074:
      return "the shell could not reach the file";
    default:
      return ErrorText(code);
  }
}

// Hands one file to the shell, filled for a silent, undoable deletion of that file alone.
bool Recycle(const std::wstring& path, FileFailure* failure) {
  std::wstring shell_path = ShellPath(path);
  std::vector<wchar_t> from(shell_path.begin(), shell_path.end());
  from.resize(std::max<size_t>(from.size() + 2, MAX_PATH + 1), L'\0');
  SHFILEOPSTRUCTW op = {};
  op.hwnd = nullptr;
  op.wFunc = FO_DELETE;
  op.pFrom = from.data();
  op.pTo = nullptr;
  op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_FILESONLY | FOF_NOERRORUI |
              FOF_NORECURSION;
  op.lpszProgressTitle = nullptr;
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  int result = SHFileOperationW(&op);
  if (SUCCEEDED(com)) CoUninitialize();
  const char* what = "cannot move to the Recycle Bin";
  if (result != 0) {
    *failure = {what, ShellMessage(result)};
  } else if (op.fAnyOperationsAborted) {
    *failure = {what, "the shell stopped the removal"};
  } else if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
    *failure = {what, "the shell left the file in place"};
  } else {
    return true;
  }
  return false;
}

}  // namespace

Trash::Trash() : state_(std::make_unique<State>()) {}

// The Recycle Bin belongs to the Windows user; there is no data folder to choose.
Trash::Trash(std::string /*data_home*/, unsigned /*uid*/) : state_(std::make_unique<State>()) {}

Trash::~Trash() = default;

bool Trash::Holds(const std::string& path) {
  std::wstring wide = LongPath(path);
  std::wstring dir = DirectoryOf(wide);
  if (dir != state_->last_dir) {
    state_->last_dir = dir;
    state_->last_root = VolumeRoot(wide);
  }
  return IsInRecycleBin(wide, state_->last_root);
}

bool Trash::MoveToTrash(const std::string& path, FileFailure* failure) {
  std::wstring wide = LongPath(path);
  WIN32_FIND_DATAW found;
  HANDLE find =
      FindFirstFileExW(wide.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) {
    *failure = {"cannot move to the Recycle Bin", ErrorText(static_cast<int>(GetLastError()))};
    return false;
  }
  FindClose(find);
  if (IsLink(found)) return RemoveLink(wide, failure);
  if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    *failure = {"cannot move to the Recycle Bin", "it is a folder"};
    return false;
  }
  std::wstring root = VolumeRoot(wide);
  auto [volume, added] = state_->volumes.try_emplace(root);
  if (added) volume->second = CheckRecycleVolume(root);
  ULONGLONG size = (ULONGLONG{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
  std::string refusal = volume->second.Refuses(size);
  if (!refusal.empty()) {
    *failure = {"left in place, not moved to the Recycle Bin", refusal};
    return false;
  }
  return Recycle(wide, failure);
}

}  // namespace platform
