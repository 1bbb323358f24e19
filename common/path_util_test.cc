#include "common/path_util.h"

#include <gtest/gtest.h>

namespace {

TEST(FindExtension, TakesTheLastDotOfTheLastComponent) {
  const std::pair<const char*, const char*> cases[] = {
      {"/a/b/main.obj", ".obj"},     {"/a/b/x.obj.bak", ".bak"},   {"/a/.rc", ".rc"},
      {"/a/x.", "."},                {"/a/obj", ""},               {"/a/Debug.obj/readme", ""},
      {"/a/b.c/x.Rc", ".Rc"},        {"name.txt", ".txt"},         {"", ""},
  };
  for (const auto& [path, ext] : cases) EXPECT_EQ(FindExtension(path), ext) << path;
}

TEST(EqualsIgnoreCase, FoldsAsciiLettersOnly) {
  EXPECT_TRUE(EqualsIgnoreCase(".RC", ".rc"));
  EXPECT_TRUE(EqualsIgnoreCase("Help", "hELP"));
  EXPECT_FALSE(EqualsIgnoreCase(".rc", ".rc2"));
  EXPECT_FALSE(EqualsIgnoreCase("\xC9", "\xE9"));
  EXPECT_FALSE(EqualsIgnoreCase("[", "{"));
}

}  // namespace
