// Stampwell run as a user runs it: real trees, exact output, exact bytes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "tests/support/child_process.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/tree_model.h"

namespace {

namespace fs = std::filesystem;
using testsupport::RunOptions;
using testsupport::RunResult;
using testsupport::ScratchDir;
using testsupport::Snapshot;

const char kUsage[] =
    "Utility to change all *.rc files in all subfolders\n"
    "\n"
    "Usage: Stampwell [switches]\n"
    "\n"
    "Switches:\n"
    "\n"
    "       -?              -  display help\n"
    "       -h              -  display help\n"
    "       -help           -  display help\n"
    "       -vp <n.n.n.n>   -  set product version\n"
    "       -vf <n.n.n.n>   -  set file version\n"
    "       -s              -  Silent (no dialogs)\n"
    "\n";

const char kScript[] =
    "1 VERSIONINFO\r\n"
    " FILEVERSION 1,0,0,1\r\n"
    " PRODUCTVERSION 1,0,0,1\r\n"
    "BEGIN\n"
    "        VALUE \"FileVersion\", \"1, 0, 0, 1\\0\"\r\n"
    "\tVALUE \"ProductVersion\", \"1.0.0.1\"\r\n"
    "        VALUE \"LegalCopyright\", \"\xA9 2024\"\r\n"
    "END";

const char kStamped[] =
    "1 VERSIONINFO\r\n"
    " FILEVERSION 2, 1, 7, 0\r\n"
    " PRODUCTVERSION 2, 1, 0, 0\r\n"
    "BEGIN\r\n"
    "            VALUE \"FileVersion\", \"2, 1, 7, 0\\0\"\r\n"
    "            VALUE \"ProductVersion\", \"2, 1, 0, 0\\0\"\r\n"
    "        VALUE \"LegalCopyright\", \"\xA9 2024\"\r\n"
    "END\r\n";

RunResult Stampwell(const ScratchDir& dir, const std::vector<std::string>& args,
                    RunOptions options = {}) {
  options.cwd = dir.path();
  return testsupport::Run(STAMPWELL_BIN, args, options);
}

std::string RcLine(const std::string& path) {
  std::string name = fs::path(path).filename().string();
  std::string ext = name.substr(std::min(name.rfind('.'), name.size()));
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".rc" ? "Resource File '" + path + "' done\n" : "";
}

TEST(Stampwell, HelpWinsOverEverything) {
  ScratchDir dir;
  dir.Write("a.rc", kScript);
  const std::vector<std::vector<std::string>> commands = {
      {"-?"}, {"-h"}, {"-help"}, {"--help"}, {"/HELP"}, {"-H"}, {"-s", "-vp", "2", "-?"}};
  for (const auto& args : commands) {
    RunResult result = Stampwell(dir, args);
    EXPECT_EQ(result.out, kUsage) << args[0];
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exit_code, 0);
  }
  EXPECT_EQ(dir.Read("a.rc"), kScript);
}

TEST(Stampwell, SilentRunStampsEveryScriptInWalkOrder) {
  ScratchDir dir;
  const char* scripts[] = {"a.rc",       "UPPER.RC",
                           "Mixed.Rc",   ".rc",
                           "sub/b.rc",   "sub/deeper/c.rc",
                           "other/d.rc", "caf\xC3\xA9/\xE6\x97\xA5\xE6\x9C\xAC \xD0\x96.rc"};
  for (const char* name : scripts) dir.Write(name, kScript);
  const char* others[] = {"x.rc2", "x.rc.bak", "rc", "sub/readme.txt", "Debug.rc/inside.txt"};
  for (const char* name : others) dir.Write(name, kScript);
  std::string expected = testsupport::ExpectedWalk(dir.path(), RcLine);

  RunResult result = Stampwell(dir, {"-s", "-vp", "2.1", "-vf", "2.1.7"});
  EXPECT_EQ(result.out, expected);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exit_code, 0);
  for (const char* name : scripts) EXPECT_EQ(dir.Read(name), kStamped) << name;
  for (const char* name : others) EXPECT_EQ(dir.Read(name), kScript) << name;
  EXPECT_EQ(Snapshot(dir.path()).size(), std::size(scripts) + std::size(others))
      << "no temporary file may be left";
}

TEST(Stampwell, SwitchesAreCaseInsensitiveAndVersionsOptional) {
  struct Case {
    std::vector<std::string> args;
    std::string product_line;
    std::string file_line;
  };
  const Case cases[] = {
      {{"-S", "-VP", "1.2"}, " PRODUCTVERSION 1, 2, 0, 0", " FILEVERSION 1,0,0,1"},
      {{"/s", "/vf", "3"}, " PRODUCTVERSION 1,0,0,1", " FILEVERSION 3, 0, 0, 0"},
      {{"-s", "-vp"}, " PRODUCTVERSION 1,0,0,1", " FILEVERSION 1,0,0,1"},
      {{"-s"}, " PRODUCTVERSION 1,0,0,1", " FILEVERSION 1,0,0,1"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    dir.Write("a.rc", " PRODUCTVERSION 1,0,0,1\n FILEVERSION 1,0,0,1");
    RunResult result = Stampwell(dir, c.args);
    EXPECT_EQ(result.exit_code, 0) << c.args[0];
    EXPECT_EQ(dir.Read("a.rc"), c.product_line + "\r\n" + c.file_line + "\r\n") << c.args[0];
  }
}

TEST(Stampwell, VersionWithALineBreakIsRefused) {
  ScratchDir dir;
  dir.Write("a.rc", kScript);
  RunResult result = Stampwell(dir, {"-s", "-vp", "2.1", "-vf", "2\n1"});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err,
            "Stampwell: cannot use version '2\n1': holds a line break; nothing was changed\n");
  EXPECT_EQ(dir.Read("a.rc"), kScript);
}

TEST(Stampwell, WithoutSilentSwitchAndNoTerminalTouchesNothing) {
  SKIP_FOR_WINDOWS_PROGRAM(STAMPWELL_BIN, "the form's controlling terminal");
  ScratchDir dir;
  dir.Write("a.rc", kScript);
  // In a session of its own the program has no controlling terminal, wherever the test runs.
  RunOptions options;
  options.cwd = dir.path();
  RunResult result = testsupport::Run(
      "/bin/sh",
      {"-c", "exec setsid -w \"$0\" \"$@\"", STAMPWELL_BIN, "-vp", "2.1", "-vf", "2.1.7"}, options);
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err,
            "Stampwell: cannot show the version form on '/dev/tty': No such device or address "
            "(run with -s to stamp silently, without the form)\n");
  EXPECT_EQ(dir.Read("a.rc"), kScript);
  EXPECT_FALSE(fs::exists(dir.Path("Version.txt")));
}

TEST(Stampwell, ManyScriptsAndFailuresComeOutInWalkOrderInOneStream) {
  // Scripts are written several at a time; what the run prints must still read exactly as a
  // one-at-a-time run's, each failure right after its own script's line.
  ScratchDir dir;
  const std::string binary("1\0 2\r\n", 6);
  for (int i = 0; i < 800; ++i) {
    std::string name = "d" + std::to_string(i % 40) + "/e" + std::to_string(i % 3) + "/s" +
                       std::to_string(i) + (i % 4 == 0 ? ".txt" : ".rc");
    dir.Write(name, i % 7 == 0 ? binary : kScript);
  }
  std::string expected = testsupport::ExpectedWalk(dir.path(), [&](const std::string& path) {
    std::string line = RcLine(path);
    if (!line.empty() && dir.Read(path.substr(dir.path().size() + 1)) == binary) {
      line +=
          "Stampwell: left alone '" + path + "': holds NUL bytes, not 8-bit text; left untouched\n";
    }
    return line;
  });
  RunOptions options;
  options.error_to_output = true;
  RunResult result = Stampwell(dir, {"-s", "-vp", "2.1", "-vf", "2.1.7"}, options);
  EXPECT_EQ(result.out, expected);
  EXPECT_EQ(result.exit_code, 1);
}

TEST(Stampwell, ScriptsThatAreNotPlainTextFilesAreReportedAndLeftAlone) {
  SKIP_FOR_WINDOWS_PROGRAM(STAMPWELL_BIN, "Wine shows a link to a file as the file; no FIFOs");
  ScratchDir dir;
  dir.Write("good.rc", kScript);
  dir.Write("target.txt", kScript);
  const std::string binary("1\0 2\r\n", 6);  // NUL bytes, but not UTF-16
  dir.Write("binary.rc", binary);
  ASSERT_EQ(symlink("target.txt", dir.Path("link.rc").c_str()), 0);
  ASSERT_EQ(mkfifo(dir.Path("fifo.rc").c_str(), 0600), 0);

  RunResult result = Stampwell(dir, {"-s", "-vp", "2.1", "-vf", "2.1.7"});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.out, testsupport::ExpectedWalk(dir.path(), RcLine));
  const std::string expected_errors[] = {
      "Stampwell: left alone '" + dir.Path("link.rc") + "': symbolic link, not followed\n",
      "Stampwell: left alone '" + dir.Path("fifo.rc") + "': not a regular file\n",
      "Stampwell: left alone '" + dir.Path("binary.rc") +
          "': holds NUL bytes, not 8-bit text; left untouched\n"};
  for (const std::string& line : expected_errors) {
    EXPECT_NE(result.err.find(line), std::string::npos) << result.err;
  }
  EXPECT_EQ(dir.Read("good.rc"), kStamped);
  EXPECT_EQ(dir.Read("target.txt"), kScript);
  EXPECT_EQ(dir.Read("binary.rc"), binary);
  EXPECT_TRUE(fs::is_symlink(dir.Path("link.rc")));
}

TEST(Stampwell, ReadOnlyScriptIsReportedAndLeftUntouched) {
  SKIP_FOR_WINDOWS_PROGRAM(STAMPWELL_BIN, "drops privileges, which Wine's prefix refuses");
  if (!testsupport::CanDropPrivileges()) GTEST_SKIP() << "needs root to drop privileges";
  ScratchDir dir;
  dir.Write("locked.rc", kScript);
  dir.Write("open.rc", kScript);
  dir.Write("closed/hidden.rc", kScript);
  dir.GiveTo(65534, 65534);
  ASSERT_EQ(chmod(dir.Path("locked.rc").c_str(), 0444), 0);
  ASSERT_EQ(chmod(dir.Path("closed").c_str(), 0), 0);
  struct stat before;
  ASSERT_EQ(stat(dir.Path("locked.rc").c_str(), &before), 0);

  RunOptions options;
  options.as_nobody = true;
  RunResult result = Stampwell(dir, {"-s", "-vp", "2.1", "-vf", "2.1.7"}, options);
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_NE(result.err.find("Stampwell: cannot write '" + dir.Path("locked.rc") +
                            "': Permission denied\n"),
            std::string::npos)
      << result.err;
  EXPECT_NE(result.err.find("Stampwell: cannot list directory '" + dir.Path("closed") +
                            "': Permission denied\n"),
            std::string::npos)
      << result.err;
  EXPECT_NE(result.out.find("Processing directory 'closed'\n"), std::string::npos);
  EXPECT_EQ(dir.Read("locked.rc"), kScript);
  EXPECT_EQ(dir.Read("open.rc"), kStamped);
  struct stat after;
  ASSERT_EQ(stat(dir.Path("locked.rc").c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mode, before.st_mode);
  ASSERT_EQ(chmod(dir.Path("closed").c_str(), 0755), 0);
  EXPECT_EQ(dir.Read("closed/hidden.rc"), kScript);
}

TEST(Stampwell, ReadOnlyAttributeLeavesTheScriptAloneAndReported) {
  if (!testsupport::IsWindowsProgram(STAMPWELL_BIN)) GTEST_SKIP() << "Windows only";
  ScratchDir dir;
  dir.Write("locked.rc", kScript);
  dir.Write("open.rc", kScript);
  // Wine gives a file without write permission the read-only attribute.
  ASSERT_EQ(chmod(dir.Path("locked.rc").c_str(), 0444), 0);
  RunResult result = Stampwell(dir, {"-s", "-vp", "2.1", "-vf", "2.1.7"});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.err,
            "Stampwell: cannot write '" + dir.Path("locked.rc") + "': the file is read-only\n");
  EXPECT_EQ(dir.Read("locked.rc"), kScript);
  EXPECT_EQ(dir.Read("open.rc"), kStamped);
}

TEST(Stampwell, MissingCurrentDirectoryIsReported) {
  SKIP_FOR_WINDOWS_PROGRAM(STAMPWELL_BIN, "Windows keeps a current directory from removal");
  ScratchDir dir;
  dir.MakeDir("gone");
  // The child enters the directory, which is removed before it reads its own location.
  RunOptions options;
  options.cwd = dir.Path("gone");
  std::string script = "rmdir \"$PWD\" && exec \"$0\" -s";
  RunResult result = testsupport::Run("/bin/sh", {"-c", script + " -vp 1", STAMPWELL_BIN}, options);
  EXPECT_EQ(result.out, "Error reading current directory!\n");
  EXPECT_NE(result.err.find("Stampwell: cannot read current directory"), std::string::npos)
      << result.err;
  EXPECT_EQ(result.exit_code, 1);
}

// A tree of `count` scripts in 30 folders, enough that a run is still going when stopped.
void WriteManyScripts(const ScratchDir& dir, int count) {
  for (int i = 0; i < count; ++i) {
    dir.Write("d" + std::to_string(i % 30) + "/s" + std::to_string(i) + ".rc", kScript);
  }
}

// The full paths of the stamped scripts, after checking that every file is a script either as
// it was or stamped: nothing half-written, no temporary file left.
std::set<std::string> StampedScripts(const ScratchDir& dir) {
  std::set<std::string> stamped;
  for (const auto& [path, bytes] : Snapshot(dir.path())) {
    EXPECT_EQ(fs::path(path).extension(), ".rc") << "left behind: " << path;
    EXPECT_TRUE(bytes == kScript || bytes == kStamped) << path;
    if (bytes == kStamped) stamped.insert(dir.Path(path));
  }
  return stamped;
}

TEST(Stampwell, ClosedOutputEndsTheRunByBrokenPipeLeavingEveryScriptWhole) {
  SKIP_FOR_WINDOWS_PROGRAM(STAMPWELL_BIN, "SIGPIPE");
  ScratchDir dir;
  const int kScripts = 3000;
  WriteManyScripts(dir, kScripts);
  RunOptions options;
  options.cwd = dir.path();
  // The reader goes away after the first byte; the status is the tool's.
  RunResult result = testsupport::Run(
      "/bin/bash",
      {"-c", "set -o pipefail; \"$0\" -s -vp 2.1 -vf 2.1.7 | head -c 1 >/dev/null; echo $?",
       STAMPWELL_BIN},
      options);
  EXPECT_EQ(result.out, std::to_string(128 + SIGPIPE) + "\n") << result.err;
  EXPECT_LT(StampedScripts(dir).size(), static_cast<size_t>(kScripts))
      << "the run went on after its output was closed";
}

TEST(Stampwell, InterruptedRunLeavesEveryScriptWholeAndNoTemporaryFile) {
  ScratchDir dir;
  const int kScripts = 3000;
  WriteManyScripts(dir, kScripts);
  RunOptions options;
  options.cwd = dir.path();
  testsupport::ChildProcess child(STAMPWELL_BIN, {"-s", "-vp", "2.1", "-vf", "2.1.7"}, options);
  child.ReadUntil(1);  // the first buffer of progress lines: the run is under way
  child.Signal(SIGINT);
  RunResult result = child.Wait();
  EXPECT_TRUE(testsupport::EndedByInterrupt(result, STAMPWELL_BIN)) << result.exit_code;
  std::set<std::string> stamped = StampedScripts(dir);
  // Every script the run finished is reported, and no other: the output can be trusted.
  EXPECT_EQ(testsupport::PathsInLines(result.out, "Resource File '", "' done"), stamped);
  EXPECT_GT(stamped.size(), 0u);
  EXPECT_LT(stamped.size(), static_cast<size_t>(kScripts))
      << "the run ended before the signal; use a larger tree";
}

}  // namespace
