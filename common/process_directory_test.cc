#include "common/process_directory.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "tests/support/scratch_dir.h"

namespace {

using testsupport::ScratchDir;
using Strings = std::vector<std::string>;

// The names in a directory in the order the system lists them.
Strings ListOrder(const std::string& dir) {
  Strings names;
  DIR* d = opendir(dir.c_str());
  while (dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(d);
  return names;
}

TEST(ProcessDirectory, EmptyDirectoryDoesNothing) {
  ScratchDir dir;
  int calls = 0;
  testing::internal::CaptureStdout();
  EXPECT_EQ(ProcessDirectory(dir.path(), [&](const std::string&) { ++calls; }, nullptr), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(calls, 0);
}

TEST(ProcessDirectory, MissingDirectoryReturnsZero) {
  ScratchDir dir;
  Strings failures;
  EXPECT_EQ(ProcessDirectory(dir.Path("missing"), [](const std::string&) {},
                             [&](const std::string& path, int err) {
                               failures.push_back(path);
                               EXPECT_EQ(err, ENOENT);
                             }),
            0);
  EXPECT_EQ(failures, Strings{dir.Path("missing")});
}

TEST(ProcessDirectory, PreOrderDepthFirstInListingOrder) {
  ScratchDir dir;
  dir.Write("a/b/in_b.rc", "");
  dir.Write("a/in_a.txt", "");
  dir.Write("a/.hidden", "");
  dir.Write("c/in_c", "");
  dir.Write("top.rc", "");
  dir.Write(".rc", "");
  // The walk announces a directory on stdout, then everything inside it reaches the action
  // before the parent's next entry. Record both through one stream.
  std::string expected;
  std::function<void(const std::string&)> expect = [&](const std::string& path) {
    for (const std::string& name : ListOrder(path)) {
      std::string full = path + "/" + name;
      struct stat st;
      lstat(full.c_str(), &st);
      if (S_ISDIR(st.st_mode)) {
        expected += "Processing directory '" + name + "'\n";
        expect(full);
      } else {
        expected += "file " + full + "\n";
      }
    }
  };
  expect(dir.path());
  testing::internal::CaptureStdout();
  ProcessDirectory(
      dir.path(), [](const std::string& path) { std::printf("file %s\n", path.c_str()); },
      nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), expected);
  EXPECT_NE(expected.find("file " + dir.Path(".rc")), std::string::npos);
}

TEST(ProcessDirectory, LinksToDirectoriesAreNotFollowed) {
  ScratchDir dir;
  dir.Write("real/x.rc", "");
  ASSERT_EQ(symlink("real", dir.Path("link").c_str()), 0);
  ASSERT_EQ(symlink("real/x.rc", dir.Path("filelink.rc").c_str()), 0);
  ASSERT_EQ(symlink(".", dir.Path("loop").c_str()), 0);
  Strings files;
  testing::internal::CaptureStdout();
  ProcessDirectory(dir.path(), [&](const std::string& p) { files.push_back(p); }, nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Processing directory 'real'\n");
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (Strings{dir.Path("filelink.rc"), dir.Path("real/x.rc")}));
}

TEST(ProcessDirectory, UnreadableDirectoryIsReportedAndSkipped) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every directory";
  ScratchDir dir;
  dir.Write("locked/x.rc", "");
  dir.Write("open/y.rc", "");
  ASSERT_EQ(chmod(dir.Path("locked").c_str(), 0), 0);
  Strings files, failures;
  testing::internal::CaptureStdout();
  ProcessDirectory(
      dir.path(), [&](const std::string& p) { files.push_back(p); },
      [&](const std::string& p, int err) {
        failures.push_back(p);
        EXPECT_EQ(err, EACCES);
      });
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Processing directory 'locked'\n"), std::string::npos);
  EXPECT_EQ(files, Strings{dir.Path("open/y.rc")});
  EXPECT_EQ(failures, Strings{dir.Path("locked")});
}

TEST(ProcessDirectory, ActionMayDeleteTheFileItIsGiven) {
  ScratchDir dir;
  for (int i = 0; i < 50; ++i) dir.Write("f" + std::to_string(i), "");
  int calls = 0;
  ProcessDirectory(
      dir.path(),
      [&](const std::string& p) {
        ++calls;
        unlink(p.c_str());
      },
      nullptr);
  EXPECT_EQ(calls, 50);
  EXPECT_TRUE(ListOrder(dir.path()).empty());
}

TEST(ProcessDirectory, WalksTreesDeeperThanThePathLimit) {
  ScratchDir dir;
  std::string relative;
  for (int depth = 0; depth < 40; ++depth) relative += std::string(150, 'd') + "/";
  // Create it step by step: the full path exceeds what one call accepts.
  std::string saved = std::filesystem::current_path();
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
  const std::string component(150, 'd');
  for (int depth = 0; depth < 40; ++depth) {
    ASSERT_EQ(mkdir(component.c_str(), 0700), 0);
    ASSERT_EQ(chdir(component.c_str()), 0);
  }
  std::fclose(std::fopen("deep.rc", "w"));
  ASSERT_EQ(chdir(saved.c_str()), 0);
  Strings files;
  testing::internal::CaptureStdout();
  ProcessDirectory(dir.path(), [&](const std::string& p) { files.push_back(p); }, nullptr);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(files, Strings{dir.path() + "/" + relative + "deep.rc"});
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 40);
}

}  // namespace
