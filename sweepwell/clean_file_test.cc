#include <gtest/gtest.h>

#include <map>
#include <set>

#include "sweepwell/sweepwell.h"

namespace {

using Strings = std::vector<std::string>;

// Records what it is asked to remove; fails where told to.
class CRecordingRemover : public CRemover {
 public:
  bool Protects(const std::string& path) override { return m_protected.contains(path); }
  bool Remove(const std::string& path, platform::FileFailure* failure) override {
    m_removed.push_back(path);
    auto it = m_failures.find(path);
    if (it == m_failures.end()) return true;
    *failure = it->second;
    return false;
  }

  std::set<std::string> m_protected;
  std::map<std::string, platform::FileFailure> m_failures;
  Strings m_removed;
};

class CleanFileTest : public testing::Test {
 protected:
  void SetUp() override {
    g_bRemoveExeFiles = g_bRemoveVsFiles = g_bDeletePermanently = g_bDryRun = 0;
  }
  void TearDown() override { SetUp(); }

  // Runs CleanFile on each path and returns what it printed.
  std::string Clean(const Strings& paths) {
    testing::internal::CaptureStdout();
    for (const std::string& path : paths) CleanFile(path, remover_, reporter_);
    return testing::internal::GetCapturedStdout();
  }

  CRecordingRemover remover_;
  CReporter reporter_{"Sweepwell"};
};

TEST_F(CleanFileTest, ExtensionOfTheLastComponentDecides) {
  struct Case {
    const char* name;
    bool by_default;
    bool with_re;
    bool with_vs = by_default;
  };
  const Case cases[] = {
      {"main.obj", true, true},
      {"MAIN.OBJ", true, true},
      {"App.Pdb", true, true},
      {"x.TMP", true, true},
      {".obj", true, true},
      {".hidden.log", true, true},
      {"x.obj.bak", false, false},
      {"x.objx", false, false},
      {"obj", false, false},
      {"x.", false, false},
      {"x.resx", false, false},
      {"x.tmpl", false, false},
      {"Debug.obj/readme", false, false},
      {"Release.tmp/notes.txt", false, false},
      {"app.exe", false, true},
      {"App.DLL", false, true},
      {"app.lib", false, true},
      {"ctl.ocx", false, true},
      {"types.tlb", false, true},
      {"lib.exe/readme", false, false},
      {"x.iobj", false, false, true},
      {"x.IPDB", false, false, true},
      {"app.tlog/CL.read.1.tlog", false, false, true},
      {"app.lastbuildstate", false, false, true},
      {"app.unsuccessfulbuild", false, false, true},
      {"x.recipe", false, false, true},
      {"AutoPCH/main.ipch", false, false, true},
      {"x.bsc", false, false, true},
      {"x.sdf", false, false, true},
      {"x.opensdf", false, false, true},
      {"x.VC.db", false, false, true},
      {"X.vc.DB", false, false, true},
      {"Solution.VC.opendb", false, false, true},
      {"Thumbs.db", false, false, false},
      {"foo.db", false, false, false},
      {"xVC.db", false, false, false},
      {"x.VC.db.bak", false, false, false},
      {"app.pgd", false, false, false},
      {"app!1.pgc", false, false, false},
      {"x.VC.db/readme", false, false, false},
  };
  const char* always[] = {".idb", ".ilk", ".obj", ".pdb", ".res", ".pch", ".aps",
                          ".ncb", ".plg", ".pcc", ".exp", ".sbr", ".log", ".tmp"};
  for (const Case& c : cases) {
    std::string path = std::string("/src/app/") + c.name;
    for (int vs = 0; vs <= 1; ++vs) {
      g_bRemoveVsFiles = vs;
      g_bRemoveExeFiles = 0;
      EXPECT_EQ(IsByProduct(path), c.by_default || (vs && c.with_vs)) << path << vs;
      g_bRemoveExeFiles = 1;
      EXPECT_EQ(IsByProduct(path), c.with_re || (vs && c.with_vs)) << path << " with -re" << vs;
    }
  }
  for (int re = 0; re <= 1; ++re) {
    g_bRemoveExeFiles = re;
    for (const char* extension : always) EXPECT_TRUE(IsByProduct(std::string("/a/x") + extension));
  }
}

TEST_F(CleanFileTest, AnnouncesEachByProductThenRemovesIt) {
  std::string out = Clean({"/src/app/Debug/main.obj", "/src/app/main.cpp", "/src/app/app.exe"});
  EXPECT_EQ(out, "Deleting file '/src/app/Debug/main.obj' done\n");
  EXPECT_EQ(remover_.m_removed, Strings{"/src/app/Debug/main.obj"});
  EXPECT_FALSE(reporter_.Failed());
}

TEST_F(CleanFileTest, DryRunListsWithoutRemoving) {
  g_bDryRun = 1;
  g_bRemoveExeFiles = 1;
  std::string out = Clean({"/src/a.pch", "/src/a.cpp", "/src/a.dll"});
  EXPECT_EQ(out, "Would delete file '/src/a.pch'\nWould delete file '/src/a.dll'\n");
  EXPECT_TRUE(remover_.m_removed.empty());
}

TEST_F(CleanFileTest, ProtectedFileIsNeitherListedNorRemoved) {
  remover_.m_protected.insert("/home/u/.local/share/Trash/files/main.obj");
  for (int dry = 0; dry <= 1; ++dry) {
    g_bDryRun = dry;
    EXPECT_EQ(Clean({"/home/u/.local/share/Trash/files/main.obj"}), "");
  }
  EXPECT_TRUE(remover_.m_removed.empty());
}

TEST_F(CleanFileTest, FailureIsReportedAfterTheFilesLine) {
  remover_.m_failures["/src/locked.obj"] = {"cannot delete", "Permission denied"};
  testing::internal::CaptureStderr();
  std::string out = Clean({"/src/locked.obj", "/src/next.obj"});
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(out, "Deleting file '/src/locked.obj' done\nDeleting file '/src/next.obj' done\n");
  EXPECT_EQ(err, "Sweepwell: cannot delete '/src/locked.obj': Permission denied\n");
  EXPECT_EQ(remover_.m_removed, (Strings{"/src/locked.obj", "/src/next.obj"}));
  EXPECT_TRUE(reporter_.Failed());
}

}  // namespace
