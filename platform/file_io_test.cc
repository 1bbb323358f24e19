#include "platform/file_io.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/scratch_dir.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using testsupport::ScratchDir;

int EntryCount(const std::string& dir) {
  int n = 0;
  for ([[maybe_unused]] auto& e : fs::directory_iterator(dir)) ++n;
  return n;
}

TEST(ReadRegularFile, ReadsWholeFile) {
  ScratchDir dir;
  std::string big(100000, 'x');
  big[5] = '\0';
  dir.Write("a.rc", big);
  std::string bytes;
  FileFailure failure;
  ASSERT_TRUE(ReadRegularFile(dir.Path("a.rc"), &bytes, &failure)) << failure.reason;
  EXPECT_EQ(bytes, big);
}

TEST(ReadRegularFile, RefusesWhatIsNotARegularFile) {
  ScratchDir dir;
  dir.Write("target.rc", "x");
  ASSERT_EQ(symlink(dir.Path("target.rc").c_str(), dir.Path("link.rc").c_str()), 0);
  ASSERT_EQ(mkfifo(dir.Path("fifo.rc").c_str(), 0600), 0);
  const struct {
    const char* name;
    const char* reason;
  } cases[] = {{"link.rc", "symbolic link, not followed"},
               {"fifo.rc", "not a regular file"},
               {"missing.rc", "No such file or directory"}};
  for (const auto& c : cases) {
    std::string bytes;
    FileFailure failure;
    EXPECT_FALSE(ReadRegularFile(dir.Path(c.name), &bytes, &failure)) << c.name;
    EXPECT_EQ(failure.reason, c.reason) << c.name;
  }
}

TEST(ReplaceFile, ReplacesContentsAndKeepsPermissionBits) {
  ScratchDir dir;
  dir.Write("a.rc", "old");
  ASSERT_EQ(chmod(dir.Path("a.rc").c_str(), 0640), 0);
  FileFailure failure;
  ASSERT_TRUE(ReplaceFile(dir.Path("a.rc"), "new contents", &failure)) << failure.reason;
  EXPECT_EQ(dir.Read("a.rc"), "new contents");
  struct stat st;
  ASSERT_EQ(stat(dir.Path("a.rc").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(EntryCount(dir.path()), 1) << "temporary file left behind";
}

TEST(ReplaceFile, FailureLeavesOriginalAndNoTemporaryFile) {
  ScratchDir dir;
  dir.Write("sub/a.rc", "old");
  ASSERT_EQ(unlink(dir.Path("sub/a.rc").c_str()), 0);
  ASSERT_EQ(mkdir(dir.Path("sub/a.rc").c_str(), 0700), 0);  // not a regular file any more
  FileFailure failure;
  EXPECT_FALSE(ReplaceFile(dir.Path("sub/a.rc"), "new", &failure));
  EXPECT_EQ(EntryCount(dir.Path("sub")), 1);
}

TEST(ReplaceFile, WorksBeyondThePathLengthLimit) {
  ScratchDir dir;
  // Build the deep directories one step at a time: their full paths exceed the limit.
  fs::path saved = fs::current_path();
  fs::current_path(dir.path());
  std::string path = dir.path();
  const std::string component(200, 'd');
  while (path.size() < 5000) {
    ASSERT_EQ(mkdir(component.c_str(), 0700), 0);
    ASSERT_EQ(chdir(component.c_str()), 0);
    path += "/" + component;
  }
  std::FILE* file = std::fopen("deep.rc", "w");
  ASSERT_NE(file, nullptr);
  std::fputs("old", file);
  std::fclose(file);
  fs::current_path(saved);
  path += "/deep.rc";

  std::string bytes;
  FileFailure failure;
  ASSERT_TRUE(ReadRegularFile(path, &bytes, &failure)) << failure.reason;
  EXPECT_EQ(bytes, "old");
  ASSERT_TRUE(CheckWritable(path, &failure)) << failure.reason;
  ASSERT_TRUE(ReplaceFile(path, "new", &failure)) << failure.reason;
  ASSERT_TRUE(ReadRegularFile(path, &bytes, &failure)) << failure.reason;
  EXPECT_EQ(bytes, "new");
}

}  // namespace
}  // namespace platform
