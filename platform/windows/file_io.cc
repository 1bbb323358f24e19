#include "platform/file_io.h"

#include <windows.h>
// The system's macro of that name would rename this layer's function.
#undef ReplaceFile

#include <random>

#include "platform/error_text.h"
#include "platform/interrupt.h"
#include "platform/program.h"
#include "platform/windows/reparse.h"
#include "platform/windows/retry.h"
#include "platform/windows/system_calls.h"
#include "platform/windows/temp_cleanup.h"
#include "platform/windows/wide.h"

// The new text goes to a temporary file beside the script, which ReplaceFileW then puts in the
// script's place. Unlike a plain rename (MoveFileExW), ReplaceFileW gives the new file the
// script's attributes (hidden, system, archive...), its security descriptor (owner and access
// list), its creation time, its alternate data streams and its short name, so that the script
// stays the same file for everyone but for its text.
//
// ReplaceFileW is given a backup name, "<name>.<program>-XXXXXX.bak" beside the script, a name
// no entry has, so that the old text has a name of its own whatever the call leaves behind:
// - success: the new text is in place; the backup is removed.
// - 1175 (ERROR_UNABLE_TO_REMOVE_REPLACED), a sharing violation, access denied, and any failure
//   that leaves no backup: the script never left its name; the temporary file is removed.
// - 1176 or 1177 with the backup present: the script's name is free and its old text is in the
//   backup. After 1176 the new text is moved in; failing that (and after 1177) the backup is
//   moved back. Where neither can be, both files stay and the reason names them.
// Every rename here is made without MOVEFILE_REPLACE_EXISTING, so it never lands on another
// entry (one whose name differs only in case, in a case-sensitive folder). The temporary file
// is removed only once the script's name holds the old or the new text.

namespace platform {
namespace {

bool Fail(FileFailure* failure, const char* what, DWORD err) {
  failure->what = what;
  failure->reason = ErrorText(static_cast<int>(err));
  return false;
}

bool Fail(FileFailure* failure, const char* what, const std::string& reason) {
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

bool SameFile(HANDLE a, HANDLE b) {
  BY_HANDLE_FILE_INFORMATION x, y;
  return GetFileInformationByHandle(a, &x) && GetFileInformationByHandle(b, &y) &&
         x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
         x.nFileIndexLow == y.nFileIndexLow;
}

// Opens the entry itself, never what a link or junction leads to. Another kind of reparse point
// (a cloud placeholder, a deduplicated file) is opened again the ordinary way, so that the
// system presents its contents, as long as that still opens the same file.
HANDLE OpenEntry(const std::wstring& path, DWORD access, DWORD share) {
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS;
  HANDLE entry = CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                             flags | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  FILE_ATTRIBUTE_TAG_INFO tag;
  if (entry == INVALID_HANDLE_VALUE ||
      !GetFileInformationByHandleEx(entry, FileAttributeTagInfo, &tag, sizeof tag) ||
      !(tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
      IsLinkEntry(tag.FileAttributes, tag.ReparseTag)) {
    return entry;
  }
  HANDLE presented =
      CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, flags, nullptr);
  if (presented == INVALID_HANDLE_VALUE) return entry;
  bool same = SameFile(entry, presented);
  CloseHandle(same ? entry : presented);
  return same ? presented : entry;
}

// A link, a directory or a device is refused; true for a regular file.
bool CheckRegular(HANDLE file, FileFailure* failure) {
  FILE_ATTRIBUTE_TAG_INFO tag;
  if (!GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag)) {
    return Fail(failure, "cannot read", GetLastError());
  }
  if (IsLinkEntry(tag.FileAttributes, tag.ReparseTag)) {
    return Fail(failure, "left alone", "symbolic link or junction, not followed");
  }
  if ((tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) || GetFileType(file) != FILE_TYPE_DISK) {
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

// A temporary file given up because the run is ending: removed if it was made, and the creation
// fails with ERROR_OPERATION_ABORTED.
HANDLE Abandoned(HANDLE file, const std::wstring& temp) {
  if (file != INVALID_HANDLE_VALUE) {
    CloseHandle(file);
    DeleteFileW(temp.c_str());
  }
  SetLastError(ERROR_OPERATION_ABORTED);
  return INVALID_HANDLE_VALUE;
}

// Creates a new temporary file, armed for removal on interruption before it exists. Once the
// end of the run is marked, none is created, and one created meanwhile is removed again.
HANDLE CreateTemp(const std::wstring& path, std::wstring* temp) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temp = TempPath(path);
    if (!ArmTempFile(*temp)) return Abandoned(INVALID_HANDLE_VALUE, *temp);
    HANDLE file = CreateFileW(temp->c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD err = GetLastError();
    if (!TempFileMade(file != INVALID_HANDLE_VALUE)) return Abandoned(file, *temp);
    if (file != INVALID_HANDLE_VALUE) return file;
    if (err != ERROR_FILE_EXISTS && err != ERROR_ALREADY_EXISTS) {
      SetLastError(err);
      return INVALID_HANDLE_VALUE;
    }
  }
  return INVALID_HANDLE_VALUE;
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A free name for the backup of the script at `path`, from the same pattern as the temporary file.
std::wstring BackupPath(const std::wstring& path) {
  std::wstring backup;
  for (int attempt = 0; attempt < 100 && (backup.empty() || Exists(backup)); ++attempt) {
    backup = TempPath(path);
    backup.replace(backup.size() - 4, 4, L".bak");
  }
  return backup;
}

// `file`, which lies beside the script at `path`, named the way the user named the script.
std::string Beside(const std::string& path, const std::wstring& file) {
  return path.substr(0, path.find_last_of("\\/") + 1) + ToUtf8(file.substr(file.rfind(L'\\') + 1));
}

DWORD Remove(const std::wstring& path) {
  return RetryWhileShared([&] { return Sys().DeleteFileW(path.c_str()) != 0; });
}

// Renames `from` to `to` only while no entry answers to `to`.
DWORD MoveToFreeName(const std::wstring& from, const std::wstring& to) {
  return RetryWhileShared(
      [&] { return Sys().MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) != 0; });
}

// Removes the temporary file; where it cannot be, the words to add to the reason.
std::string Discard(const std::string& path, const std::wstring& temp) {
  DWORD err = Remove(temp);
  DisarmTempFile();
  return err == 0 ? ""
                  : "; '" + Beside(path, temp) + "' stays: " + ErrorText(static_cast<int>(err));
}

// After the new text is in place: the backup of the old one goes.
bool RemoveBackup(const std::string& path, const std::wstring& backup, FileFailure* failure) {
  DWORD err = Remove(backup);
  return err == 0 || Fail(failure, "replaced, but cannot remove the backup of",
                          "'" + Beside(path, backup) +
                              "' keeps the old text: " + ErrorText(static_cast<int>(err)));
}

// Puts the temporary file in the script's place, as the comment at the top describes.
bool PutInPlace(const std::string& path, const std::wstring& wide, const std::wstring& temp,
                FileFailure* failure) {
  std::wstring backup = BackupPath(wide);
  DWORD err = RetryWhileShared([&] {
    return Sys().ReplaceFileW(wide.c_str(), temp.c_str(), backup.c_str(), 0, nullptr, nullptr) != 0;
  });
  if (err == 0) {
    DisarmTempFile();
    return RemoveBackup(path, backup, failure);
  }
  if (!Exists(backup)) {
    std::string reason = RefusalReason(err, wide);
    return Fail(failure, "cannot replace", reason + Discard(path, temp));
  }
  DisarmTempFile();  // the temporary file may now be the only copy of the new text
  if (err == ERROR_UNABLE_TO_MOVE_REPLACEMENT && MoveToFreeName(temp, wide) == 0) {
    return RemoveBackup(path, backup, failure);
  }
  std::string reason = ErrorText(static_cast<int>(err));
  if (MoveToFreeName(backup, wide) == 0) {
    return Fail(failure, "cannot replace", reason + "; the old text is back" + Discard(path, temp));
  }
  return Fail(failure, "cannot replace",
              reason + "; the old text is in '" + Beside(path, backup) + "', the new text in '" +
                  Beside(path, temp) + "'");
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
  HANDLE opened = INVALID_HANDLE_VALUE;
  DWORD err = RetryWhileShared([&] {
    opened = OpenEntry(wide, GENERIC_WRITE, FILE_SHARE_READ);
    return opened != INVALID_HANDLE_VALUE;
  });
  Handle file(opened);
  return err == 0 || Fail(failure, "cannot write", err);
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
    failure->reason += Discard(path, temp);
    return false;
  }
  if (err != 0)
    return Fail(failure, "cannot replace", ErrorText(static_cast<int>(err)) + Discard(path, temp));
  // An interruption waits while the files change names, so that it never removes the only copy.
  InterruptShield shield;
  return PutInPlace(path, wide, temp, failure);
}

}  // namespace platform
