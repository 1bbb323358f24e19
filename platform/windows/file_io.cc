#include "platform/file_io.h"

#include <windows.h>
// The system's macro of that name would rename this layer's function.
#undef ReplaceFile

#include <random>

#include "platform/error_text.h"
#include "platform/program.h"
#include "platform/windows/temp_cleanup.h"
#include "platform/windows/wide.h"

// The new text goes to a temporary file beside the script, which ReplaceFileW then puts in the
// script's place. Unlike a plain rename (MoveFileExW), ReplaceFileW gives the new file the
// script's attributes (hidden, system, archive...), its security descriptor (owner and access
// list), its creation time, its alternate data streams and its short name, so that the script
// stays the same file for everyone but for its text.

namespace platform {
namespace {

bool Fail(FileFailure* failure, const char* what, DWORD err) {
  failure->what = what;
  failure->reason = ErrorText(static_cast<int>(err));
  return false;
}

bool Fail(FileFailure* failure, const char* what, const char* reason) {
  failure->what = what;
  failure->reason = reason;
  return false;
}

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() { Close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  bool Close() {
    if (!ok()) return true;
    bool closed = CloseHandle(handle_) != 0;
    handle_ = INVALID_HANDLE_VALUE;
    return closed;
  }

 private:
  HANDLE handle_;
};

// Opens the entry itself, never what a link or junction leads to.
HANDLE OpenEntry(const std::wstring& path, DWORD access, DWORD share) {
  return CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                     FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// A link, a directory or a device is refused; true for a regular file.
bool CheckRegular(HANDLE file, FileFailure* failure) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info)) return Fail(failure, "cannot read", GetLastError());
  if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    return Fail(failure, "left alone", "symbolic link or junction, not followed");
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || GetFileType(file) != FILE_TYPE_DISK) {
    return Fail(failure, "left alone", "not a regular file");
  }
  return true;
}

// What the open file is: its volume and index, size, and last write and change times.
bool IdentityOf(HANDLE file, FileIdentity* identity) {
  BY_HANDLE_FILE_INFORMATION info;
  FILE_BASIC_INFO basic;
  if (!GetFileInformationByHandle(file, &info) ||
      !GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) {
    return false;
  }
  identity->device = info.dwVolumeSerialNumber;
  identity->inode =
      (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  identity->size = (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  identity->modified_ns = basic.LastWriteTime.QuadPart * 100;
  identity->changed_ns = basic.ChangeTime.QuadPart * 100;
  return true;
}

// Opens `path` as a regular file and records what it is.
bool Inspect(Handle* file, FileIdentity* identity, const char* what, FileFailure* failure) {
  if (!file->ok()) return Fail(failure, what, GetLastError());
  if (!CheckRegular(file->get(), failure)) return false;
  return IdentityOf(file->get(), identity) || Fail(failure, what, GetLastError());
}

bool ReadAll(HANDLE file, std::string* bytes) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file, &size)) return false;
  bytes->assign(static_cast<size_t>(size.QuadPart) + 1, '\0');
  size_t used = 0;
  for (;;) {
    if (used == bytes->size()) bytes->resize(bytes->size() * 2);
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes->size() - used, 1 << 24));
    DWORD got = 0;
    if (!ReadFile(file, bytes->data() + used, chunk, &got, nullptr)) return false;
    if (got == 0) break;
    used += got;
  }
  bytes->resize(used);
  return true;
}

bool WriteAll(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1 << 24));
    DWORD put = 0;
    if (!WriteFile(file, bytes.data(), chunk, &put, nullptr) || put == 0) return false;
    bytes.remove_prefix(put);
  }
  return true;
}

// "<leaf>.<program>-XXXXXX.tmp" beside `path`, the leaf shortened where the whole would pass a
// name's limit of 255 UTF-16 units.
std::wstring TempPath(const std::wstring& path) {
  static const wchar_t kAlphabet[] =
      L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937 random{std::random_device{}()};
  std::wstring suffix = L"." + ToWide(ProgramName()) + L"-";
  for (int i = 0; i < 6; ++i)
    suffix += kAlphabet[random() % (sizeof kAlphabet / sizeof(wchar_t) - 1)];
  suffix += L".tmp";
  size_t leaf_start = path.rfind(L'\\') + 1;
  std::wstring leaf = path.substr(leaf_start, 255 - suffix.size());
  return path.substr(0, leaf_start) + leaf + suffix;
}

// Creates a new temporary file, armed for removal on interruption before it exists.
HANDLE CreateTemp(const std::wstring& path, std::wstring* temp) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temp = TempPath(path);
    ArmTempFile(*temp);
    HANDLE file = CreateFileW(temp->c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
    DWORD err = GetLastError();
    DisarmTempFile();
    if (err != ERROR_FILE_EXISTS && err != ERROR_ALREADY_EXISTS) {
      SetLastError(err);
      return INVALID_HANDLE_VALUE;
    }
  }
  return INVALID_HANDLE_VALUE;
}

// Puts the temporary file in the script's place. When ReplaceFileW has already removed the
// script but could not move the new file in, the plain rename finishes the job.
DWORD PutInPlace(const std::wstring& path, const std::wstring& temp) {
  if (ReplaceFileW(path.c_str(), temp.c_str(), nullptr, 0, nullptr, nullptr)) return 0;
  DWORD err = GetLastError();
  if (err != ERROR_UNABLE_TO_MOVE_REPLACEMENT) return err;
  DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
  return MoveFileExW(temp.c_str(), path.c_str(), flags) ? 0 : GetLastError();
}

// A file another program wrote to since it was read is left as that program left it.
bool StillTheFileRead(const std::wstring& path, const FileIdentity& read, FileFailure* failure) {
  Handle original(OpenEntry(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE));
  FileIdentity now;
  if (!Inspect(&original, &now, "cannot replace", failure)) {
    return false;
  }
  return now == read || Fail(failure, "left alone", "changed while stamping");
}

}  // namespace

bool InspectRegularFile(const std::string& path, FileIdentity* identity, FileFailure* failure) {
  std::wstring wide = LongPath(path);
  Handle file(OpenEntry(wide, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE));
  return Inspect(&file, identity, "cannot read", failure);
}

bool ReadRegularFile(const std::string& path, std::string* bytes, FileIdentity* identity,
                     FileFailure* failure) {
  // Shared for reading only: a script another program is writing is not read half-written.
  std::wstring wide = LongPath(path);
  Handle file(OpenEntry(wide, GENERIC_READ, FILE_SHARE_READ));
  if (!Inspect(&file, identity, "cannot read", failure)) return false;
  return ReadAll(file.get(), bytes) || Fail(failure, "cannot read", GetLastError());
}

// A link is never followed on Windows: the log is opened as the entry it is.
std::string FollowFileLinks(const std::string& path) { return path; }

bool CheckWritable(const std::string& path, FileFailure* failure) {
  std::wstring wide = LongPath(path);
  DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return Fail(failure, "cannot write", GetLastError());
  if (attributes & FILE_ATTRIBUTE_READONLY)
    return Fail(failure, "cannot write", "the file is read-only");
  Handle file(OpenEntry(wide, GENERIC_WRITE, FILE_SHARE_READ));
  return file.ok() || Fail(failure, "cannot write", GetLastError());
}

bool ReplaceFile(const std::string& path, std::string_view bytes, const FileIdentity& read,
                 FileFailure* failure) {
  std::wstring wide = LongPath(path);
  if (!StillTheFileRead(wide, read, failure)) return false;
  std::wstring temp;
  Handle file(CreateTemp(wide, &temp));
  if (!file.ok()) return Fail(failure, "cannot create temporary file for", GetLastError());
  DWORD err = 0;
  if (!WriteAll(file.get(), bytes) || !FlushFileBuffers(file.get())) err = GetLastError();
  if (!file.Close() && err == 0) err = GetLastError();
  if (err == 0 && !StillTheFileRead(wide, read, failure)) {
    DeleteFileW(temp.c_str());
    DisarmTempFile();
    return false;
  }
  if (err == 0) err = PutInPlace(wide, temp);
  if (err != 0) DeleteFileW(temp.c_str());
  DisarmTempFile();
  return err == 0 || Fail(failure, "cannot replace", err);
}

}  // namespace platform
