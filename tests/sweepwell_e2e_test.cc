// Sweepwell run as a user runs it: real trees, exact output, and a real desktop trash that the
// other trash tools can read. HOME and XDG_DATA_HOME always point into the test's own directory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "tests/support/child_process.h"
#include "tests/support/reachable_program.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/tree_model.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFileOrDie;
using testsupport::RunOptions;
using testsupport::RunResult;
using testsupport::ScratchDir;
using testsupport::Snapshot;
using Strings = std::vector<std::string>;

const char kUsage[] =
    "Utility to remove all temporary files in all subfolders\n"
    "\n"
    "Usage: Sweepwell [switches]\n"
    "\n"
    "Switches:\n"
    "\n"
    "       -?              -  display help\n"
    "       -h              -  display help\n"
    "       -help           -  display help\n"
    "       -re             -  also remove exe-files\n"
    "       -d              -  true remove (not to Recycle Bin)\n"
    "       -vs             -  also remove current Visual Studio files\n"
    "       -n              -  dry run: list the files, remove nothing\n"
    "\n";

// The rule, written out again independently of the program.
bool Chosen(const std::string& path, bool remove_exe, bool remove_vs = false) {
  static const std::set<std::string> kAlways = {".idb", ".ilk", ".obj", ".pdb", ".res",
                                                ".pch", ".aps", ".ncb", ".plg", ".pcc",
                                                ".exp", ".sbr", ".log", ".tmp"};
  static const std::set<std::string> kExe = {".exe", ".lib", ".ocx", ".dll", ".tlb"};
  static const std::set<std::string> kVs = {
      ".iobj", ".ipdb", ".tlog", ".lastbuildstate", ".unsuccessfulbuild", ".recipe",
      ".ipch", ".bsc",  ".sdf",  ".opensdf"};
  std::string name = fs::path(path).filename();
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  std::string ext = name.substr(dot);
  return kAlways.contains(ext) || (remove_exe && kExe.contains(ext)) ||
         (remove_vs &&
          (kVs.contains(ext) || name.ends_with(".vc.db") || name.ends_with(".vc.opendb")));
}

// The walk's lines, with `line` ("<text>%s<text>") for each file chosen.
std::string ExpectedOutput(const std::string& root, bool remove_exe, const std::string& line,
                           bool remove_vs = false) {
  size_t slot = line.find("%s");
  return testsupport::ExpectedWalk(root, [&](const std::string& path) {
    bool chosen = Chosen(path, remove_exe, remove_vs);
    return chosen ? line.substr(0, slot) + path + line.substr(slot + 2) : "";
  });
}

std::string PercentDecode(const std::string& text) {
  std::string decoded;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      decoded += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      decoded += text[i];
    }
  }
  return decoded;
}

// Finds a program on PATH; empty when it is not installed.
std::string FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path != nullptr ? path : "");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    std::string candidate = dir + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

// One entry of a trash directory, read from its info file.
struct TrashEntry {
  std::string name;  // in files/
  std::string path;  // original path, decoded, as written (absolute or relative)
  std::string date;
};

bool IsDate(const std::string& text) {
  const std::string shape = "0000-00-00T00:00:00";
  if (text.size() != shape.size()) return false;
  for (size_t i = 0; i < shape.size(); ++i) {
    bool digit = text[i] >= '0' && text[i] <= '9';
    if (shape[i] == '0' ? !digit : text[i] != shape[i]) return false;
  }
  return true;
}

// Reads an info entry that holds exactly the header, "Path=" and "DeletionDate=" lines.
bool ParseInfo(const std::string& text, TrashEntry* entry) {
  const std::string head = "[Trash Info]\nPath=";
  const std::string date_key = "\nDeletionDate=";
  size_t date_at = text.find(date_key);
  if (!text.starts_with(head) || date_at == std::string::npos || !text.ends_with("\n")) {
    return false;
  }
  entry->path = PercentDecode(text.substr(head.size(), date_at - head.size()));
  size_t date_start = date_at + date_key.size();
  entry->date = text.substr(date_start, text.size() - 1 - date_start);
  return !entry->path.empty() && entry->path.find('\n') == std::string::npos && IsDate(entry->date);
}

// Every entry of `trash_dir`; fails the test when an info file is not exactly as expected or
// its file is missing. After a killed run, an entry without its file (the one being moved, or
// being written) is left out.
std::vector<TrashEntry> ReadTrash(const std::string& trash_dir, bool killed = false) {
  std::vector<TrashEntry> entries;
  if (!fs::exists(trash_dir + "/info")) return entries;
  for (const auto& info : fs::directory_iterator(trash_dir + "/info")) {
    std::string file = info.path().filename();
    TrashEntry entry;
    entry.name = file.substr(0, file.size() - std::string(".trashinfo").size());
    bool has_file = fs::exists(fs::symlink_status(trash_dir + "/files/" + entry.name));
    if (killed && !has_file) continue;
    std::string text = ReadFileOrDie(info.path());
    if (!ParseInfo(text, &entry)) {
      ADD_FAILURE() << info.path() << " holds: " << text;
      continue;
    }
    EXPECT_TRUE(has_file) << entry.name;
    entries.push_back(entry);
  }
  return entries;
}

// The trash entries by original path.
std::map<std::string, TrashEntry> ByPath(const std::vector<TrashEntry>& entries) {
  std::map<std::string, TrashEntry> by_path;
  for (const TrashEntry& entry : entries) by_path[entry.path] = entry;
  return by_path;
}

// A tree below tree/ and a home directory below home/, whose data directory is home/data.
class SweepwellTest : public testing::Test {
 protected:
  SweepwellTest() { MakeDataDir(); }
  // Wine's shell, which keeps the Recycle Bin in the trash of the data directory, refuses it
  // when that directory is missing.
  void MakeDataDir() const {
    if (testsupport::IsWindowsProgram(SWEEPWELL_BIN)) dir_.MakeDir("home/data");
  }
  RunOptions Options(const std::string& cwd) const {
    RunOptions options;
    options.cwd = cwd;
    options.env = {"HOME=" + home_, "XDG_DATA_HOME=" + data_};
    return options;
  }
  RunResult Sweepwell(const Strings& args) const { return Sweepwell(args, Options(tree_)); }
  RunResult Sweepwell(const Strings& args, const RunOptions& options) const {
    return testsupport::Run(SWEEPWELL_BIN, args, options);
  }
  // Runs one of the other trash tools with the same home; skips the test when it is missing.
  RunResult Peer(const std::string& program, const Strings& args, const std::string& cwd,
                 const std::string& input = "") const {
    std::string found = FindProgram(program);
    if (found.empty()) {
      ADD_FAILURE() << program << " is not installed (tools/install-deps installs it)";
      return {};
    }
    RunOptions options = Options(cwd);
    options.stdin_data = input;
    return testsupport::Run(found, args, options);
  }
  void Write(const std::string& relative, const std::string& bytes = "") const {
    dir_.Write("tree/" + relative, bytes);
  }
  std::string Tree(const std::string& relative) const { return tree_ + "/" + relative; }

  ScratchDir dir_;
  std::string home_ = dir_.Path("home");
  std::string data_ = dir_.Path("home/data");
  std::string trash_ = data_ + "/Trash";
  std::string tree_ = dir_.Path("tree");
};

TEST_F(SweepwellTest, HelpWinsOverEverything) {
  Write("Debug/main.obj", "obj");
  const std::vector<Strings> commands = {{"-?"},    {"-h"}, {"-help"},           {"--help"},
                                         {"/HELP"}, {"-H"}, {"-re", "-d", "-?"}, {"--n", "/h"}};
  for (const Strings& args : commands) {
    RunResult result = Sweepwell(args);
    EXPECT_EQ(result.out, kUsage) << args[0];
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exit_code, 0);
  }
  EXPECT_EQ(dir_.Read("tree/Debug/main.obj"), "obj");
  EXPECT_FALSE(fs::exists(trash_));
}

TEST_F(SweepwellTest, ByProductsGoToTheTrashInWalkOrder) {
  const Strings chosen = {"MAIN.OBJ",
                          "App.Pdb",
                          "x.TMP",
                          ".obj",
                          ".hidden.pch",
                          "Release.tmp/main.obj",
                          "src/Debug/vc60.idb",
                          "Source Files/caf\xC3\xA9 1.obj",
                          "all/x.idb",
                          "all/x.ilk",
                          "all/x.res",
                          "all/x.aps",
                          "all/x.ncb",
                          "all/x.plg",
                          "all/x.pcc",
                          "all/x.exp",
                          "all/x.sbr",
                          "all/x.log"};
  const Strings kept = {"x.obj.bak", "x.objx",           "obj",          "x.",      "x.resx",
                        "x.tmpl",    "Debug.obj/readme", "src/main.cpp", "app.exe", "app.dll",
                        "app.lib",   "ctl.ocx",          "types.tlb"};
  for (const std::string& name : chosen) Write(name, "bytes of " + name);
  for (const std::string& name : kept) Write(name, "kept");
  dir_.MakeDir("tree/old.obj");
  std::string expected = ExpectedOutput(tree_, false, "Deleting file '%s' done\n");
  std::string before = testsupport::NowAsDeletionDate();

  RunResult result = Sweepwell({});
  EXPECT_EQ(result.out, expected);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exit_code, 0);
  for (const std::string& name : kept) EXPECT_EQ(dir_.Read("tree/" + name), "kept") << name;
  for (const char* dir : {"old.obj", "Release.tmp", "Debug.obj", "all"}) {
    EXPECT_TRUE(fs::is_directory(Tree(dir))) << dir;
  }
  std::map<std::string, TrashEntry> entries = ByPath(ReadTrash(trash_));
  ASSERT_EQ(entries.size(), chosen.size());
  for (const std::string& name : chosen) {
    EXPECT_FALSE(fs::exists(Tree(name))) << name;
    ASSERT_TRUE(entries.contains(Tree(name))) << name;
    const TrashEntry& entry = entries[Tree(name)];
    EXPECT_EQ(ReadFileOrDie(trash_ + "/files/" + entry.name), "bytes of " + name);
    EXPECT_LE(before, entry.date);
    EXPECT_GE(testsupport::NowAsDeletionDate(), entry.date);
  }
  // Wine's shell makes its trash with permissions of its own choosing.
  if (testsupport::IsWindowsProgram(SWEEPWELL_BIN)) return;
  for (const char* made : {"", "/files", "/info"}) {
    EXPECT_EQ(fs::status(trash_ + made).permissions(), fs::perms::owner_all) << made;
  }
}

TEST_F(SweepwellTest, SwitchesChooseTheListsAndTheWayOfRemoving) {
  struct Case {
    Strings args;
    bool remove_exe;
    bool permanently;
    bool remove_vs = false;
  };
  // clang-format off
  const Case cases[] = {
      {{}, false, false},          {{"-re"}, true, false},      {{"-d"}, false, true},
      {{"-re", "-d"}, true, true}, {{"-RE", "/D"}, true, true}, {{"-d", "-D"}, false, true},
      {{"-vs"}, false, false, true}, {{"/VS", "-d", "-re"}, true, true, true},
  };
  // clang-format on
  const Strings files = {"Debug/main.obj",  "Debug/app.exe", "Debug/app.DLL", "readme.txt",
                         "x/a.iobj",        "Thumbs.db",     "a.pgd",         ".vs/x.VC.db",
                         ".vs/ipch/a.ipch", "a.tlog/b.tlog"};
  for (const Case& c : cases) {
    if (testsupport::IsWindowsProgram(SWEEPWELL_BIN) && !c.permanently) continue;
    std::string args = testing::PrintToString(c.args);
    fs::remove_all(dir_.Path("home"));
    MakeDataDir();
    for (const std::string& name : files) Write(name, name);
    std::string expected =
        ExpectedOutput(tree_, c.remove_exe, "Deleting file '%s' done\n", c.remove_vs);
    RunResult result = Sweepwell(c.args);
    EXPECT_EQ(result.out, expected) << args;
    EXPECT_EQ(result.exit_code, 0) << args;
    size_t removed = 0;
    for (const std::string& name : files) {
      bool gone = Chosen(name, c.remove_exe, c.remove_vs);
      EXPECT_EQ(fs::exists(Tree(name)), !gone) << name << " " << args;
      removed += gone;
    }
    EXPECT_EQ(fs::exists(trash_), !c.permanently) << args;
    EXPECT_EQ(ReadTrash(trash_).size(), c.permanently ? 0 : removed) << args;
  }
}

TEST_F(SweepwellTest, ManyDeletionsComeOutInWalkOrder) {
  // Files are deleted several at a time with -d; the lines must still come in walk order.
  const char* const kExtensions[] = {".obj", ".pdb", ".cpp", ".TMP", ".h", ".ilk"};
  for (int i = 0; i < 1500; ++i) {
    Write("m" + std::to_string(i % 30) + "/n" + std::to_string(i % 4) + "/f" + std::to_string(i) +
              kExtensions[i % std::size(kExtensions)],
          "x");
  }
  std::string expected = ExpectedOutput(tree_, false, "Deleting file '%s' done\n");
  RunResult result = Sweepwell({"-d"});
  EXPECT_EQ(result.out, expected);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(ExpectedOutput(tree_, false, "%s"), ExpectedOutput(tree_, false, ""))
      << "every by-product is gone";
}

TEST_F(SweepwellTest, DryRunListsAndRemovesNothing) {
  Write("Debug/main.obj");
  Write("Debug/app.exe");
  Write(".obj");
  Write("src/a.cpp");
  auto before = Snapshot(tree_);
  const std::pair<Strings, bool> runs[] = {
      {{"-n"}, false}, {{"-n", "-re"}, true}, {{"-d", "-N"}, false}, {{"/n", "-d", "-re"}, true}};
  for (const auto& [args, remove_exe] : runs) {
    RunResult result = Sweepwell(args);
    EXPECT_EQ(result.out, ExpectedOutput(tree_, remove_exe, "Would delete file '%s'\n"));
    EXPECT_EQ(result.exit_code, 0);
  }
  // A mistyped dry run is refused, so it removes nothing either.
  for (const Strings& typo : {Strings{"--n"}, {"-dry"}, {"-d", "--n"}, {"-d", "Debug"}}) {
    RunResult result = Sweepwell(typo);
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(result.err.ends_with("; -? lists the switches\n")) << result.err;
    EXPECT_EQ(result.exit_code, 1);
  }
  EXPECT_EQ(Snapshot(tree_), before);
  EXPECT_FALSE(fs::exists(trash_));
}

TEST_F(SweepwellTest, SymbolicLinksAreRemovedThemselvesNeverTheirTargets) {
  SKIP_FOR_WINDOWS_PROGRAM(SWEEPWELL_BIN,
                           "Wine's shell trashes a link's target, where Windows removes the link");
  dir_.Write("outside/target.obj", "target");
  dir_.Write("outside/dir/inner.obj", "inner");
  Write("a.cpp");
  ASSERT_EQ(symlink(dir_.Path("outside/target.obj").c_str(), Tree("link.obj").c_str()), 0);
  ASSERT_EQ(symlink("missing.cpp", Tree("dangling.pdb").c_str()), 0);
  ASSERT_EQ(symlink(dir_.Path("outside/dir").c_str(), Tree("linked.obj").c_str()), 0);
  for (const Strings& args : {Strings{}, Strings{"-d"}}) {
    std::string expected = ExpectedOutput(tree_, false, "Deleting file '%s' done\n");
    EXPECT_NE(expected.find(Tree("link.obj")), std::string::npos);
    EXPECT_EQ(expected.find(Tree("linked.obj")), std::string::npos);
    RunResult result = Sweepwell(args);
    EXPECT_EQ(result.out, expected);
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(Tree("link.obj"))));
    EXPECT_FALSE(fs::exists(fs::symlink_status(Tree("dangling.pdb"))));
    EXPECT_TRUE(fs::is_symlink(Tree("linked.obj")));
    EXPECT_EQ(dir_.Read("outside/target.obj"), "target");
    EXPECT_EQ(dir_.Read("outside/dir/inner.obj"), "inner");
    if (args.empty()) {
      EXPECT_TRUE(fs::is_symlink(trash_ + "/files/link.obj"));
      EXPECT_TRUE(fs::is_symlink(trash_ + "/files/dangling.pdb"));
    }
    ASSERT_EQ(symlink(dir_.Path("outside/target.obj").c_str(), Tree("link.obj").c_str()), 0);
    ASSERT_EQ(symlink("missing.cpp", Tree("dangling.pdb").c_str()), 0);
  }
}

TEST_F(SweepwellTest, SameNamesFromDifferentFoldersAreAllKept) {
  const int kProjects = 12;
  auto make = [&](int run) {
    for (int p = 0; p < kProjects; ++p) {
      std::string project = "p" + std::to_string(p);
      Write(project + "/Debug/main.obj", "main " + std::to_string(run) + project);
      Write(project + "/Debug/vc140.pdb", "pdb " + std::to_string(run) + project);
    }
  };
  std::map<std::string, std::string> trashed;  // original path -> content, over both runs
  for (int run = 0; run < 2; ++run) {
    make(run);
    for (const auto& [relative, bytes] : Snapshot(tree_)) trashed[Tree(relative)] += bytes + "|";
    ASSERT_EQ(Sweepwell({}).exit_code, 0);
  }
  std::vector<TrashEntry> entries = ReadTrash(trash_);
  ASSERT_EQ(entries.size(), 4u * kProjects);
  std::map<std::string, std::string> found;
  for (const TrashEntry& entry : entries) {
    found[entry.path] += ReadFileOrDie(trash_ + "/files/" + entry.name) + "|";
  }
  for (auto& [path, contents] : found) {
    // The two runs' files of one path, in either order.
    std::string swapped =
        contents.substr(contents.find('|') + 1) + contents.substr(0, contents.find('|') + 1);
    EXPECT_TRUE(contents == trashed[path] || swapped == trashed[path]) << path;
  }
  EXPECT_EQ(found.size(), trashed.size());
}

TEST_F(SweepwellTest, TrashToolsListAndRestoreTheEntries) {
  Write("Source Files/Debug/main.obj", "main");
  Write("Lib/Release/lib.pdb", "pdb");
  Write("Lib/lib.cpp", "source");
  ASSERT_EQ(Sweepwell({}).exit_code, 0);

  RunResult list = Peer("trash-list", {}, tree_);
  EXPECT_EQ(list.exit_code, 0) << list.err;
  for (const char* name : {"Source Files/Debug/main.obj", "Lib/Release/lib.pdb"}) {
    EXPECT_NE(list.out.find(" " + Tree(name) + "\n"), std::string::npos) << list.out;
  }
  RunResult restore = Peer("trash-restore", {}, Tree("Lib/Release"), "0\n");
  EXPECT_EQ(restore.exit_code, 0) << restore.err;
  EXPECT_EQ(dir_.Read("tree/Lib/Release/lib.pdb"), "pdb");
  EXPECT_EQ(ReadTrash(trash_).size(), 1u);
}

TEST_F(SweepwellTest, EntriesOfOtherTrashToolsAreLeftAlone) {
  dir_.Write("elsewhere/Debug/main.obj", "trashed by gio");
  dir_.MakeDir("home");  // gio makes the trash but not the home directory above it
  RunResult gio = Peer("gio", {"trash", dir_.Path("elsewhere/Debug/main.obj")}, dir_.path());
  ASSERT_EQ(gio.exit_code, 0) << gio.err;
  std::string gio_info = ReadFileOrDie(trash_ + "/info/main.obj.trashinfo");
  Write("Debug/main.obj", "trashed by Sweepwell");

  RunResult result = Sweepwell({});
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(ReadFileOrDie(trash_ + "/files/main.obj"), "trashed by gio");
  EXPECT_EQ(ReadFileOrDie(trash_ + "/info/main.obj.trashinfo"), gio_info);
  std::map<std::string, TrashEntry> entries = ByPath(ReadTrash(trash_));
  ASSERT_EQ(entries.size(), 2u);
  ASSERT_TRUE(entries.contains(Tree("Debug/main.obj")));
  EXPECT_EQ(ReadFileOrDie(trash_ + "/files/" + entries[Tree("Debug/main.obj")].name),
            "trashed by Sweepwell");
  RunResult list = Peer("trash-list", {}, dir_.path());
  EXPECT_NE(list.out.find(dir_.Path("elsewhere/Debug/main.obj") + "\n"), std::string::npos);
  EXPECT_NE(list.out.find(Tree("Debug/main.obj") + "\n"), std::string::npos) << list.out;
}

TEST_F(SweepwellTest, WhatIsInTheTrashIsNeverTouched) {
  SKIP_FOR_WINDOWS_PROGRAM(SWEEPWELL_BIN,
                           "Wine's trash in the home folder; Windows has its "
                           "Recycle Bin at the top of a volume (desktop test)");
  // The tree is the home directory itself, with the home trash at its default place inside.
  dir_.Write("home/Debug/main.obj", "first");
  dir_.MakeDir("home/.local/share");
  RunOptions options = Options(home_);
  options.env = {"HOME=" + home_, "XDG_DATA_HOME="};
  ASSERT_EQ(Sweepwell({}, options).exit_code, 0);
  std::string trash = home_ + "/.local/share/Trash";
  ASSERT_EQ(ReadTrash(trash).size(), 1u);
  dir_.Write("home/Debug/main.obj", "second");
  auto in_trash = Snapshot(trash);

  for (const Strings& args : {Strings{"-n"}, Strings{}, Strings{"-d"}}) {
    RunResult result = Sweepwell(args, options);
    EXPECT_EQ(result.out.find(trash), std::string::npos) << result.out;
    EXPECT_EQ(result.exit_code, 0);
  }
  EXPECT_EQ(Snapshot(trash).size(), in_trash.size() + 2) << "only the second main.obj was added";
  for (const auto& [relative, bytes] : in_trash) {
    EXPECT_EQ(ReadFileOrDie(trash + "/" + relative), bytes) << relative;
  }
}

TEST_F(SweepwellTest, InterruptedOrKilledRunLeavesEveryFileInTheTreeOrInTheTrashWithItsEntry) {
  const int kFiles = 5000;
  auto name = [](int i) {
    return "d" + std::to_string(i % 50) + "/f" + std::to_string(i) + ".obj";
  };
  for (int sig : {SIGINT, SIGKILL}) {
    SCOPED_TRACE(strsignal(sig));
    fs::remove_all(trash_);
    for (int i = 0; i < kFiles; ++i) Write(name(i), std::to_string(i));
    testsupport::ChildProcess child(SWEEPWELL_BIN, {}, Options(tree_));
    child.ReadUntilFound("' done");  // a file is in the trash: the run is under way
    child.Signal(sig);
    RunResult result = child.Wait();
    if (sig == SIGINT) {
      EXPECT_TRUE(testsupport::EndedByInterrupt(result, SWEEPWELL_BIN)) << result.exit_code;
    } else {
      EXPECT_EQ(result.signal, SIGKILL);
    }

    std::map<std::string, TrashEntry> entries = ByPath(ReadTrash(trash_, sig == SIGKILL));
    size_t trashed_files = std::distance(fs::directory_iterator(trash_ + "/files"), {});
    EXPECT_EQ(trashed_files, entries.size()) << "every trashed file has its entry";
    for (int i = 0; i < kFiles; ++i) {
      bool in_tree = fs::exists(Tree(name(i)));
      bool in_trash = entries.contains(Tree(name(i)));
      ASSERT_NE(in_tree, in_trash) << name(i);
      std::string where =
          in_tree ? Tree(name(i)) : trash_ + "/files/" + entries[Tree(name(i))].name;
      EXPECT_EQ(ReadFileOrDie(where), std::to_string(i));
    }
    // Every file the run reports is trashed; an interrupted run reports every one.
    std::set<std::string> trashed, reported;
    for (const auto& [path, entry] : entries) trashed.insert(path);
    reported = testsupport::PathsInLines(result.out, "Deleting file '", "' done");
    if (sig == SIGINT) {
      EXPECT_EQ(reported, trashed);
    }
    EXPECT_TRUE(std::includes(trashed.begin(), trashed.end(), reported.begin(), reported.end()));
    EXPECT_GT(entries.size(), 0u);
    EXPECT_LT(entries.size(), static_cast<size_t>(kFiles))
        << "the run ended before the signal; use a larger tree";
  }
}

TEST_F(SweepwellTest, OutputThatCannotBeWrittenFailsTheRun) {
  SKIP_FOR_WINDOWS_PROGRAM(SWEEPWELL_BIN, "Wine gives a closed or full output its own handles");
  const std::vector<std::pair<std::string, std::string>> outputs = {
      {">&-", "Bad file descriptor"}, {">/dev/full", "No space left on device"}};
  for (const auto& [redirect, reason] : outputs) {
    Write("Debug/main.obj", "obj");
    RunResult result = testsupport::Run(
        "/bin/sh", testsupport::ShellArgs(":", SWEEPWELL_BIN, {}, redirect), Options(tree_));
    EXPECT_EQ(result.err, "Sweepwell: cannot write standard output: " + reason + "\n");
    EXPECT_EQ(result.exit_code, 1) << redirect;
    // A closed output is known before anything is touched.
    EXPECT_EQ(fs::exists(Tree("Debug/main.obj")), redirect == ">&-") << redirect;
  }
}

// Runs with the fault shim preloaded; apart from SweepwellTest so that the valgrind and the
// ThreadSanitizer passes, which do not preload it, leave these out.
class SweepwellKillTest : public SweepwellTest {};

TEST_F(SweepwellKillTest, KilledRunLeavesOnlyWholeTrashEntries) {
  SKIP_FOR_WINDOWS_PROGRAM(SWEEPWELL_BIN, "a preloaded library kills the run at a chosen call");
  const int kFiles = 4;
  for (int i = 0; i < kFiles; ++i) Write("Debug/f" + std::to_string(i) + ".obj", "obj");
  // Killed while writing the n-th entry: the earlier files are in the trash, with their
  // entries, and nothing of the n-th is.
  for (int n = 1; n <= kFiles; ++n) {
    RunOptions options = Options(tree_);
    options.env.insert(options.env.end(),
                       {"LD_PRELOAD=" FAULT_SHIM, "ASAN_OPTIONS=verify_asan_link_order=0",
                        "FAULT_CALL=write", "FAULT_KILL=1", "FAULT_NTH=" + std::to_string(n)});
    EXPECT_EQ(Sweepwell({}, options).signal, SIGKILL);
    EXPECT_EQ(ReadTrash(trash_).size(), static_cast<size_t>(n - 1));
    EXPECT_EQ(Snapshot(trash_ + "/info").size(), static_cast<size_t>(n - 1)) << "a stray file";
    RunResult list = Peer("trash-list", {}, tree_);
    EXPECT_EQ(list.err, "");
    // Restored again for the next round.
    for (int i = 0; i < kFiles; ++i) Write("Debug/f" + std::to_string(i) + ".obj", "obj");
    fs::remove_all(trash_);
  }
  // Killed between an entry and its move: the entry stays, whole, and the file stays in place.
  RunOptions options = Options(tree_);
  options.env.insert(options.env.end(),
                     {"LD_PRELOAD=" FAULT_SHIM, "ASAN_OPTIONS=verify_asan_link_order=0",
                      "FAULT_CALL=renameat2", "FAULT_KILL=1"});
  EXPECT_EQ(Sweepwell({}, options).signal, SIGKILL);
  auto info = Snapshot(trash_ + "/info");
  ASSERT_EQ(info.size(), 1u);
  TrashEntry entry;
  EXPECT_TRUE(ParseInfo(info.begin()->second, &entry)) << info.begin()->second;
  EXPECT_TRUE(fs::exists(entry.path)) << entry.path;
  EXPECT_EQ(Peer("trash-list", {}, tree_).err, "");
}

TEST_F(SweepwellTest, ReadOnlyByProductIsLeftAndReported) {
  if (!testsupport::IsWindowsProgram(SWEEPWELL_BIN)) GTEST_SKIP() << "Windows only";
  Write("Debug/locked.obj", "locked");
  Write("Debug/caf\xC3\xA9 \xE6\x97\xA5.obj", "open");
  // Wine gives a file without write permission the read-only attribute.
  ASSERT_EQ(chmod(Tree("Debug/locked.obj").c_str(), 0444), 0);
  std::string expected = ExpectedOutput(tree_, false, "Deleting file '%s' done\n");
  RunResult result = Sweepwell({"-d"});
  EXPECT_EQ(result.out, expected);
  EXPECT_EQ(result.err,
            "Sweepwell: cannot delete '" + Tree("Debug/locked.obj") + "': the file is read-only\n");
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(dir_.Read("tree/Debug/locked.obj"), "locked");
  EXPECT_FALSE(fs::exists(Tree("Debug/caf\xC3\xA9 \xE6\x97\xA5.obj")));
}

TEST_F(SweepwellTest, MissingCurrentDirectoryIsReported) {
  SKIP_FOR_WINDOWS_PROGRAM(SWEEPWELL_BIN, "Windows keeps a current directory from removal");
  dir_.MakeDir("gone");
  RunOptions options = Options(dir_.Path("gone"));
  RunResult result =
      testsupport::Run("/bin/sh", {"-c", "rmdir \"$PWD\" && exec \"$0\"", SWEEPWELL_BIN}, options);
  EXPECT_EQ(result.out, "Error reading current directory!\n");
  EXPECT_NE(result.err.find("Sweepwell: cannot read current directory"), std::string::npos)
      << result.err;
  EXPECT_EQ(result.exit_code, 1);
}

// Failures met by an ordinary user: the superuser running the tests drops its privileges.
class SweepwellAsUserTest : public SweepwellTest {
 protected:
  void SetUp() override {
    SKIP_FOR_WINDOWS_PROGRAM(SWEEPWELL_BIN, "drops privileges, which Wine's prefix refuses");
    SKIP_UNLESS_RUNNABLE_AS_NOBODY(SWEEPWELL_BIN);
    Write("locked/a.obj", "a");
    Write("open/b.obj", "b");
    Write("closed/c.obj", "c");
    dir_.MakeDir("home");
    dir_.GiveTo(65534, 65534);
    ASSERT_EQ(chmod(Tree("locked").c_str(), 0555), 0);
    ASSERT_EQ(chmod(Tree("closed").c_str(), 0), 0);
  }
  RunResult RunAsUser(const Strings& args) const {
    RunOptions options = Options(tree_);
    options.as_nobody = true;
    return Sweepwell(args, options);
  }
  void ExpectReported(const RunResult& result, const std::string& what, const std::string& path,
                      const std::string& reason) const {
    EXPECT_NE(result.err.find("Sweepwell: " + what + " '" + path + "': " + reason + "\n"),
              std::string::npos)
        << result.err;
  }
};

TEST_F(SweepwellAsUserTest, RefusedDeletionIsReportedAfterItsLine) {
  RunResult result = RunAsUser({"-d"});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_NE(result.out.find("Deleting file '" + Tree("locked/a.obj") + "' done\n"),
            std::string::npos);
  ExpectReported(result, "cannot delete", Tree("locked/a.obj"), "Permission denied");
  ExpectReported(result, "cannot list directory", Tree("closed"), "Permission denied");
  EXPECT_EQ(dir_.Read("tree/locked/a.obj"), "a");
  EXPECT_FALSE(fs::exists(Tree("open/b.obj")));
}

TEST_F(SweepwellAsUserTest, RefusedMoveToTheTrashLeavesTheFileAndNoEntry) {
  RunResult result = RunAsUser({});
  EXPECT_EQ(result.exit_code, 1);
  ExpectReported(result, "cannot move to trash", Tree("locked/a.obj"), "Permission denied");
  EXPECT_EQ(dir_.Read("tree/locked/a.obj"), "a");
  std::vector<TrashEntry> entries = ReadTrash(trash_);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].path, Tree("open/b.obj"));
}

TEST_F(SweepwellAsUserTest, UnusableHomeTrashLeavesEveryFileInPlace) {
  ASSERT_EQ(chown(home_.c_str(), 0, 0), 0);
  ASSERT_EQ(chmod(home_.c_str(), 0755), 0);
  RunResult result = RunAsUser({});
  EXPECT_EQ(result.exit_code, 1);
  for (const char* name : {"locked/a.obj", "open/b.obj"}) {
    ExpectReported(result, "cannot move to trash", Tree(name),
                   "cannot use the trash '" + trash_ + "': Permission denied");
    EXPECT_TRUE(fs::exists(Tree(name))) << name;
  }
}

// A small file system of its own, mounted for one test in a mount namespace of the test
// process, so that nothing outside it sees the mount.
class SecondFileSystem {
 public:
  explicit SecondFileSystem(const std::string& dir) : dir_(dir) {
    fs::create_directories(dir);
    if (!EnterOwnNamespace()) {
      why_not_ = std::string("cannot make a mount namespace: ") + std::strerror(errno);
    } else if (mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=8m,mode=0755") != 0) {
      why_not_ = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
    }
  }
  ~SecondFileSystem() {
    if (why_not_.empty()) umount2(dir_.c_str(), MNT_DETACH);
  }
  // Empty when the file system is mounted.
  const std::string& why_not() const { return why_not_; }
  bool MakeReadOnly() const {
    return mount(nullptr, dir_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }

 private:
  static bool EnterOwnNamespace() {
    static bool entered = unshare(CLONE_NEWNS) == 0 &&
                          mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return entered;
  }
  std::string dir_;
  std::string why_not_;
};

class SweepwellVolumeTest : public SweepwellTest {
 protected:
  void SetUp() override {
    SKIP_FOR_WINDOWS_PROGRAM(SWEEPWELL_BIN, "trash directories at the top of a file system");
    if (!volume_.why_not().empty()) GTEST_SKIP() << volume_.why_not();
    Write("vol/Debug/main.obj", "main");
    Write("vol/Debug/main.cpp", "source");
    Write("local.obj", "on the home file system");
  }
  std::string Vol(const std::string& relative) const { return Tree("vol/" + relative); }

  std::string uid_ = std::to_string(geteuid());
  SecondFileSystem volume_{dir_.Path("tree/vol")};
};

TEST_F(SweepwellVolumeTest, FileGoesToTheTrashAtTheTopOfItsFileSystem) {
  std::string expected = ExpectedOutput(tree_, false, "Deleting file '%s' done\n");
  RunResult result = Sweepwell({});
  EXPECT_EQ(result.out, expected);
  EXPECT_EQ(result.exit_code, 0) << result.err;
  std::string trash = Vol(".Trash-" + uid_);
  std::vector<TrashEntry> entries = ReadTrash(trash);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].path, "Debug/main.obj") << "relative to the top directory";
  EXPECT_EQ(ReadFileOrDie(trash + "/files/" + entries[0].name), "main");
  EXPECT_EQ(fs::status(trash).permissions(), fs::perms::owner_all);
  EXPECT_EQ(ByPath(ReadTrash(trash_)).count(Tree("local.obj")), 1u);
  EXPECT_EQ(dir_.Read("tree/vol/Debug/main.cpp"), "source");

  RunResult list = Peer("trash-list", {}, tree_);
  EXPECT_NE(list.out.find(" " + Vol("Debug/main.obj") + "\n"), std::string::npos) << list.out;
  RunResult restore = Peer("trash-restore", {}, Vol("Debug"), "0\n");
  EXPECT_EQ(restore.exit_code, 0) << restore.err;
  EXPECT_EQ(dir_.Read("tree/vol/Debug/main.obj"), "main");
}

TEST_F(SweepwellVolumeTest, SharedTrashIsUsedOnlyWithTheStickyBitAndNeverThroughALink) {
  for (std::string kind : {"sticky", "plain", "link"}) {
    fs::remove_all(Vol(".Trash"));
    fs::remove_all(Vol(".Trash-" + uid_));
    fs::remove_all(Vol("elsewhere"));
    Write("vol/Debug/main.obj", "main");
    if (kind == "link") {
      dir_.MakeDir("tree/vol/elsewhere");
      ASSERT_EQ(chmod(Vol("elsewhere").c_str(), 01777), 0);
      ASSERT_EQ(symlink("elsewhere", Vol(".Trash").c_str()), 0);
    } else {
      dir_.MakeDir("tree/vol/.Trash");
      ASSERT_EQ(chmod(Vol(".Trash").c_str(), kind == "sticky" ? 01777 : 0777), 0);
    }
    RunResult result = Sweepwell({});
    EXPECT_EQ(result.exit_code, 0) << kind << ": " << result.err;
    std::string trash = Vol(kind == "sticky" ? ".Trash/" + uid_ : ".Trash-" + uid_);
    std::vector<TrashEntry> entries = ReadTrash(trash);
    ASSERT_EQ(entries.size(), 1u) << kind;
    EXPECT_EQ(entries[0].path, "Debug/main.obj") << kind;
    EXPECT_EQ(fs::exists(Vol(".Trash-" + uid_)), kind != "sticky") << kind;
    EXPECT_TRUE(kind != "link" || fs::is_empty(Vol("elsewhere"))) << "the link's target";
  }
}

TEST_F(SweepwellVolumeTest, WithoutAUsableTrashTheFileStaysAndIsReported) {
  Write("vol/.Trash-" + uid_, "a file where the trash would go");
  for (const Strings& args : {Strings{}, Strings{"-re"}}) {
    RunResult result = Sweepwell(args);
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(result.out.find("Deleting file '" + Vol("Debug/main.obj") + "' done\n"),
              std::string::npos);
    EXPECT_NE(result.err.find("Sweepwell: cannot move to trash '" + Vol("Debug/main.obj") +
                              "': no trash can be used on its file system ('" +
                              Vol(".Trash-" + uid_) + "': Not a directory)\n"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(dir_.Read("tree/vol/Debug/main.obj"), "main") << "never deleted instead";
  }
}

TEST_F(SweepwellVolumeTest, ReadOnlyFileSystemKeepsItsFiles) {
  ASSERT_TRUE(volume_.MakeReadOnly()) << std::strerror(errno);
  RunResult trashed = Sweepwell({});
  EXPECT_EQ(trashed.exit_code, 1);
  EXPECT_NE(trashed.err.find("': no trash can be used on its file system ('" +
                             Vol(".Trash-" + uid_) + "': Read-only file system)\n"),
            std::string::npos)
      << trashed.err;
  RunResult deleted = Sweepwell({"-d"});
  EXPECT_EQ(deleted.exit_code, 1);
  EXPECT_NE(deleted.err.find("Sweepwell: cannot delete '" + Vol("Debug/main.obj") +
                             "': Read-only file system\n"),
            std::string::npos)
      << deleted.err;
  EXPECT_EQ(dir_.Read("tree/vol/Debug/main.obj"), "main");
}

TEST_F(SweepwellVolumeTest, TrashDirectoriesAtTheTopAreLeftAlone) {
  Write("vol/.Trash-1234/files/other.obj", "another user's");
  Write("vol/.Trash/" + uid_ + "/files/mine.obj", "mine");
  Write("vol/.Trashy/x.obj", "an ordinary folder");
  for (const Strings& args : {Strings{"-n"}, Strings{}, Strings{"-d"}}) {
    RunResult result = Sweepwell(args);
    EXPECT_EQ(result.out.find("/.Trash-1234/"), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find("/.Trash/"), std::string::npos) << result.out;
    EXPECT_EQ(result.exit_code, 0) << result.err;
  }
  EXPECT_EQ(dir_.Read("tree/vol/.Trash-1234/files/other.obj"), "another user's");
  EXPECT_EQ(dir_.Read("tree/vol/.Trash/" + uid_ + "/files/mine.obj"), "mine");
  EXPECT_FALSE(fs::exists(Vol(".Trashy/x.obj")));
}

}  // namespace
