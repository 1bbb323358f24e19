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

FileIdentity Seen(const std::string& path) {
  FileIdentity identity;
  FileFailure failure;
  EXPECT_TRUE(InspectRegularFile(path, &identity, &failure)) << failure.reason;
  return identity;
}

TEST(ReadRegularFile, ReadsWholeFile) {
  ScratchDir dir;
  std::string big(100000, 'x');
  big[5] = '\0';
  dir.Write("a.rc", big);
  std::string bytes;
  FileIdentity read;
  FileFailure failure;
  ASSERT_TRUE(ReadRegularFile(dir.Path("a.rc"), &bytes, &read, &failure)) << failure.reason;
  EXPECT_EQ(bytes, big);
  EXPECT_EQ(read.size, big.size());
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
    FileIdentity read;
    FileFailure failure;
    EXPECT_FALSE(ReadRegularFile(dir.Path(c.name), &bytes, &read, &failure)) << c.name;
    EXPECT_EQ(failure.reason, c.reason) << c.name;
  }
}

TEST(ReplaceFile, ReplacesContentsAndKeepsPermissionBits) {
  ScratchDir dir;
  dir.Write("a.rc", "old");
  ASSERT_EQ(chmod(dir.Path("a.rc").c_str(), 0640), 0);
  FileFailure failure;
  ASSERT_TRUE(ReplaceFile(dir.Path("a.rc"), "new contents", Seen(dir.Path("a.rc")), &failure))
      << failure.reason;
  EXPECT_EQ(dir.Read("a.rc"), "new contents");
  struct stat st;
  ASSERT_EQ(stat(dir.Path("a.rc").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(EntryCount(dir.path()), 1) << "temporary file left behind";
}

TEST(ReplaceFile, FailureLeavesOriginalAndNoTemporaryFile) {
  ScratchDir dir;
  dir.Write("sub/a.rc", "old");
  FileIdentity read = Seen(dir.Path("sub/a.rc"));
  ASSERT_EQ(unlink(dir.Path("sub/a.rc").c_str()), 0);
  ASSERT_EQ(mkdir(dir.Path("sub/a.rc").c_str(), 0700), 0);  // not a regular file any more
  FileFailure failure;
  EXPECT_FALSE(ReplaceFile(dir.Path("sub/a.rc"), "new", read, &failure));
  EXPECT_EQ(EntryCount(dir.Path("sub")), 1);
}

TEST(ReplaceFile, FileChangedSinceItWasReadIsLeftAsItNowIs) {
  const struct {
    const char* name;
    void (*change)(const ScratchDir& dir);
  } cases[] = {
      {"appended", [](const ScratchDir& dir) { dir.Write("a.rc", "old and more"); }},
      {"replaced",
       [](const ScratchDir& dir) {
         dir.Write("b.rc", "other");
         ASSERT_EQ(rename(dir.Path("b.rc").c_str(), dir.Path("a.rc").c_str()), 0);
       }},
      {"removed", [](const ScratchDir& dir) { fs::remove(dir.Path("a.rc")); }},
      {"rewritten in place",
       [](const ScratchDir& dir) {
         dir.Write("a.rc", "OLD");
         fs::last_write_time(dir.Path("a.rc"),
                             fs::last_write_time(dir.Path("a.rc")) - std::chrono::hours(1));
       }},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    dir.Write("a.rc", "old");
    FileIdentity read = Seen(dir.Path("a.rc"));
    c.change(dir);
    std::string now = fs::exists(dir.Path("a.rc")) ? dir.Read("a.rc") : "";
    FileFailure failure;
    EXPECT_FALSE(ReplaceFile(dir.Path("a.rc"), "new", read, &failure)) << c.name;
    EXPECT_EQ(failure.what + ": " + failure.reason, "left alone: changed while stamping") << c.name;
    EXPECT_EQ(fs::exists(dir.Path("a.rc")) ? dir.Read("a.rc") : "", now) << c.name;
    EXPECT_EQ(EntryCount(dir.path()), now.empty() ? 0 : 1) << c.name;
  }
}

TEST(ReplaceFile, ReadOnlyForEveryoneIsRefusedEvenToTheSuperuser) {
  ScratchDir dir;
  dir.Write("a.rc", "old");
  ASSERT_EQ(chmod(dir.Path("a.rc").c_str(), 0444), 0);
  FileFailure failure;
  EXPECT_FALSE(CheckWritable(dir.Path("a.rc"), &failure));
  EXPECT_EQ(failure.reason,
            geteuid() == 0 ? "read-only file, no one may write it" : "Permission denied");
  EXPECT_FALSE(ReplaceFile(dir.Path("a.rc"), "new", Seen(dir.Path("a.rc")), &failure));
  EXPECT_EQ(failure.reason, "read-only file, no one may write it");
  EXPECT_EQ(dir.Read("a.rc"), "old");
  EXPECT_EQ(EntryCount(dir.path()), 1);
}

TEST(FollowFileLinks, LeadsThroughLinksToTheFileOrItsPlace) {
  ScratchDir dir;
  dir.Write("shared/log.txt", "x");
  ASSERT_EQ(symlink("shared/log.txt", dir.Path("rel").c_str()), 0);
  ASSERT_EQ(symlink(dir.Path("rel").c_str(), dir.Path("abs").c_str()), 0);
  ASSERT_EQ(symlink("shared/none.txt", dir.Path("dangling").c_str()), 0);
  ASSERT_EQ(symlink("loop", dir.Path("loop").c_str()), 0);
  EXPECT_EQ(FollowFileLinks(dir.Path("shared/log.txt")), dir.Path("shared/log.txt"));
  EXPECT_EQ(FollowFileLinks(dir.Path("rel")), dir.Path("shared/log.txt"));
  EXPECT_EQ(FollowFileLinks(dir.Path("abs")), dir.Path("shared/log.txt"));
  EXPECT_EQ(FollowFileLinks(dir.Path("dangling")), dir.Path("shared/none.txt"));
  EXPECT_EQ(FollowFileLinks(dir.Path("missing")), dir.Path("missing"));
  EXPECT_EQ(FollowFileLinks(dir.Path("loop")), dir.Path("loop"));
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
  FileIdentity read;
  FileFailure failure;
  ASSERT_TRUE(ReadRegularFile(path, &bytes, &read, &failure)) << failure.reason;
  EXPECT_EQ(bytes, "old");
  ASSERT_TRUE(CheckWritable(path, &failure)) << failure.reason;
  ASSERT_TRUE(ReplaceFile(path, "new", read, &failure)) << failure.reason;
  ASSERT_TRUE(ReadRegularFile(path, &bytes, &read, &failure)) << failure.reason;
  EXPECT_EQ(bytes, "new");
}

}  // namespace
}  // namespace platform
