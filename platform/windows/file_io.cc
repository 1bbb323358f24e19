#include "platform/file_io.h"

// <windows.h> comes first: the other system headers need its types.
// clang-format off
#include <windows.h>
#include <aclapi.h>
// clang-format on
// The system's macro of that name would rename this layer's function.
#undef ReplaceFile

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <random>
#include <vector>

#include "platform/error_text.h"
#include "platform/interrupt.h"
#include "platform/program.h"
#include "platform/temp_names.h"
#include "platform/windows/nt_file.h"
#include "platform/windows/reparse.h"
#include "platform/windows/retry.h"
#include "platform/windows/system_calls.h"
#include "platform/windows/temp_cleanup.h"
#include "platform/windows/wide.h"

// Every file is opened relative to the folder the walk holds open (NtCreateFile with that
// folder's handle as the root), never through its whole path again.
//
// The new text goes to a temporary file beside the script, which one rename then puts in the
// script's place. Not ReplaceFileW: it takes several steps (the script is renamed aside, the new
// file renamed in, the old one removed), and a run killed between two of them leaves the
// script's name empty or the old text under another name. Here the temporary file is marked
// delete-on-close (FileDispositionInfo) as soon as it exists, so that a run killed at any
// instant leaves none behind; the mark comes off only for the rename, which replaces the script
// in one step: FileRenameInformationEx with POSIX semantics (which also replaces a script others
// hold open), or plain FileRenameInformation where that class is refused (before Windows 10
// 1607, other file systems than NTFS, Wine). The native call is used because its RootDirectory
// resolves the bare name in the folder held open.
//
// Carried over from the script, as ReplaceFileW would: its attributes (hidden, system, archive,
// not indexed) and creation time, its access list (and whether it inherits), its owner and
// group where the system lets this user set them (a refused owner or group is ignored), and its
// named streams. Not carried over: the read-only attribute (a read-only script is refused
// before), the short (8.3) name, the object identifier, the encryption and compression state and
// security resource attributes: the new file has those of a new file in the folder.

namespace platform {
namespace {

constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kErrorIsAFolder = 336;  // ERROR_DIRECTORY_NOT_SUPPORTED, missing from MinGW
constexpr FILE_INFORMATION_CLASS kRenameInformation = static_cast<FILE_INFORMATION_CLASS>(10);
constexpr FILE_INFORMATION_CLASS kRenameInformationEx = static_cast<FILE_INFORMATION_CLASS>(65);
// The attributes a new file can be given that ReplaceFileW carries over.
constexpr DWORD kCarriedAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                     FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

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

// Opens the entry itself, never what a link or junction leads to. Another kind of reparse point
// (a cloud placeholder, a deduplicated file) is opened again the ordinary way, so that the
// system presents its contents, as long as that still opens the same file. A folder fails with
// kErrorIsAFolder.
HANDLE OpenEntry(const Place& place, ACCESS_MASK access, ULONG share) {
  if (place.error() != 0) {
    SetLastError(place.error());
    return INVALID_HANDLE_VALUE;
  }
  NTSTATUS status = 0;
  HANDLE entry = OpenAt(place.dir(), place.name(), access, share, FILE_OPEN,
                        FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT, &status);
  if (status == kStatusFileIsADirectory) SetLastError(kErrorIsAFolder);
  FILE_ATTRIBUTE_TAG_INFO tag;
  if (entry == INVALID_HANDLE_VALUE ||
      !GetFileInformationByHandleEx(entry, FileAttributeTagInfo, &tag, sizeof tag) ||
      !(tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
      IsLinkEntry(tag.FileAttributes, tag.ReparseTag)) {
    return entry;
  }
  HANDLE presented =
      OpenAt(place.dir(), place.name(), access, share, FILE_OPEN, FILE_NON_DIRECTORY_FILE);
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

// Checks that the entry opened is a regular file and records what it is.
bool Inspect(const Handle& file, FileIdentity* identity, const char* what, FileFailure* failure) {
  if (!file.ok()) {
    DWORD err = GetLastError();
    if (err == kErrorIsAFolder) return Fail(failure, "left alone", "not a regular file");
    return Fail(failure, what, err);
  }
  if (!CheckRegular(file.get(), failure)) return false;
  return IdentityOf(file.get(), identity) || Fail(failure, what, GetLastError());
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
    if (!Sys().WriteFile(file, bytes.data(), chunk, &put, nullptr) || put == 0) return false;
    bytes.remove_prefix(put);
  }
  return true;
}

// "<name>.<program>-XXXXXX.tmp", the name shortened, never inside a surrogate pair, where the
// whole would pass a name's limit of 255 UTF-16 units.
std::wstring TempName(const std::wstring& name) {
  static const wchar_t kAlphabet[] =
      L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937 random{std::random_device{}()};
  std::wstring suffix = L"." + ToWide(ProgramName()) + L"-";
  for (int i = 0; i < 6; ++i)
    suffix += kAlphabet[random() % (sizeof kAlphabet / sizeof(wchar_t) - 1)];
  suffix += L".tmp";
  return name.substr(0, WholeCharacters(name, 255 - suffix.size())) + suffix;
}

// The temporary file: its handle, its name beside the script, and whether it is marked to go
// when the handle closes.
struct Temp {
  Handle file;
  std::wstring name;
  bool marked = false;
};

bool SetMark(Temp* temp, bool marked) {
  FILE_DISPOSITION_INFO disposition = {static_cast<BOOLEAN>(marked)};
  if (!Sys().SetFileInformationByHandle(temp->file.get(), FileDispositionInfo, &disposition,
                                        sizeof disposition)) {
    return false;
  }
  temp->marked = marked;
  return true;
}

// Removes the temporary file: it goes as its handle closes, once marked. Where it cannot be
// marked, the words to add to the reason.
std::string Discard(const Place& place, Temp* temp) {
  std::string stays;
  if (temp->file.ok() && !temp->marked && !SetMark(temp, true)) {
    stays = "; '" + place.Beside(temp->name) +
            "' stays: " + ErrorText(static_cast<int>(GetLastError()));
  }
  temp->file.Close();
  DisarmTempFile();
  return stays;
}

// Creates a new temporary file beside the script and marks it at once, armed before it exists
// so that an ending run waits for the creation. Once the end of the run is marked none is
// created, and one created meanwhile goes again. 0, or the error code (with, in `stays`, the
// words naming a file that could not be removed).
DWORD CreateTemp(const Place& place, Temp* temp, std::string* stays) {
  // The most this user may do: whether the owner can be carried over depends on it.
  constexpr ACCESS_MASK kAccess = MAXIMUM_ALLOWED | GENERIC_WRITE | DELETE | READ_CONTROL |
                                  WRITE_DAC | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp->name = TempName(place.name());
    NoteOwnTempName(ToUtf8(temp->name));
    if (!ArmTempFile()) return ERROR_OPERATION_ABORTED;
    temp->file.Reset(OpenAt(place.dir(), temp->name, kAccess, FILE_SHARE_READ | FILE_SHARE_DELETE,
                            FILE_CREATE, FILE_NON_DIRECTORY_FILE));
    DWORD err = GetLastError();
    bool made = temp->file.ok();
    if (made && !SetMark(temp, true)) err = GetLastError();
    if (!TempFileMade(made)) {
      *stays = Discard(place, temp);
      return ERROR_OPERATION_ABORTED;
    }
    if (made && temp->marked) return 0;
    if (made) {
      *stays = Discard(place, temp);
      return err;
    }
    if (err != ERROR_FILE_EXISTS && err != ERROR_ALREADY_EXISTS) return err;
  }
  return ERROR_FILE_EXISTS;
}

// The attributes and creation time of the script.
DWORD CarryBasic(HANDLE script, HANDLE temp) {
  FILE_BASIC_INFO basic;
  if (!GetFileInformationByHandleEx(script, FileBasicInfo, &basic, sizeof basic)) {
    return GetLastError();
  }
  FILE_BASIC_INFO carried = {};  // zero times stay as they are
  carried.CreationTime = basic.CreationTime;
  carried.FileAttributes = basic.FileAttributes & kCarriedAttributes;
  if (carried.FileAttributes == 0) carried.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  return Sys().SetFileInformationByHandle(temp, FileBasicInfo, &carried, sizeof carried)
             ? 0
             : GetLastError();
}

// The script's access list, and its owner and group where this user may set them.
DWORD CarrySecurity(HANDLE script, HANDLE temp) {
  PSID owner = nullptr, group = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD err = GetSecurityInfo(
      script, SE_FILE_OBJECT,
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
      &group, &dacl, nullptr, &descriptor);
  if (err != ERROR_SUCCESS) return err;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  GetSecurityDescriptorControl(descriptor, &control, &revision);
  SECURITY_INFORMATION which = DACL_SECURITY_INFORMATION;
  if (control & SE_DACL_PROTECTED) which |= PROTECTED_DACL_SECURITY_INFORMATION;
  err = SetSecurityInfo(temp, SE_FILE_OBJECT, which, nullptr, nullptr, dacl, nullptr);
  if (err == ERROR_SUCCESS) {
    SetSecurityInfo(temp, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, owner, nullptr, nullptr,
                    nullptr);
    SetSecurityInfo(temp, SE_FILE_OBJECT, GROUP_SECURITY_INFORMATION, nullptr, group, nullptr,
                    nullptr);
  }
  LocalFree(descriptor);
  return err;
}

DWORD CopyStream(HANDLE script, HANDLE temp, std::wstring_view name) {
  Handle from(OpenAt(script, name, GENERIC_READ, kShareAll, FILE_OPEN, FILE_NON_DIRECTORY_FILE));
  if (!from.ok()) return GetLastError();
  Handle to(OpenAt(temp, name, GENERIC_WRITE, 0, FILE_OVERWRITE_IF, FILE_NON_DIRECTORY_FILE));
  if (!to.ok()) return GetLastError();
  std::vector<char> chunk(1 << 16);
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(from.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr)) {
      return GetLastError();
    }
    if (got == 0) break;
    if (!WriteAll(to.get(), std::string_view(chunk.data(), got))) return GetLastError();
  }
  return Sys().FlushFileBuffers(to.get()) ? 0 : GetLastError();
}

// The script's named streams, ":<name>:$DATA", each opened relative to the files' handles. A
// file about to go takes no new stream: the temporary file's mark comes off before the first.
DWORD CarryStreams(HANDLE script, Temp* temp) {
  std::vector<LONGLONG> buffer(1 << 13);
  while (!GetFileInformationByHandleEx(script, FileStreamInfo, buffer.data(),
                                       static_cast<DWORD>(buffer.size() * sizeof(LONGLONG)))) {
    DWORD err = GetLastError();
    if (err == ERROR_MORE_DATA && buffer.size() < (1 << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    // A file system without streams (FAT; Wine) has only the default one.
    bool none = err == ERROR_HANDLE_EOF || err == ERROR_INVALID_PARAMETER ||
                err == ERROR_INVALID_FUNCTION || err == ERROR_NOT_SUPPORTED;
    return none ? 0 : err;
  }
  const char* at = reinterpret_cast<const char*>(buffer.data());
  for (;;) {
    const auto& stream = *reinterpret_cast<const FILE_STREAM_INFO*>(at);
    std::wstring_view name(stream.StreamName, stream.StreamNameLength / sizeof(wchar_t));
    if (name != L"::$DATA") {
      if (temp->marked && !SetMark(temp, false)) return GetLastError();
      DWORD err = CopyStream(script, temp->file.get(), name);
      if (err != 0) return err;
    }
    if (stream.NextEntryOffset == 0) return 0;
    at += stream.NextEntryOffset;
  }
}

// Renames the temporary file over the script, in one step.
DWORD Rename(HANDLE temp, const Place& place) {
  const std::wstring& name = place.name();
  // No shorter than the structure itself, which the system checks first.
  ULONG size = static_cast<ULONG>(
      std::max(sizeof(FILE_RENAME_INFO), offsetof(FILE_RENAME_INFO, FileName) + name.size() * 2));
  std::vector<LONGLONG> buffer(size / sizeof(LONGLONG) + 1);
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->Flags = FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS;
  info->RootDirectory = place.dir();
  info->FileNameLength = static_cast<DWORD>(name.size() * 2);
  memcpy(info->FileName, name.data(), name.size() * 2);
  IO_STATUS_BLOCK io = {};
  NTSTATUS status = Sys().NtSetInformationFile(temp, &io, info, size, kRenameInformationEx);
  const NTSTATUS kRefusedClass[] = {static_cast<NTSTATUS>(0xC0000002),   // not implemented
                                    static_cast<NTSTATUS>(0xC0000003),   // invalid class
                                    static_cast<NTSTATUS>(0xC000000D),   // invalid parameter
                                    static_cast<NTSTATUS>(0xC00000BB)};  // not supported
  if (std::find(std::begin(kRefusedClass), std::end(kRefusedClass), status) !=
      std::end(kRefusedClass)) {
    info->Flags = 0;
    info->ReplaceIfExists = TRUE;
    status = Sys().NtSetInformationFile(temp, &io, info, size, kRenameInformation);
  }
  return status < 0 ? ErrorOfStatus(status) : 0;
}

// A file another program wrote to since it was read is left as that program left it.
bool StillTheFileRead(const Handle& script, const FileIdentity& read, FileFailure* failure) {
  FileIdentity now;
  if (!Inspect(script, &now, "cannot replace", failure)) return false;
  return now == read || Fail(failure, "left alone", "changed while stamping");
}

// Puts the temporary file in the script's place: the script's streams carried, its identity
// checked once more, the script renamed over. The mark comes off just before the rename (a file
// about to go cannot be renamed), or before the first named stream, so that a kill at almost
// any instant leaves no temporary file; while the rename waits for another program, it is on
// again.
bool PutInPlace(const Place& place, Handle* script, const FileIdentity& read, Temp* temp,
                FileFailure* failure) {
  DWORD err = CarryStreams(script->get(), temp);
  script->Close();  // a plain rename replaces no file held open
  if (err != 0) return Fail(failure, "cannot replace", ErrorText(err) + Discard(place, temp));
  script->Reset(OpenEntry(place, FILE_READ_ATTRIBUTES, kShareAll));
  bool same = StillTheFileRead(*script, read, failure);
  script->Close();
  if (!same) {
    failure->reason += Discard(place, temp);
    return false;
  }
  err = RetryWhileShared([&] {
    DWORD refused =
        temp->marked && !SetMark(temp, false) ? GetLastError() : Rename(temp->file.get(), place);
    if (refused != 0 && !temp->marked) SetMark(temp, true);
    SetLastError(refused);
    return refused == 0;
  });
  if (err != 0) {
    std::string reason = RefusalReason(err, place);
    return Fail(failure, "cannot replace", reason + Discard(place, temp));
  }
  DisarmTempFile();
  temp->file.Close();
  return true;
}

}  // namespace

bool InspectRegularFile(const FileRef& file, FileIdentity* identity, FileFailure* failure) {
  Handle entry(OpenEntry(Place(file), FILE_READ_ATTRIBUTES, kShareAll));
  return Inspect(entry, identity, "cannot read", failure);
}

bool ReadRegularFile(const FileRef& file, std::string* bytes, FileIdentity* identity,
                     FileFailure* failure) {
  // Shared for reading only: a script another program is writing is not read half-written.
  Handle entry(OpenEntry(Place(file), GENERIC_READ, FILE_SHARE_READ));
  if (!Inspect(entry, identity, "cannot read", failure)) return false;
  return ReadAll(entry.get(), bytes) || Fail(failure, "cannot read", GetLastError());
}

// A link is never followed on Windows: the log is opened as the entry it is.
std::string FollowFileLinks(const std::string& path) { return path; }

bool CheckWritable(const FileRef& file, FileFailure* failure) {
  Place place(file);
  DWORD attributes = 0;
  DWORD err = AttributesAt(place, &attributes);
  if (err != 0) return Fail(failure, "cannot write", err);
  if (attributes & FILE_ATTRIBUTE_READONLY)
    return Fail(failure, "cannot write", "the file is read-only");
  err = RetryWhileShared([&] {
    Handle entry(OpenEntry(place, GENERIC_WRITE, FILE_SHARE_READ));
    DWORD refused = entry.ok() ? 0 : GetLastError();
    entry.Close();
    SetLastError(refused);
    return refused == 0;
  });
  return err == 0 || Fail(failure, "cannot write", err);
}

bool ReplaceFile(const FileRef& file, std::string_view bytes, const FileIdentity& read,
                 FileFailure* failure) {
  Place place(file);
  // The script stays open while what it carries is copied.
  Handle script(OpenEntry(place, READ_CONTROL | FILE_READ_ATTRIBUTES, kShareAll));
  if (!StillTheFileRead(script, read, failure)) return false;
  Temp temp;
  std::string stays;
  DWORD err = CreateTemp(place, &temp, &stays);
  if (err != 0) return Fail(failure, "cannot create temporary file for", ErrorText(err) + stays);
  if (!WriteAll(temp.file.get(), bytes) || !Sys().FlushFileBuffers(temp.file.get())) {
    err = GetLastError();
  }
  if (err == 0) err = CarryBasic(script.get(), temp.file.get());
  if (err == 0) err = CarrySecurity(script.get(), temp.file.get());
  if (err != 0) {
    return Fail(failure, "cannot replace",
                ErrorText(static_cast<int>(err)) + Discard(place, &temp));
  }
  // An ending run waits while the mark is off, so that it never ends the process then.
  InterruptShield shield;
  return PutInPlace(place, &script, read, &temp, failure);
}

}  // namespace platform
