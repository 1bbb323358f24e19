#include "platform/file_remove.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/scratch_dir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ScratchDir;

TEST(RemoveFile, RemovesFilesAndLinksButNeverDirectories) {
  ScratchDir dir;
  dir.Write("main.obj", "");
  dir.Write("target.txt", "kept");
  dir.MakeDir("old.obj");
  ASSERT_EQ(symlink("target.txt", dir.Path("link.obj").c_str()), 0);
  platform::FileFailure failure;
  EXPECT_TRUE(platform::RemoveFile(dir.Path("main.obj"), &failure));
  EXPECT_TRUE(platform::RemoveFile(dir.Path("link.obj"), &failure));
  EXPECT_FALSE(fs::exists(dir.Path("main.obj")));
  EXPECT_FALSE(fs::is_symlink(dir.Path("link.obj")));
  EXPECT_EQ(dir.Read("target.txt"), "kept");

  EXPECT_FALSE(platform::RemoveFile(dir.Path("old.obj"), &failure));
  EXPECT_EQ(failure.what, "cannot delete");
  EXPECT_EQ(failure.reason, "Is a directory");
  EXPECT_TRUE(fs::is_directory(dir.Path("old.obj")));
  EXPECT_FALSE(platform::RemoveFile(dir.Path("missing.obj"), &failure));
  EXPECT_EQ(failure.reason, "No such file or directory");
}

}  // namespace
