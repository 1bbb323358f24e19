#include "platform/trash.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <map>
#include <set>

#include "tests/support/scratch_dir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFileOrDie;
using testsupport::ScratchDir;


std::set<std::string> Names(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename());
  return names;
}

// The value of the line "<key>=" in an info entry.
std::string InfoValue(const std::string& text, const std::string& key) {
  size_t start = text.find("\n" + key + "=");
  if (start == std::string::npos) return {};
  start += key.size() + 2;
  return text.substr(start, text.find('\n', start) - start);
}

std::string InfoPath(const std::string& info_file) {
  return InfoValue(ReadFileOrDie(info_file), "Path");
}

class TrashTest : public testing::Test {
 protected:
  std::string Trashed(const std::string& relative) {
    platform::FileFailure failure;
    EXPECT_TRUE(trash_.MoveToTrash(dir_.Path(relative), &failure))
        << relative << ": " << failure.what << ": " << failure.reason;
    return dir_.Path(relative);
  }
  std::string TrashPath(const std::string& relative) const { return trash_dir_ + "/" + relative; }
  mode_t Mode(const std::string& path) const {
    struct stat st;
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
  }

  ScratchDir dir_;
  std::string data_home_ = dir_.Path("home/.local/share");
  std::string trash_dir_ = data_home_ + "/Trash";
  platform::Trash trash_{data_home_, static_cast<unsigned>(geteuid())};
};

TEST_F(TrashTest, MovesTheFileAfterWritingItsInfoEntry) {
  dir_.Write("tree/Debug/main.obj", "object code");
  std::string before = testsupport::NowAsDeletionDate();
  std::string path = Trashed("tree/Debug/main.obj");
  std::string after = testsupport::NowAsDeletionDate();

  EXPECT_FALSE(fs::exists(path));
  EXPECT_EQ(ReadFileOrDie(TrashPath("files/main.obj")), "object code");
  std::string info = ReadFileOrDie(TrashPath("info/main.obj.trashinfo"));
  std::string date = InfoValue(info, "DeletionDate");
  EXPECT_EQ(info, "[Trash Info]\nPath=" + path + "\nDeletionDate=" + date + "\n");
  EXPECT_EQ(date.size(), before.size()) << date;
  EXPECT_LE(before, date);
  EXPECT_GE(after, date);
  for (const char* made : {"", "/files", "/info"})
    EXPECT_EQ(Mode(trash_dir_ + made), 0700u) << made;
  EXPECT_EQ(Mode(TrashPath("info/main.obj.trashinfo")), 0600u);
}

TEST_F(TrashTest, TakenNamesAreNeverOverwritten) {
  dir_.Write("home/.local/share/Trash/files/main.obj", "older");
  dir_.Write("home/.local/share/Trash/info/main.obj.trashinfo", "older info");
  dir_.Write("home/.local/share/Trash/files/App.pdb", "entry without info");
  dir_.Write("tree/main.obj", "newer");
  dir_.Write("tree/App.pdb", "database");
  std::string main_path = Trashed("tree/main.obj");
  std::string pdb_path = Trashed("tree/App.pdb");

  EXPECT_EQ(ReadFileOrDie(TrashPath("files/main.obj")), "older");
  EXPECT_EQ(ReadFileOrDie(TrashPath("info/main.obj.trashinfo")), "older info");
  EXPECT_EQ(ReadFileOrDie(TrashPath("files/App.pdb")), "entry without info");
  std::set<std::string> files = Names(TrashPath("files"));
  std::set<std::string> infos = Names(TrashPath("info"));
  ASSERT_EQ(files.size(), 4u);
  ASSERT_EQ(infos.size(), 3u) << "no info entry may be left for a name that was taken";
  EXPECT_FALSE(infos.contains("App.pdb.trashinfo"));
  std::map<std::string, std::string> origin;
  for (const std::string& info : infos) {
    std::string name = info.substr(0, info.size() - std::string(".trashinfo").size());
    ASSERT_TRUE(files.contains(name)) << name;
    origin[InfoPath(TrashPath("info/" + info))] = name;
  }
  ASSERT_TRUE(origin.contains(main_path) && origin.contains(pdb_path));
  EXPECT_TRUE(origin[main_path].ends_with(".obj")) << origin[main_path];
  EXPECT_EQ(ReadFileOrDie(TrashPath("files/" + origin[main_path])), "newer");
  EXPECT_EQ(ReadFileOrDie(TrashPath("files/" + origin[pdb_path])), "database");
}

TEST_F(TrashTest, SameNamesFromManyFoldersAreAllKept) {
  const int kFolders = 30;
  for (int i = 0; i < kFolders; ++i) {
    dir_.Write("tree/p" + std::to_string(i) + "/Debug/vc140.pdb", "pdb " + std::to_string(i));
  }
  for (int i = 0; i < kFolders; ++i) Trashed("tree/p" + std::to_string(i) + "/Debug/vc140.pdb");
  std::set<std::string> infos = Names(TrashPath("info"));
  ASSERT_EQ(infos.size(), static_cast<size_t>(kFolders));
  std::set<std::string> origins;
  for (const std::string& info : infos) {
    std::string name = info.substr(0, info.size() - std::string(".trashinfo").size());
    std::string origin = InfoPath(TrashPath("info/" + info));
    std::string number = origin.substr(dir_.Path("tree/p").size());
    number = number.substr(0, number.find('/'));
    EXPECT_EQ(ReadFileOrDie(TrashPath("files/" + name)), "pdb " + number) << name;
    origins.insert(origin);
  }
  EXPECT_EQ(origins.size(), static_cast<size_t>(kFolders));
}

TEST_F(TrashTest, InfoPathIsPercentEncoded) {
  dir_.Write("tree/Source Files/caf\xC3\xA9/x.obj", "");
  Trashed("tree/Source Files/caf\xC3\xA9/x.obj");
  EXPECT_EQ(InfoPath(TrashPath("info/x.obj.trashinfo")),
            dir_.Path("tree/Source%20Files/caf%C3%A9/x.obj"));
}

TEST_F(TrashTest, NameTooLongForAnInfoEntryIsShortened) {
  std::string leaf = std::string(250, 'n') + ".obj";
  dir_.Write("tree/" + leaf, "long");
  std::string path = Trashed("tree/" + leaf);
  std::set<std::string> files = Names(TrashPath("files"));
  ASSERT_EQ(files.size(), 1u);
  EXPECT_LE(files.begin()->size() + std::string(".trashinfo").size(), 255u);
  EXPECT_EQ(InfoPath(TrashPath("info/" + *files.begin() + ".trashinfo")), path);
}

TEST_F(TrashTest, SymbolicLinkIsMovedItselfNotItsTarget) {
  dir_.Write("tree/target.txt", "kept");
  ASSERT_EQ(symlink("target.txt", dir_.Path("tree/link.obj").c_str()), 0);
  Trashed("tree/link.obj");
  EXPECT_TRUE(fs::is_symlink(TrashPath("files/link.obj")));
  EXPECT_EQ(dir_.Read("tree/target.txt"), "kept");
}

TEST_F(TrashTest, FailedMoveLeavesNoInfoEntry) {
  dir_.Write("tree/present.obj", "");
  Trashed("tree/present.obj");
  platform::FileFailure failure;
  EXPECT_FALSE(trash_.MoveToTrash(dir_.Path("tree/ghost.obj"), &failure));
  EXPECT_EQ(failure.what, "cannot move to trash");
  EXPECT_EQ(failure.reason, "No such file or directory");
  EXPECT_EQ(Names(TrashPath("info")), std::set<std::string>{"present.obj.trashinfo"});
}

TEST_F(TrashTest, HoldsWhatIsInTheHomeTrash) {
  dir_.Write("tree/main.obj", "");
  Trashed("tree/main.obj");
  EXPECT_TRUE(trash_.Holds(TrashPath("files/main.obj")));
  EXPECT_TRUE(trash_.Holds(TrashPath("info/main.obj.trashinfo")));
  EXPECT_FALSE(trash_.Holds(dir_.Path("tree/other.obj")));
  EXPECT_FALSE(trash_.Holds(dir_.Path("home/.local/share/Trash.obj")));
}

TEST(Trash, HoldsTheHomeTrashReachedThroughALink) {
  ScratchDir dir;
  dir.Write("real/Trash/files/a.obj", "");
  ASSERT_EQ(symlink("real", dir.Path("data").c_str()), 0);
  platform::Trash trash(dir.Path("data"), static_cast<unsigned>(geteuid()));
  EXPECT_TRUE(trash.Holds(dir.Path("real/Trash/files/a.obj")));
  EXPECT_FALSE(trash.Holds(dir.Path("real/a.obj")));
}

TEST(Trash, UnusableHomeTrashLeavesTheFileInPlace) {
  ScratchDir dir;
  dir.Write("plain-file", "");
  dir.Write("tree/main.obj", "kept");
  platform::Trash trash(dir.Path("plain-file/share"), static_cast<unsigned>(geteuid()));
  platform::FileFailure failure;
  EXPECT_FALSE(trash.MoveToTrash(dir.Path("tree/main.obj"), &failure));
  EXPECT_EQ(failure.reason,
            "cannot use the trash '" + dir.Path("plain-file/share/Trash") + "': Not a directory");
  EXPECT_EQ(dir.Read("tree/main.obj"), "kept");
}

}  // namespace
