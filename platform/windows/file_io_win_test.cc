#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/error_text.h"
#include "platform/file_remove.h"
#include "platform/windows/reparse.h"
#include "platform/windows/system_calls.h"
#include "platform/windows/wide.h"

#undef ReplaceFile  // the system's macro would rename the function under test

namespace platform {
namespace {

// Injected outcomes, the last one repeating; 0 calls the system. open: opening the entry to
// remove; rename: the plain rename (the Ex class is refused, as by older systems); mark: the
// delete-on-close mark, set or cleared.
constexpr NTSTATUS kShared = static_cast<NTSTATUS>(0xC0000043);  // sharing violation
constexpr NTSTATUS kLockedNt = static_cast<NTSTATUS>(0xC0000054), kDeniedNt = 0xC0000022;
constexpr DWORD kDenied = ERROR_ACCESS_DENIED;
std::vector<NTSTATUS> g_open, g_rename;
std::vector<DWORD> g_mark;
bool g_change;
DWORD g_slept;
std::filesystem::path g_dir;
template <typename T>
T Next(std::vector<T>& outcomes) {
  T outcome = outcomes.front();
  if (outcomes.size() > 1) outcomes.erase(outcomes.begin());
  return outcome;
}
NTSTATUS NTAPI Open(PHANDLE file, ACCESS_MASK access, POBJECT_ATTRIBUTES attributes,
                    PIO_STATUS_BLOCK io, PLARGE_INTEGER size, ULONG flags, ULONG share,
                    ULONG disposition, ULONG options, PVOID ea, ULONG ea_size) {
  if (disposition == FILE_CREATE && g_change) std::ofstream(g_dir / "App.rc") << "changed";
  NTSTATUS outcome = access & DELETE && disposition == FILE_OPEN ? Next(g_open) : 0;
  return outcome ? outcome
                 : ::NtCreateFile(file, access, attributes, io, size, flags, share, disposition,
                                  options, ea, ea_size);
}
NTSTATUS NTAPI Rename(HANDLE file, PIO_STATUS_BLOCK io, PVOID info, ULONG size,
                      FILE_INFORMATION_CLASS kind) {
  if (kind != 10) return static_cast<NTSTATUS>(0xC0000003);  // invalid class
  NTSTATUS outcome = Next(g_rename);
  return outcome ? outcome : ::NtSetInformationFile(file, io, info, size, kind);
}
BOOL WINAPI Mark(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID info, DWORD size) {
  DWORD err = kind == FileDispositionInfo ? Next(g_mark) : 0;
  return err ? (SetLastError(err), FALSE) : ::SetFileInformationByHandle(file, kind, info, size);
}
void WINAPI Wait(DWORD ms) { g_slept += ms; }
DWORD g_flush;
BOOL WINAPI Flush(HANDLE file) {
  return g_flush ? (SetLastError(g_flush), FALSE) : ::FlushFileBuffers(file);
}
std::string Read(const std::filesystem::path& path) {
  std::ifstream in(path);
  return {std::istreambuf_iterator<char>(in), {}};
}

// remove: RemoveFile (a path alone), else ReplaceFile (through the folder held open); change:
// the script changes as the temporary file is made; text: the script's afterwards; reason: the
// failure's ("" for success); kept: temporary files left, each named in the reason; flush: the
// outcome of writing the new text out.
// clang-format off
struct Row { bool remove; std::vector<NTSTATUS> open, rename; std::vector<DWORD> mark; bool read_only, change; const char* text; std::string reason; size_t kept; DWORD slept; DWORD flush; };
const Row kRows[] = {
    {false, {0}, {0}, {0}, false, false, "new", "", 0, 0, 0},
    {false, {0}, {kShared, kLockedNt, 0}, {0}, false, false, "new", "", 0, 45, 0},
    {false, {0}, {kShared}, {0}, false, false, "old", ErrorText(ERROR_SHARING_VIOLATION), 0, 945, 0},
    {false, {0}, {kDeniedNt}, {0}, false, false, "old", ErrorText(kDenied), 0, 0, 0},
    {false, {0}, {kDeniedNt}, {0, 0, kDenied}, false, false, "old", ErrorText(kDenied), 1, 0, 0},
    {false, {0}, {0}, {0}, false, true, "changed", "changed while stamping", 0, 0, 0},
    {false, {0}, {0}, {kDenied}, false, false, "old", ErrorText(kDenied), 1, 0, 0},  // never marked
    {false, {0}, {0}, {0}, false, false, "old", ErrorText(ERROR_DISK_FULL), 0, 0, ERROR_DISK_FULL},
    {true, {kShared, 0}, {0}, {0}, false, false, "", "", 0, 15, 0},
    {true, {kShared}, {0}, {0}, false, false, "old", ErrorText(ERROR_SHARING_VIOLATION), 0, 945, 0},
    {true, {0}, {0}, {0}, true, false, "old", "the file is read-only", 0, 0, 0},
    {true, {0}, {0}, {kDenied}, false, false, "old", ErrorText(kDenied), 0, 0, 0},
};
// clang-format on

TEST(FileIoWin, EveryOutcomeLeavesTheOldOrTheNewTextAndNamesWhatStays) {
  ScopedSystemCalls restore;
  Sys().NtCreateFile = Open, Sys().NtSetInformationFile = Rename;
  Sys().SetFileInformationByHandle = Mark, Sys().Sleep = Wait, Sys().FlushFileBuffers = Flush;
  g_dir = std::filesystem::temp_directory_path() /
          ("file_io_win" + std::to_string(GetCurrentProcessId()));
  for (const Row& row : kRows) {
    SCOPED_TRACE(&row - kRows);
    std::filesystem::create_directories(g_dir);
    std::ofstream(g_dir / "App.rc") << "old", std::ofstream(g_dir / "other.rc") << "other";
    std::string script = ToUtf8((g_dir / "App.rc").wstring());
    if (row.read_only) SetFileAttributesW(LongPath(script).c_str(), FILE_ATTRIBUTE_READONLY);
    g_open = {0}, g_rename = row.rename, g_mark = {0}, g_change = false, g_slept = 0;
    FileIdentity read;
    FileFailure failure;
    int err = 0;
    FileRef in_folder(Folder::Open(ToUtf8(g_dir.wstring()), &err), script);
    ASSERT_TRUE(InspectRegularFile(in_folder, &read, &failure));
    g_open = row.open, g_mark = row.mark, g_change = row.change, g_flush = row.flush;
    EXPECT_EQ(
        row.remove ? RemoveFile(script, &failure) : ReplaceFile(in_folder, "new", read, &failure),
        row.reason.empty());
    g_open = {0}, g_mark = {0}, g_flush = 0;
    SetFileAttributesW(LongPath(script).c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(Read(g_dir / "App.rc"), row.text);
    EXPECT_EQ(Read(g_dir / "other.rc"), "other");
    EXPECT_TRUE(failure.reason.starts_with(row.reason)) << failure.reason;
    EXPECT_EQ(g_slept, row.slept);
    size_t kept = 0;
    for (const auto& entry : std::filesystem::directory_iterator(g_dir)) {
      std::string name = ToUtf8(entry.path().filename().wstring());
      if (name == "App.rc" || name == "other.rc") continue;
      ++kept;
      EXPECT_NE(failure.reason.find("'" + ToUtf8(entry.path().wstring()) + "' stays"),
                std::string::npos)
          << name;
    }
    EXPECT_EQ(kept, row.kept);
    in_folder.folder.reset();
    std::filesystem::remove_all(g_dir);
  }
}

TEST(FileIoWin, OnlyNameSurrogatesAreLinks) {
  const DWORD dir = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT,
              file = FILE_ATTRIBUTE_REPARSE_POINT;
  EXPECT_TRUE(IsLinkEntry(dir, IO_REPARSE_TAG_MOUNT_POINT) &&
              IsLinkEntry(file, IO_REPARSE_TAG_SYMLINK));
  EXPECT_TRUE(IsLinkEntry(dir, 0));  // how Wine shows a link to a folder
  EXPECT_FALSE(IsLinkEntry(dir, IO_REPARSE_TAG_CLOUD_6) || IsLinkEntry(dir, IO_REPARSE_TAG_PROJFS));
  EXPECT_FALSE(IsLinkEntry(file, IO_REPARSE_TAG_DEDUP) ||
               IsLinkEntry(FILE_ATTRIBUTE_DIRECTORY, IO_REPARSE_TAG_SYMLINK));
}

}  // namespace
}  // namespace platform
