#include "platform/trash_info.h"

#include <gtest/gtest.h>

namespace {

using platform::kMaxTrashName;
using platform::PercentEncodePath;
using platform::UniqueTrashName;

TEST(PercentEncodePath, KeepsUnreservedBytesAndSeparators) {
  const std::pair<const char*, const char*> cases[] = {
      {"/src/app/Debug/main.obj", "/src/app/Debug/main.obj"},
      {"/a b/Source Files/x.obj", "/a%20b/Source%20Files/x.obj"},
      {"/caf\xC3\xA9/x~_-.pdb", "/caf%C3%A9/x~_-.pdb"},
      {"/100%/a#b?c&d=e+f;g", "/100%25/a%23b%3Fc%26d%3De%2Bf%3Bg"},
      {"/new\nline/\x7F\xFF", "/new%0Aline/%7F%FF"},
      {"rel/x.obj", "rel/x.obj"},
  };
  for (const auto& [path, encoded] : cases) EXPECT_EQ(PercentEncodePath(path), encoded) << path;
}

TEST(TrashInfoText, HeaderPathAndDate) {
  EXPECT_EQ(platform::TrashInfoText("/a b/x.obj", "2024-02-29T23:59:01"),
            "[Trash Info]\nPath=/a%20b/x.obj\nDeletionDate=2024-02-29T23:59:01\n");
}

TEST(UniqueTrashName, PutsTheRunsPartBeforeTheExtension) {
  struct Case {
    const char* leaf;
    const char* unique;
  };
  const Case cases[] = {
      {"main.obj", "main.k3x9q2-7.obj"},
      {"MAIN.OBJ", "MAIN.k3x9q2-7.OBJ"},
      {".obj", ".obj.k3x9q2-7"},
      {"x.obj.bak", "x.obj.k3x9q2-7.bak"},
      {"Makefile", "Makefile.k3x9q2-7"},
      {"x.", "x.k3x9q2-7."},
      {"a.averyveryverylongextension", "a.averyveryverylongextension.k3x9q2-7"},
  };
  for (const Case& c : cases) EXPECT_EQ(UniqueTrashName(c.leaf, "k3x9q2", 7), c.unique) << c.leaf;
}

TEST(UniqueTrashName, ShortensLongNamesToFitTheInfoEntry) {
  std::string leaf = std::string(260, 'n') + ".obj";
  std::string unique = UniqueTrashName(leaf, "k3x9q2", 12345);
  EXPECT_EQ(unique.size(), kMaxTrashName);
  EXPECT_EQ(unique.size() + std::string(".trashinfo").size(), 255u);
  EXPECT_TRUE(unique.ends_with(".k3x9q2-12345.obj")) << unique;
  EXPECT_TRUE(unique.starts_with("nnnn"));
}

TEST(UniqueTrashName, DiffersWithTheCounter) {
  EXPECT_NE(UniqueTrashName("a.obj", "t", 1), UniqueTrashName("a.obj", "t", 2));
  EXPECT_NE(UniqueTrashName("a.obj", "t", 1), UniqueTrashName("a.obj", "u", 1));
}

}  // namespace
