#include <gtest/gtest.h>
#include <windows.h>
#undef ReplaceFile

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/error_text.h"
#include "platform/file_io.h"
#include "platform/file_remove.h"
#include "platform/windows/reparse.h"
#include "platform/windows/system_calls.h"
#include "platform/windows/wide.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

// The injected outcomes, each list's last one repeating: 0 calls the system's function; kAside
// first moves the script to the backup name, as ReplaceFileW does before 1176 or 1177.
constexpr DWORD kAside = 1u << 30;
std::vector<DWORD> g_replace, g_delete;
DWORD g_move_in, g_move_back, g_slept;  // errors of the renames of the temporary file and backup

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
  DWORD outcome = Next(g_delete);
  return outcome ? Refuse(outcome) : ::DeleteFileW(path);
}
void WINAPI Wait(DWORD ms) { g_slept += ms; }

std::string Read(const fs::path& path) {
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

struct Row {
  bool remove;  // RemoveFile, else ReplaceFile
  std::vector<DWORD> replace, del;
  DWORD move_in, move_back;
  bool read_only;
  const char* text;  // what the script holds afterwards ("" when it is gone)
  DWORD err;         // the system's error the reason gives, 0 for success
  size_t kept;       // files left beside the script, each named in the reason
  DWORD slept;
};

const Row kRows[] = {
    {false, {0}, {0}, 0, 0, false, "new", 0, 0, 0},
    {false, {ERROR_UNABLE_TO_REMOVE_REPLACED}, {0}, 0, 0, false, "old", 1175, 0, 0},
    {false, {1176}, {0}, 0, 0, false, "old", 1176, 0, 0},
    {false, {1176 | kAside}, {0}, 0, 0, false, "new", 0, 0, 0},
    {false, {1176 | kAside}, {0}, ERROR_ALREADY_EXISTS, 0, false, "old", 1176, 0, 0},
    {false, {1176 | kAside}, {0}, ERROR_ALREADY_EXISTS, ERROR_ALREADY_EXISTS, false, "", 1176, 2, 0},
    {false, {1177 | kAside}, {0}, 0, 0, false, "old", 1177, 0, 0},
    {false, {1177 | kAside}, {0}, 0, ERROR_ACCESS_DENIED, false, "", 1177, 2, 0},
    {false, {32, 33, 0}, {0}, 0, 0, false, "new", 0, 0, 45},
    {false, {ERROR_SHARING_VIOLATION}, {0}, 0, 0, false, "old", 32, 0, 945},
    {false, {ERROR_ACCESS_DENIED}, {0}, 0, 0, false, "old", 5, 0, 0},
    {false, {0}, {ERROR_ACCESS_DENIED}, 0, 0, false, "new", 5, 1, 0},
    {true, {0}, {ERROR_SHARING_VIOLATION, 0}, 0, 0, false, "", 0, 0, 15},
    {true, {0}, {ERROR_SHARING_VIOLATION}, 0, 0, false, "old", 32, 0, 945},
    {true, {0}, {ERROR_ACCESS_DENIED}, 0, 0, true, "old", 5, 0, 0},
    {true, {0}, {ERROR_ACCESS_DENIED}, 0, 0, false, "old", 5, 0, 0},
};

TEST(FileIoWin, EveryOutcomeLeavesTheOldOrTheNewTextAndNamesWhatStays) {
  ScopedSystemCalls restore;
  Sys() = {.ReplaceFileW = Replace, .MoveFileExW = Move, .DeleteFileW = Delete, .Sleep = Wait};
  fs::path dir = fs::temp_directory_path() / ("file_io_win_test" + std::to_string(GetCurrentProcessId()));
  for (const Row& row : kRows) {
    SCOPED_TRACE(&row - kRows);
    fs::create_directories(dir);
    std::ofstream(dir / "App.rc") << "old";
    std::ofstream(dir / "other.rc") << "other";
    std::string script = ToUtf8((dir / "App.rc").wstring());
    if (row.read_only) SetFileAttributesW(LongPath(script).c_str(), FILE_ATTRIBUTE_READONLY);
    g_replace = row.replace, g_delete = row.del, g_move_in = row.move_in;
    g_move_back = row.move_back, g_slept = 0;
    FileIdentity read;
    FileFailure failure;
    ASSERT_TRUE(InspectRegularFile(script, &read, &failure));
    bool done = row.remove ? RemoveFile(script, &failure) : ReplaceFile(script, "new", read, &failure);
    SetFileAttributesW(LongPath(script).c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(done, row.err == 0);
    EXPECT_EQ(Read(dir / "App.rc"), row.text);
    EXPECT_EQ(Read(dir / "other.rc"), "other");
    std::string reason = row.read_only ? "the file is read-only" : ErrorText(row.err);
    EXPECT_TRUE(!row.err || failure.reason.find(reason) != std::string::npos) << failure.reason;
    EXPECT_EQ(g_slept, row.slept);
    size_t kept = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
      std::string name = ToUtf8(entry.path().filename().wstring());
      if (name == "App.rc" || name == "other.rc") continue;
      ++kept;
      EXPECT_NE(failure.reason.find(ToUtf8(entry.path().wstring())), std::string::npos) << name;
      EXPECT_EQ(Read(entry.path()), name.ends_with(".bak") ? "old" : "new") << name;
    }
    EXPECT_EQ(kept, row.kept);
    fs::remove_all(dir);
  }
}

TEST(FileIoWin, OnlyNameSurrogatesAreLinks) {
  const DWORD folder = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  EXPECT_TRUE(IsLinkEntry(folder, IO_REPARSE_TAG_MOUNT_POINT));
  EXPECT_TRUE(IsLinkEntry(FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_SYMLINK));
  EXPECT_TRUE(IsLinkEntry(folder, 0));  // how Wine shows a link to a folder
  EXPECT_FALSE(IsLinkEntry(folder, IO_REPARSE_TAG_CLOUD_6));
  EXPECT_FALSE(IsLinkEntry(folder, IO_REPARSE_TAG_PROJFS));
  EXPECT_FALSE(IsLinkEntry(FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_DEDUP));
  EXPECT_FALSE(IsLinkEntry(FILE_ATTRIBUTE_DIRECTORY, IO_REPARSE_TAG_SYMLINK));
}

}  // namespace
}  // namespace platform
