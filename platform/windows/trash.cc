// The Recycle Bin, through the shell. The shell deletes for good, without a word, what it
// cannot recycle (a file on a network share or a removable drive, on a volume whose bin is
// turned off or whose settings cannot be read, or larger than the bin), so every volume is
// checked first, on the drive a subst drive stands for, and such files stay. So does a path
// the shell cannot take as it is. IFileOperation's sink keeps what the checks missed.
#include "platform/trash.h"

// <windows.h> comes first: the other system headers need its types.
// clang-format off
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
// clang-format on

#include <algorithm>
#include <map>
#include <optional>
#include <vector>

#include "platform/error_text.h"
#include "platform/windows/file_operation.h"
#include "platform/windows/nt_file.h"
#include "platform/windows/recycle_bin.h"
#include "platform/windows/reparse.h"
#include "platform/windows/system_calls.h"
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

// Opens the link itself, never what it points to, in its folder, and marks it for deletion.
bool RemoveLink(const Place& place, FileFailure* failure) {
  Handle link(OpenAt(place.dir(), place.name(), DELETE,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                     FILE_OPEN_REPARSE_POINT));
  FILE_DISPOSITION_INFO disposition = {TRUE};
  bool removed = link.ok() && Sys().SetFileInformationByHandle(link.get(), FileDispositionInfo,
                                                               &disposition, sizeof disposition);
  DWORD error = GetLastError();
  link.Close();
  if (!removed) *failure = {"cannot remove the link", ErrorText(static_cast<int>(error))};
  return removed;
}

// The shell takes a path and looks it up itself: the folder that path leads to now, followed
// the way the shell follows it, must be the very folder the walk found the file in. False when
// it is not (a folder on the way was renamed, or swapped for another or for a link).
bool StillInItsFolder(const FileRef& file, const std::wstring& shell_path) {
  if (file.folder == nullptr) return true;  // a path alone is taken as it stands
  std::wstring folder = DirectoryOf(shell_path);
  Handle now(CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return now.ok() && SameFile(now.get(), reinterpret_cast<HANDLE>(file.folder->native()));
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

// Hands one file to SHFileOperationW, filled for a silent, undoable deletion of that file
// alone; its result code, and in `aborted` whether the shell stopped.
int ShellDelete(const std::wstring& shell_path, BOOL* aborted) {
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
  int result = Sys().SHFileOperationW(&op);
  *aborted = op.fAnyOperationsAborted;
  return result;
}

// Why the shell's result says the file was not recycled; empty when it says it was. The
// HRESULT of IFileOperation, or, where that is missing, SHFileOperationW's result code.
std::string ShellFailure(HRESULT operation, bool missing, int shell_code) {
  if (!missing && FAILED(operation)) {
    bool win32 = HRESULT_FACILITY(operation) == FACILITY_WIN32;
    return ErrorText(win32 ? HRESULT_CODE(operation) : static_cast<int>(operation));
  }
  if (missing && shell_code != 0) return ShellMessage(shell_code);
  return {};
}

// Sends one file to the Recycle Bin through IFileOperation, whose sink keeps a file the shell
// would delete for good; through SHFileOperationW where the system lacks it (Wine), relying on
// the checks made before. `path` is the file's own path, looked at afterwards.
bool Recycle(const std::wstring& shell_path, const std::wstring& path, FileFailure* failure) {
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  RecycleOnlySink sink;
  BOOL aborted = FALSE;
  HRESULT operation = Sys().FileOperation(shell_path.c_str(), &sink, &aborted);
  bool missing = FileOperationMissing(operation);
  int shell_code = missing ? ShellDelete(shell_path, &aborted) : 0;
  if (SUCCEEDED(com)) CoUninitialize();
  const char* what = "cannot move to the Recycle Bin";
  std::string reason = ShellFailure(operation, missing, shell_code);
  if (sink.KeptFromDestruction()) {
    *failure = {"left in place, not moved to the Recycle Bin",
                "the shell would have deleted it for good"};
  } else if (!reason.empty()) {
    *failure = {what, reason};
  } else if (aborted) {
    *failure = {what, "the shell stopped the removal"};
  } else if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
    *failure = {what, "the shell left the file in place"};
  } else {
    return true;
  }
  return false;
}

// Why the file at `path` (of `size` bytes) is not handed to the shell; empty when it may be.
// The shell gets `shell_path`: the plain path, on the drive a subst drive stands for.
std::string Refusal(std::map<std::wstring, RecycleVolume>* volumes, const std::wstring& path,
                    ULONGLONG size, std::wstring* shell_path) {
  std::optional<std::wstring> real = ResolveSubst(PlainPath(path));
  if (!real) return "the Recycle Bin's settings for its drive cannot be read";
  *shell_path = *real;
  std::string refusal = ShellRefusal(*real);
  if (!refusal.empty()) return refusal;
  std::wstring root = VolumeRoot(*real);
  auto [volume, added] = volumes->try_emplace(root);
  if (added) volume->second = CheckRecycleVolume(root);
  return volume->second.Refuses(size);
}

}  // namespace

Trash::Trash() : state_(std::make_unique<State>()) {}

// The Recycle Bin belongs to the Windows user; there is no data folder to choose.
Trash::Trash(std::string /*data_home*/, unsigned /*uid*/) : state_(std::make_unique<State>()) {}

Trash::~Trash() = default;

bool Trash::Holds(const FileRef& file) {
  std::wstring wide = LongPath(file.path);
  std::wstring dir = DirectoryOf(wide);
  if (dir != state_->last_dir) {
    state_->last_dir = dir;
    state_->last_root = VolumeRoot(wide);
  }
  return IsInRecycleBin(wide, state_->last_root);
}

bool Trash::MoveToTrash(const FileRef& file, FileFailure* failure) {
  const char* what = "cannot move to the Recycle Bin";
  Place place(file);
  Handle entry(place.error() != 0 ? INVALID_HANDLE_VALUE
                                  : OpenAt(place.dir(), place.name(), FILE_READ_ATTRIBUTES,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           FILE_OPEN, FILE_OPEN_REPARSE_POINT));
  FILE_ATTRIBUTE_TAG_INFO tag;
  FILE_STANDARD_INFO standard;
  if (!entry.ok() ||
      !GetFileInformationByHandleEx(entry.get(), FileAttributeTagInfo, &tag, sizeof tag) ||
      !GetFileInformationByHandleEx(entry.get(), FileStandardInfo, &standard, sizeof standard)) {
    DWORD err = place.error() != 0 ? place.error() : GetLastError();
    *failure = {what, ErrorText(static_cast<int>(err))};
    return false;
  }
  entry.Close();
  if (IsLinkEntry(tag.FileAttributes, tag.ReparseTag)) return RemoveLink(place, failure);
  if (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    *failure = {what, "it is a folder"};
    return false;
  }
  std::wstring wide = LongPath(file.path);
  std::wstring shell_path;
  std::string refusal = Refusal(&state_->volumes, wide,
                                static_cast<ULONGLONG>(standard.EndOfFile.QuadPart), &shell_path);
  if (!refusal.empty()) {
    *failure = {"left in place, not moved to the Recycle Bin", refusal};
    return false;
  }
  // Checked last before the shell looks the path up itself.
  if (!StillInItsFolder(file, shell_path)) {
    *failure = {what, "its folder was moved or replaced during the run; left where it is"};
    return false;
  }
  return Recycle(shell_path, wide, failure);
}

}  // namespace platform
