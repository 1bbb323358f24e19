#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>

#include "sweepwell/sweepwell.h"

namespace {

using Strings = std::vector<std::string>;

// Records what it is asked to remove; fails where told to.
class CRecordingRemover : public CRemover {
 public:
  bool Protects(const platform::FileRef& file) override { return m_protected.contains(file.path); }
  bool Remove(const platform::FileRef& file, platform::FileFailure* failure) override {
    m_removed.push_back(file.path);
    auto it = m_failures.find(file.path);
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
  void SetUp() override { g_bRemoveExeFiles = g_bDeletePermanently = g_bDryRun = 0; }
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
      {"Thumbs.db", false, false},
      {"foo.db", false, false},
  };
  const char* always[] = {".idb", ".ilk", ".obj", ".pdb", ".res", ".pch", ".aps",
                          ".ncb", ".plg", ".pcc", ".exp", ".sbr", ".log", ".tmp"};
  for (const Case& c : cases) {
    std::string path = std::string("/src/app/") + c.name;
    g_bRemoveExeFiles = 0;
    EXPECT_EQ(IsByProduct(path), c.by_default) << path;
    g_bRemoveExeFiles = g_bRemoveVsFiles = 1;
    EXPECT_EQ(IsByProduct(path), c.with_re) << path << " with -re -vs";
    g_bRemoveVsFiles = 0;
  }
  for (int re = 0; re <= 1; ++re) {
    g_bRemoveExeFiles = re;
    for (const char* extension : always) EXPECT_TRUE(IsByProduct(std::string("/a/x") + extension));
  }
  for (int vs = 1; vs >= 0; --vs) {  // -re stays on: it adds none of them; -vs ends off
    g_bRemoveVsFiles = vs;
    std::istringstream extensions(
        ".iobj .IPDB .tlog .lastbuildstate .unsuccessfulbuild .recipe "
        ".ipch .bsc .sdf .opensdf .VC.db .vc.DB .VC.opendb");
    for (std::string ext; extensions >> ext;) EXPECT_EQ(IsByProduct("/a/x" + ext), vs) << ext;
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
