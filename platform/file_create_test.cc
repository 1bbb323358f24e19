#include "platform/file_create.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/scratch_dir.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using testsupport::ScratchDir;

TEST(EnsureFileExists, CreatesAMissingFileEmpty) {
  ScratchDir dir;
  FileFailure failure;
  ASSERT_TRUE(EnsureFileExists(dir.Path("new.txt"), &failure)) << failure.reason;
  EXPECT_TRUE(fs::is_regular_file(dir.Path("new.txt")));
  EXPECT_EQ(dir.Read("new.txt"), "");
}

TEST(EnsureFileExists, LeavesAnExistingFileAsItWas) {
  ScratchDir dir;
  dir.Write("old.txt", "kept\r\n");
  ASSERT_EQ(chmod(dir.Path("old.txt").c_str(), 0604), 0);
  FileFailure failure;
  ASSERT_TRUE(EnsureFileExists(dir.Path("old.txt"), &failure)) << failure.reason;
  EXPECT_EQ(dir.Read("old.txt"), "kept\r\n");
  struct stat st;
  ASSERT_EQ(stat(dir.Path("old.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0604u);
}

TEST(EnsureFileExists, FailsWhereNoFileCanBe) {
  ScratchDir dir;
  dir.MakeDir("folder");
  ASSERT_EQ(symlink("nowhere.txt", dir.Path("dangling").c_str()), 0);
  const struct {
    const char* name;
    const char* reason;
  } cases[] = {
      {"folder", "Is a directory"},
      {"dangling", "Too many levels of symbolic links"},
      {"missing/new.txt", "No such file or directory"},
  };
  for (const auto& c : cases) {
    FileFailure failure;
    EXPECT_FALSE(EnsureFileExists(dir.Path(c.name), &failure)) << c.name;
    EXPECT_EQ(failure.what, "cannot create or open") << c.name;
    EXPECT_EQ(failure.reason, c.reason) << c.name;
  }
  EXPECT_FALSE(fs::exists(dir.Path("nowhere.txt")));
}

}  // namespace
}  // namespace platform
