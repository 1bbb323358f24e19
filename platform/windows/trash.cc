// The Recycle Bin, through the shell. The shell deletes for good, without a word, what it
// cannot recycle (a file on a network share or a removable drive, on a volume whose bin is
// turned off or whose settings cannot be read, or larger than the bin), so every volume is
// checked first, found from where the folder held open really lies (past a junction or a subst
// drive), and such files stay. So does a path the shell cannot take as it is. IFileOperation's
// sink keeps what the checks missed, and hears of a file the shell deleted for good anyway.
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
#include <thread>
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
  Handle now(Sys().CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
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

// COM set up once for the thread's life, as the single-threaded apartment IFileOperation needs.
// RPC_E_CHANGED_MODE: the thread is already in another.
class Apartment {
 public:
  Apartment()
      : result_(Sys().CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
  ~Apartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  Apartment(const Apartment&) = delete;
  Apartment& operator=(const Apartment&) = delete;
  HRESULT result() const { return result_; }

 private:
  HRESULT result_;
};

HRESULT ThisThreadsApartment() {
  thread_local Apartment apartment;
  return apartment.result();
}

// What the shell answered for one file.
struct ShellAnswer {
  HRESULT apartment = S_OK;  // a failure: no apartment to work in, nothing was done
  FileOperationOutcome operation;
  bool fell_back = false;  // no IFileOperation: SHFileOperationW was used
  int shell_code = 0;
  BOOL shell_aborted = FALSE;
};

// Asks the shell on the calling thread. SHFileOperationW only where IFileOperation did nothing
// at all: once the sink was asked, the shell has acted or been refused, and a refusal there
// cancels the deletion.
ShellAnswer AskShell(const std::wstring& shell_path, RecycleOnlySink* sink) {
  ShellAnswer answer;
  answer.apartment = ThisThreadsApartment();
  if (FAILED(answer.apartment)) return answer;
  answer.operation = Sys().FileOperation(shell_path.c_str(), sink);
  if (answer.operation.unavailable && !sink->Asked()) {
    answer.fell_back = true;
    answer.shell_code = ShellDelete(shell_path, &answer.shell_aborted);
  }
  return answer;
}

// A thread already in the multithreaded apartment hands the file to a thread of its own.
ShellAnswer AskShellInApartment(const std::wstring& shell_path, RecycleOnlySink* sink) {
  if (ThisThreadsApartment() != RPC_E_CHANGED_MODE) return AskShell(shell_path, sink);
  ShellAnswer answer;
  std::thread([&] { answer = AskShell(shell_path, sink); }).join();
  return answer;
}

std::string HresultText(HRESULT result) {
  bool win32 = HRESULT_FACILITY(result) == FACILITY_WIN32;
  return ErrorText(win32 ? HRESULT_CODE(result) : static_cast<int>(result));
}

// Sends one file to the Recycle Bin through IFileOperation, whose sink keeps a file the shell
// would delete for good; through SHFileOperationW where the system lacks it (Wine), relying on
// the checks made before, and then looking whether the entry is still at `place`.
bool Recycle(const std::wstring& shell_path, const Place& place, FileFailure* failure) {
  const char* what = "cannot move to the Recycle Bin";
  RecycleOnlySink sink;
  ShellAnswer answer = AskShellInApartment(shell_path, &sink);
  const FileOperationOutcome& operation = answer.operation;
  DWORD attributes = 0;
  if (FAILED(answer.apartment)) {
    *failure = {"left in place, not moved to the Recycle Bin",
                "COM cannot be set up for the shell: " + HresultText(answer.apartment)};
  } else if (sink.DeletedForGood()) {
    *failure = {"deleted for good, not moved to the Recycle Bin",
                "the shell deleted it for good instead of recycling it"};
  } else if (sink.KeptFromDestruction()) {
    *failure = {"left in place, not moved to the Recycle Bin",
                "the shell would have deleted it for good"};
  } else if (answer.fell_back && answer.shell_code != 0) {
    *failure = {what, ShellMessage(answer.shell_code)};
  } else if (!answer.fell_back && sink.Reported() && FAILED(sink.DeleteResult())) {
    *failure = {what, HresultText(sink.DeleteResult())};
  } else if (!answer.fell_back && FAILED(operation.result)) {
    *failure = {what, HresultText(operation.result)};
  } else if (operation.aborted || answer.shell_aborted) {
    *failure = {what, "the shell stopped the removal"};
  } else if (!answer.fell_back && !sink.Reported()) {
    *failure = {what, "the shell did not say it recycled the file"};
  } else if (answer.fell_back && AttributesAt(place, &attributes) != ERROR_FILE_NOT_FOUND) {
    *failure = {what, "the shell left the file in place"};
  } else {
    return true;
  }
  return false;
}

// The folder `dir` as it really lies: past a junction, on the drive a subst drive stands for,
// in the plain form. Nothing when its path cannot be found.
std::optional<std::wstring> FinalFolder(HANDLE dir) {
  std::vector<wchar_t> path(32768, L'\0');
  DWORD length = Sys().GetFinalPathNameByHandleW(dir, path.data(), static_cast<DWORD>(path.size()),
                                                 FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length == 0 || length >= path.size()) return {};
  std::optional<std::wstring> real = ResolveSubst(PlainPath(path.data()));
  if (real && !real->empty() && real->back() != L'\\') *real += L'\\';
  return real;
}

// Why the file `name` (of `size` bytes) in the folder `dir` is not handed to the shell; empty
// when it may be. The shell then gets `shell_path`, built from where the folder really lies.
std::string Refusal(std::map<std::wstring, RecycleVolume>* volumes, HANDLE dir,
                    const std::wstring& name, ULONGLONG size, std::wstring* shell_path) {
  std::optional<std::wstring> folder = FinalFolder(dir);
  if (!folder) return "its volume cannot be found";
  *shell_path = *folder + name;
  std::string refusal = ShellRefusal(*shell_path);
  if (!refusal.empty()) return refusal;
  std::wstring root = VolumeRoot(*shell_path);
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
  std::wstring shell_path;
  std::string refusal = Refusal(&state_->volumes, place.dir(), place.name(),
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
  return Recycle(shell_path, place, failure);
}

}  // namespace platform
