#include "platform/dir_listing.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>

#include "tests/support/scratch_dir.h"

namespace platform {
namespace {

using testsupport::ScratchDir;

TEST(ListDirectory, ClassifiesEntries) {
  ScratchDir dir;
  dir.Write("file.obj", "x");
  dir.Write(".hidden", "x");
  dir.MakeDir("sub");
  ASSERT_EQ(symlink("sub", dir.Path("dirlink").c_str()), 0);
  ASSERT_EQ(symlink("file.obj", dir.Path("filelink").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", dir.Path("dangling").c_str()), 0);
  ASSERT_EQ(mkfifo(dir.Path("fifo").c_str(), 0600), 0);
  DirListing listing;
  int err = 0;
  ASSERT_TRUE(ListDirectory(dir.path(), &listing, &err));
  std::map<std::string, EntryType> got;
  for (size_t i = 0; i < listing.size(); ++i) got[std::string(listing.name(i))] = listing.type(i);
  std::map<std::string, EntryType> want = {
      {"file.obj", EntryType::kOther},          {".hidden", EntryType::kOther},
      {"sub", EntryType::kDirectory},           {"dirlink", EntryType::kLinkToDirectory},
      {"filelink", EntryType::kOther},          {"dangling", EntryType::kOther},
      {"fifo", EntryType::kOther}};
  EXPECT_EQ(got, want);
}

TEST(ListDirectory, RefusesLinksAndMissingDirectories) {
  ScratchDir dir;
  dir.MakeDir("sub");
  ASSERT_EQ(symlink("sub", dir.Path("dirlink").c_str()), 0);
  DirListing listing;
  int err = 0;
  EXPECT_FALSE(ListDirectory(dir.Path("dirlink"), &listing, &err));
  EXPECT_TRUE(err == ENOTDIR || err == ELOOP) << err;
  EXPECT_FALSE(ListDirectory(dir.Path("missing"), &listing, &err));
  EXPECT_EQ(err, ENOENT);
}

}  // namespace
}  // namespace platform
