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

// Injected outcomes, the last one repeating: 0 calls the system; kAside first moves the script
// to the backup name, as ReplaceFileW does before 1176 or 1177.
constexpr DWORD kAside = 1u << 30, kLocked = ERROR_SHARING_VIOLATION;
constexpr DWORD kDenied = ERROR_ACCESS_DENIED, kTaken = ERROR_ALREADY_EXISTS;
std::vector<DWORD> g_replace, g_delete;
DWORD g_move_in, g_move_back, g_slept;
DWORD Next(std::vector<DWORD>& outcomes) {
  DWORD outcome = outcomes.front();
  if (outcomes.size() > 1) outcomes.erase(outcomes.begin());
  return outcome;
}
BOOL Refuse(DWORD err) { return SetLastError(err), FALSE; }
BOOL WINAPI Replace(LPCWSTR script, LPCWSTR temp, LPCWSTR backup, DWORD flags, LPVOID, LPVOID) {
  DWORD outcome = Next(g_replace);
  if (outcome == 0) return ::ReplaceFileW(script, temp, backup, flags, nullptr, nullptr);
  if (outcome & kAside) ::MoveFileExW(script, backup, 0);
  return Refuse(outcome & ~kAside);
}
BOOL WINAPI Move(LPCWSTR from, LPCWSTR to, DWORD flags) {
  DWORD err = std::wstring_view(from).ends_with(L".tmp") ? g_move_in : g_move_back;
  return err ? Refuse(err) : ::MoveFileExW(from, to, flags);
}
BOOL WINAPI Delete(LPCWSTR path) {
  DWORD err = Next(g_delete);
  return err ? Refuse(err) : ::DeleteFileW(path);
}
void WINAPI Wait(DWORD ms) { g_slept += ms; }
std::string Read(const std::filesystem::path& path) {
  std::ifstream in(path);
  return {std::istreambuf_iterator<char>(in), {}};
}

// remove: RemoveFile, else ReplaceFile; text: the script's afterwards; err: the system's error
// in the reason (0: success); kept: files left beside the script, each named in the reason.
// clang-format off
struct Row { bool remove; std::vector<DWORD> replace, del; DWORD move_in, move_back; bool read_only; const char* text; DWORD err; size_t kept; DWORD slept; };
const Row kRows[] = {
    {false, {0}, {0}, 0, 0, false, "new", 0, 0, 0},
    {false, {1175}, {0}, 0, 0, false, "old", 1175, 0, 0},
    {false, {1176}, {0}, 0, 0, false, "old", 1176, 0, 0},  // the script kept its name
    {false, {1176 | kAside}, {0}, 0, 0, false, "new", 0, 0, 0},
    {false, {1176 | kAside}, {0}, kTaken, 0, false, "old", 1176, 0, 0},
    {false, {1176 | kAside}, {0}, kTaken, kTaken, false, "", 1176, 2, 0},
    {false, {1177 | kAside}, {0}, 0, 0, false, "old", 1177, 0, 0},
    {false, {1177 | kAside}, {0}, 0, kDenied, false, "", 1177, 2, 0},
    {false, {kLocked, ERROR_LOCK_VIOLATION, 0}, {0}, 0, 0, false, "new", 0, 0, 45},
    {false, {kLocked}, {0}, 0, 0, false, "old", kLocked, 0, 945},
    {false, {kDenied}, {0}, 0, 0, false, "old", kDenied, 0, 0},
    {false, {0}, {kDenied}, 0, 0, false, "new", kDenied, 1, 0},  // the backup stays
    {true, {0}, {kLocked, 0}, 0, 0, false, "", 0, 0, 15},
    {true, {0}, {kLocked}, 0, 0, false, "old", kLocked, 0, 945},
    {true, {0}, {kDenied}, 0, 0, true, "old", kDenied, 0, 0},
    {true, {0}, {kDenied}, 0, 0, false, "old", kDenied, 0, 0},
};
// clang-format on

TEST(FileIoWin, EveryOutcomeLeavesTheOldOrTheNewTextAndNamesWhatStays) {
  ScopedSystemCalls restore;
  Sys() = {.ReplaceFileW = Replace, .MoveFileExW = Move, .DeleteFileW = Delete, .Sleep = Wait};
  auto dir = std::filesystem::temp_directory_path() /
             ("file_io_win" + std::to_string(GetCurrentProcessId()));
  for (const Row& row : kRows) {
    SCOPED_TRACE(&row - kRows);
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "App.rc") << "old", std::ofstream(dir / "other.rc") << "other";
    std::string script = ToUtf8((dir / "App.rc").wstring());
    if (row.read_only) SetFileAttributesW(LongPath(script).c_str(), FILE_ATTRIBUTE_READONLY);
    g_replace = row.replace, g_delete = row.del, g_move_in = row.move_in,
    g_move_back = row.move_back, g_slept = 0;
    FileIdentity read;
    FileFailure failure;
    ASSERT_TRUE(InspectRegularFile(script, &read, &failure));
    EXPECT_EQ(
        row.remove ? RemoveFile(script, &failure) : ReplaceFile(script, "new", read, &failure),
        row.err == 0);
    SetFileAttributesW(LongPath(script).c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(Read(dir / "App.rc"), row.text);
    EXPECT_EQ(Read(dir / "other.rc"), "other");
    std::string reason = row.read_only ? "the file is read-only" : ErrorText(row.err);
    EXPECT_TRUE(!row.err || failure.reason.find(reason) != std::string::npos) << failure.reason;
    EXPECT_EQ(g_slept, row.slept);
    size_t kept = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      std::string name = ToUtf8(entry.path().filename().wstring());
      if (name == "App.rc" || name == "other.rc") continue;
      ++kept;
      EXPECT_NE(failure.reason.find(ToUtf8(entry.path().wstring())), std::string::npos) << name;
      EXPECT_EQ(Read(entry.path()), name.ends_with(".bak") ? "old" : "new") << name;
    }
    EXPECT_EQ(kept, row.kept);
    std::filesystem::remove_all(dir);
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
