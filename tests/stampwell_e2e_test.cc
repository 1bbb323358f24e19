// Stampwell run as a user runs it: real trees, exact output, exact bytes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>

#include "tests/support/child_process.h"
#include "tests/support/reachable_program.h"
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
    "       -n              -  dry run: list the changes, write nothing\n"
    "       -rc2            -  also change *.rc2 files\n"
    "       -macros         -  stamp the #define a version line names\n"
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
      {"-?"}, {"-h"}, {"-help"}, {"--help"}, {"/HELP"}, {"-H"}, {"-s", "-vp", "2", "--vf", "-?"}};
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
  // A statement the line rules miss is named on standard error; the run still succeeds.
  std::string half = kScript, half_stamped = kStamped;
  half.erase(15, 1);
  half_stamped.replace(15, 23, half.substr(15, 19));
  dir.Write("sub/half.rc", half);
  std::string expected = testsupport::ExpectedWalk(dir.path(), RcLine);

  RunResult result = Stampwell(dir, {"-s", "-vp", "2.1", "-vf", "2.1.7"});
  EXPECT_EQ(result.out, expected);
  EXPECT_EQ(result.err, "Stampwell: version resource only partly stamped '" +
                            dir.Path("sub/half.rc") +
                            "': line 2, FILEVERSION starts at the beginning of the line; the "
                            "line rules need a blank before it\n");
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(dir.Read("sub/half.rc"), half_stamped);
  for (const char* name : scripts) EXPECT_EQ(dir.Read(name), kStamped) << name;
  for (const char* name : others) EXPECT_EQ(dir.Read(name), kScript) << name;
  EXPECT_EQ(Snapshot(dir.path()).size(), std::size(scripts) + std::size(others) + 1)
      << "no temporary file may be left";
  for (const std::string mode : {"-n", "-s"}) {  // and with -rc2, the .rc2 script too
    RunResult rc2 = Stampwell(dir, {mode, "/RC2", "-vp", "2.1", "-vf", "2.1.7"});
    EXPECT_NE(rc2.out.find(" '" + dir.Path("x.rc2") + "'"), std::string::npos) << rc2.out;
    EXPECT_EQ(dir.Read("x.rc2"), mode == "-s" ? kStamped : kScript) << mode;
  }
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
      {{"-s", "-vp", "2.010", "-vf", "00065535, 00 ,1 2"},
       " PRODUCTVERSION 2, 10, 0, 0",
       " FILEVERSION 65535, 0, 1, 2"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    dir.Write("a.rc", " PRODUCTVERSION 1,0,0,1\n FILEVERSION 1,0,0,1");
    RunResult result = Stampwell(dir, c.args);
    EXPECT_EQ(result.exit_code, 0) << c.args[0];
    EXPECT_EQ(dir.Read("a.rc"), c.product_line + "\r\n" + c.file_line + "\r\n") << c.args[0];
  }
}

TEST(Stampwell, MacrosStampTheDefinitionsVersionLinesNameOnceAndRefuseTheDoubtful) {
  ScratchDir dir;
  const std::string header =
      "#define VER_NUM 8, 9, 7, 0\r\n#define VER_STR L\"8.9.7.0\\0\"\n"
      "#ifdef BETA\r\n#define TWICE 1,0\r\n#else\r\n#define TWICE 1,1\r\n#endif\r\n";
  dir.Write("inc/ver.h", header);
  dir.Write("app/app.rc",
            "#include \"../inc/ver.h\"\r\n#define OWN \"1, 0\"\r\n1 VERSIONINFO\r\n"
            "FILEVERSION VER_NUM\r\n PRODUCTVERSION VER_NUM\r\n"
            "  VALUE \"FileVersion\", VER_STR\r\n  VALUE \"ProductVersion\", OWN\r\n");
  dir.Write("app/b.rc", "#include \"..\\inc\\ver.h\"\r\n1 VERSIONINFO\r\n FILEVERSION TWICE\r\n");
  RunResult dry = Stampwell(dir, {"-n", "-macros", "-vp", "2.1", "-vf", "2.1"});
  EXPECT_NE(
      dry.out.find("Would stamp file '" + dir.Path("app/app.rc") +
                   "'\n  - #define OWN \"1, 0\"\n  + #define OWN \"2, 1, 0, 0\"\n"
                   "Would stamp file '" +
                   dir.Path("inc/ver.h") +
                   "'\n  - #define VER_NUM 8, 9, 7, 0\n  + #define VER_NUM 2, 1, 0, 0\n"
                   "  - #define VER_STR L\"8.9.7.0\\0\"\n  + #define VER_STR L\"2.1.0.0\\0\"\n"),
      std::string::npos)
      << dry.out;
  RunResult run = Stampwell(dir, {"-s", "-macros", "-vp", "2.1", "-vf", "2.1"});
  EXPECT_EQ(run.out, testsupport::ExpectedWalk(dir.path(), [&](const std::string& path) {
              return RcLine(path) + (path == dir.Path("app/app.rc")
                                         ? "Header File '" + dir.Path("inc/ver.h") + "' done\n"
                                         : "");
            }));
  EXPECT_EQ(run.err, "Stampwell: version macro refused '" + dir.Path("inc/ver.h") +
                         "': line 4, TWICE is defined more than once, again on line 6; no "
                         "definition is stamped\n");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(dir.Read("inc/ver.h"),
            "#define VER_NUM 2, 1, 0, 0\r\n#define VER_STR L\"2.1.0.0\\0\"\n" +
                header.substr(header.find("#ifdef")));
  EXPECT_EQ(dir.Read("app/app.rc"),
            "#include \"../inc/ver.h\"\r\n#define OWN \"2, 1, 0, 0\"\r\n1 VERSIONINFO\r\n"
            "FILEVERSION VER_NUM\r\n PRODUCTVERSION VER_NUM\r\n"
            "  VALUE \"FileVersion\", VER_STR\r\n  VALUE \"ProductVersion\", OWN\r\n");
}

TEST(Stampwell, WordsAndVersionsThatDoNotFitAreRefusedBeforeAnythingIsTouched) {
  struct Case {
    std::vector<std::string> args;
    std::string version, why;
  };
  const Case cases[] = {
      {{"-s", "-vp", "2.1", "-vf", "2\n1"}, "2\n1", "holds a line break"},
      {{"-s", "-vf", "2.1.70000"}, "2.1.70000", "part 3 is above 65535"},
      {{"-s", "-vp", "2.1.beta", "-vf", "2.1"}, "2.1.beta", "part 3 is not a number"},
      {{"-s", "-vp", "v2.1"}, "v2.1", "part 1 is not a number"},
      {{"-s", "-vf", "1.2."}, "1.2.", "part 3 is empty"},
      {{"-s", "--vf", "2.1.7"}, "", "unknown switch '--vf'"},
      {{"-s", "-vf2.1.7"}, "", "unknown switch '-vf2.1.7'"},
      {{"-s", "now", "-vf", "2.1"}, "", "switch '-s' takes no value, but 'now' follows it"},
      {{"-s", "-vf", "1.2.3.4.5"}, "1.2.3.4.5", "has more than four parts"},
      {{"-n", "-vp", "2.1-rc1"}, "2.1-rc1", "part 2 is not a number"},
      {{"-vp", "65536", "-vf", "2.1"}, "65536", "part 1 is above 65535"},  // before the form
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    dir.Write("a.rc", kScript);
    RunResult result = Stampwell(dir, c.args);
    EXPECT_EQ(result.exit_code, 1) << c.version;
    EXPECT_EQ(result.out, "") << c.version;
    std::string why = c.version.empty() ? c.why + "; -? lists the switches"
                                        : "cannot use version '" + c.version + "': " + c.why +
                                              "; nothing was changed";
    EXPECT_EQ(result.err, "Stampwell: " + why + "\n");
    EXPECT_EQ(Snapshot(dir.path()), (std::map<std::string, std::string>{{"a.rc", kScript}}));
  }
}

// Latin-1 text as UTF-16 little-endian with its byte-order mark.
std::string Utf16Le(std::string_view latin1) {
  std::string bytes = "\xFF\xFE";
  for (char c : latin1) bytes += {c, '\0'};
  return bytes;
}

TEST(Stampwell, DryRunListsEveryChangeAndWritesNothing) {
  ScratchDir dir;
  dir.Write("a.rc", kScript);
  dir.Write("sub/wide.rc", Utf16Le(" FILEVERSION 1,0,0,1 // \xE9\n PRODUCTVERSION 1\r\n"));
  dir.Write("sub/plain.rc", "no version here\n");
  dir.Write("sub/version.rc2", kScript);
  dir.Write("sub/binary.rc", std::string("1\0 2\r\n", 6));
  dir.Write("sub/locked.rc", kScript);
  dir.Write("sub/plain.rc.Stampwell-AbC123.tmp", kScript);  // what only a kill leaves
  // A UTF-16 script as `*.rc text eol=crlf` checks it out: a CR byte before every LF byte.
  std::string damaged = Utf16Le(" FILEVERSION 1\r\n PRODUCTVERSION 1\r\n");
  for (size_t lf = damaged.find('\n'); lf != std::string::npos; lf = damaged.find('\n', lf + 2))
    damaged.insert(lf, "\r");
  dir.Write("sub/damaged.rc", damaged);
  dir.Write("Version.txt", "old\n");
  // A script the real run may not write is reported as that run reports it, not previewed.
  ASSERT_EQ(chmod(dir.Path("sub/locked.rc").c_str(), 0444), 0);
  const std::string locked = "Stampwell: cannot write '" + dir.Path("sub/locked.rc") + "': " +
                             (testsupport::IsWindowsProgram(STAMPWELL_BIN) ? "the file is read-only"
                              : geteuid() == 0 ? "read-only file, no one may write it"
                                               : "Permission denied") +
                             "\n";
  const auto before = Snapshot(dir.path());
  const std::map<std::string, std::string> changes = {
      {"a.rc",
       "  -  FILEVERSION 1,0,0,1\n  +  FILEVERSION 2, 1, 7, 0\n"
       "  -  PRODUCTVERSION 1,0,0,1\n  +  PRODUCTVERSION 2, 1, 0, 0\n"
       "  -         VALUE \"FileVersion\", \"1, 0, 0, 1\\0\"\n"
       "  +             VALUE \"FileVersion\", \"2, 1, 7, 0\\0\"\n"
       "  - \tVALUE \"ProductVersion\", \"1.0.0.1\"\n"
       "  +             VALUE \"ProductVersion\", \"2, 1, 0, 0\\0\"\n"},
      {"sub/wide.rc",
       "  -  FILEVERSION 1,0,0,1 // \xC3\xA9\n  +  FILEVERSION 2, 1, 7, 0\n"
       "  -  PRODUCTVERSION 1\n  +  PRODUCTVERSION 2, 1, 0, 0\n"},
      {"sub/plain.rc", "  line breaks become CR LF\n"},
  };
  for (const char* dry : {"-n", "/N"}) {
    RunResult result = Stampwell(dir, {dry, "-vp", "2.1", "-vf", "2.1.7"});
    EXPECT_EQ(result.out, testsupport::ExpectedWalk(dir.path(), [&](const std::string& path) {
                if (RcLine(path).empty()) return std::string();
                auto change = changes.find(path.substr(dir.path().size() + 1));
                return "Would stamp file '" + path + "'\n" +
                       (change != changes.end() ? change->second : "");
              }));
    const std::string binary = "Stampwell: left alone '" + dir.Path("sub/binary.rc") +
                               "': holds NUL bytes, not 8-bit text; left untouched\n";
    const std::string out_of_step =
        "Stampwell: left alone '" + dir.Path("sub/damaged.rc") +
        "': UTF-16 text damaged by a line-ending conversion (a CR or LF byte out of step with the "
        "text); mark it as binary or set working-tree-encoding in .gitattributes; left untouched\n";
    const std::string leftover =
        "Stampwell: left behind by a run that was stopped '" +
        dir.Path("sub/plain.rc.Stampwell-AbC123.tmp") + "': '" + dir.Path("sub/plain.rc") +
        "' beside it is whole; delete this file\n";
    for (const std::string& line : {binary, locked, out_of_step, leftover})
      EXPECT_NE(result.err.find(line), std::string::npos) << result.err;
    EXPECT_EQ(result.err.size(),
              binary.size() + locked.size() + out_of_step.size() + leftover.size());
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(Snapshot(dir.path()), before) << dry;
  }
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
  SKIP_UNLESS_RUNNABLE_AS_NOBODY(STAMPWELL_BIN);
  ScratchDir dir;
  dir.Write("locked.rc", kScript);
  dir.Write("open.rc", kScript);
  dir.Write("closed/hidden.rc", kScript);
  dir.Write("fixed/inside.rc", kScript);
  dir.Write("sticky/theirs.rc", kScript);
  dir.Write("grows.rc", kScript);
  dir.GiveTo(65534, 65534);
  // Writable by all, but in a sticky folder only its owner may rename over it.
  ASSERT_EQ(chown(dir.Path("sticky").c_str(), 0, 0) | chown(dir.Path("sticky/theirs.rc").c_str(), 0, 0), 0);
  ASSERT_EQ(chmod(dir.Path("sticky").c_str(), 01777) | chmod(dir.Path("sticky/theirs.rc").c_str(), 0666), 0);
  // Append-only, where the file system keeps such a flag: no write may replace it.
  int grows = open(dir.Path("grows.rc").c_str(), O_RDONLY), flag = FS_APPEND_FL;
  const bool append_only = ioctl(grows, FS_IOC_SETFLAGS, &flag) == 0;
  ASSERT_EQ(chmod(dir.Path("locked.rc").c_str(), 0444), 0);
  ASSERT_EQ(chmod(dir.Path("closed").c_str(), 0), 0);
  ASSERT_EQ(chmod(dir.Path("fixed").c_str(), 0555), 0);
  struct stat before;
  ASSERT_EQ(stat(dir.Path("locked.rc").c_str(), &before), 0);

  RunOptions options;
  options.as_nobody = true;
  // The dry run reports what the real run meets, with the same messages.
  for (const char* mode : {"-n", "-s"}) {
    RunResult result = Stampwell(dir, {mode, "-vp", "2.1", "-vf", "2.1.7"}, options);
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(result.err.find("Stampwell: cannot write '" + dir.Path("locked.rc") +
                              "': Permission denied\n"),
              std::string::npos)
        << mode << result.err;
    EXPECT_NE(result.err.find("Stampwell: cannot list directory '" + dir.Path("closed") +
                              "': Permission denied\n"),
              std::string::npos)
        << mode << result.err;
    // A script that may be written in a folder that may not: no temporary file can be made.
    EXPECT_NE(result.err.find("Stampwell: cannot create temporary file for '" +
                              dir.Path("fixed/inside.rc") + "': Permission denied\n"),
              std::string::npos)
        << mode << result.err;
    EXPECT_NE(result.err.find("Stampwell: cannot replace '" + dir.Path("sticky/theirs.rc") +
                              "': Operation not permitted\n"),
              std::string::npos)
        << mode << result.err;
    EXPECT_EQ(result.err.find("Stampwell: cannot write '" + dir.Path("grows.rc") +
                              "': Operation not permitted\n") != std::string::npos,
              append_only)
        << mode << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 4 + append_only)
        << mode << result.err;
    EXPECT_NE(result.out.find("Processing directory 'closed'\n"), std::string::npos);
  }
  EXPECT_EQ(dir.Read("fixed/inside.rc"), kScript);
  EXPECT_EQ(dir.Read("locked.rc"), kScript);
  EXPECT_EQ(dir.Read("open.rc"), kStamped);
  struct stat after;
  ASSERT_EQ(stat(dir.Path("locked.rc").c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mode, before.st_mode);
  ASSERT_EQ(chmod(dir.Path("closed").c_str(), 0755), 0);
  EXPECT_EQ(dir.Read("closed/hidden.rc"), kScript);
  EXPECT_EQ(dir.Read("sticky/theirs.rc"), kScript);
  flag = 0;
  ioctl(grows, FS_IOC_SETFLAGS, &flag);
  close(grows);
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

TEST(Stampwell, ScriptHeldOpenWithoutSharingIsReportedAndLeftAlone) {
#ifndef HOLD_OPEN_BIN
  GTEST_SKIP() << "Windows only: share modes";
#else
  ScratchDir dir;
  dir.Write("held.rc", kScript);
  dir.Write("open.rc", kScript);
  RunOptions here;
  here.cwd = dir.path();
  testsupport::ChildProcess holder(HOLD_OPEN_BIN, {"held.rc", "stop"}, here);
  holder.ReadUntilFound("holding");
  RunResult result = Stampwell(dir, {"-s", "-vp", "2.1", "-vf", "2.1.7"});
  dir.Write("stop", "");
  EXPECT_EQ(holder.Wait().exit_code, 0) << "the file was held until the end of the run";
  EXPECT_EQ(result.exit_code, 1);
  // The system's reason, in Wine's words.
  EXPECT_TRUE(result.err.starts_with("Stampwell: cannot ") &&
              result.err.ends_with(" '" + dir.Path("held.rc") + "': Sharing violation\n") &&
              result.err.find('\n') + 1 == result.err.size())
      << result.err;
  EXPECT_EQ(dir.Read("held.rc"), kScript);
  EXPECT_EQ(dir.Read("open.rc"), kStamped);
#endif
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

struct stat StatOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
  return st;
}

TEST(Stampwell, RewriteKeepsWhatAScriptIsOrLeavesItAlone) {
  SKIP_FOR_WINDOWS_PROGRAM(STAMPWELL_BIN, "permission bits, hard links and owners are POSIX's");
  ScratchDir dir;
  dir.Write("locked.rc", kScript);
  dir.Write("linked.rc", kScript);
  dir.Write("owned.rc", kScript);
  ASSERT_EQ(chmod(dir.Path("locked.rc").c_str(), 0444), 0);
  ASSERT_EQ(link(dir.Path("linked.rc").c_str(), dir.Path("linked.txt").c_str()), 0);
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(dir.Path("owned.rc").c_str(), 65534, 65534), 0);
  }
  ASSERT_EQ(chmod(dir.Path("owned.rc").c_str(), 02764), 0);
  const struct stat locked = StatOf(dir.Path("locked.rc"));

  RunResult result = Stampwell(dir, {"-s", "-vp", "2.1", "-vf", "2.1.7"});
  // Read-only for everyone is read-only for the superuser too.
  EXPECT_EQ(result.err, "Stampwell: cannot write '" + dir.Path("locked.rc") + "': " +
                            (root ? "read-only file, no one may write it" : "Permission denied") +
                            "\n");
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(dir.Read("locked.rc"), kScript);
  EXPECT_EQ(StatOf(dir.Path("locked.rc")).st_ino, locked.st_ino);
  // The rename makes a new file: a hard link keeps the old text.
  EXPECT_EQ(dir.Read("linked.rc"), kStamped);
  EXPECT_EQ(dir.Read("linked.txt"), kScript);
  EXPECT_EQ(StatOf(dir.Path("linked.rc")).st_nlink, 1u);
  // Owner (where allowed) and every permission bit are kept.
  EXPECT_EQ(dir.Read("owned.rc"), kStamped);
  EXPECT_EQ(StatOf(dir.Path("owned.rc")).st_mode & 07777, 02764u);
  if (root) {
    EXPECT_EQ(StatOf(dir.Path("owned.rc")).st_uid, 65534u);
  }
}

// What `command` prints about `path`, run in `dir`.
std::string Describe(const ScratchDir& dir, const std::string& command, const std::string& path) {
  RunOptions options;
  options.cwd = dir.path();
  RunResult result = testsupport::Run("/bin/sh", {"-c", command + " \"$0\"", path}, options);
  EXPECT_EQ(result.exit_code, 0) << command << ": " << result.err;
  return result.out;
}

TEST(Stampwell, StampedScriptKeepsItsAccessControlListAndAttributes) {
  SKIP_FOR_WINDOWS_PROGRAM(STAMPWELL_BIN, "POSIX access lists and extended attributes");
  ScratchDir dir;
  if (!dir.HoldsUserAttributes()) GTEST_SKIP() << "the file system here has no user attributes";
  dir.Write("a.rc", kScript);
  ASSERT_EQ(chmod(dir.Path("a.rc").c_str(), 0664), 0);
  Describe(dir, "setfacl -m u:nobody:---", "a.rc");
  Describe(dir, "setfattr -n user.origin -v vendor", "a.rc");
  // A folder default that the new file would otherwise inherit.
  Describe(dir, "setfacl -d -m u:nobody:rwx", ".");
  const std::string acl = Describe(dir, "getfacl -p", "a.rc");
  const std::string attributes = Describe(dir, "getfattr -d -m -", "a.rc");
  EXPECT_NE(acl.find("user:nobody:---"), std::string::npos) << acl;
  EXPECT_NE(attributes.find("user.origin=\"vendor\""), std::string::npos) << attributes;
  const mode_t mode = StatOf(dir.Path("a.rc")).st_mode;

  RunResult result = Stampwell(dir, {"-s", "-vp", "2.1", "-vf", "2.1.7"});
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(dir.Read("a.rc"), kStamped);
  EXPECT_EQ(Describe(dir, "getfacl -p", "a.rc"), acl);
  EXPECT_EQ(Describe(dir, "getfattr -d -m -", "a.rc"), attributes);
  EXPECT_EQ(StatOf(dir.Path("a.rc")).st_mode, mode);
}

// A tree of `count` scripts in 30 folders, enough that a run is still going when stopped.
void WriteManyScripts(const ScratchDir& dir, int count) {
  for (int i = 0; i < count; ++i) {
    dir.Write("d" + std::to_string(i % 30) + "/s" + std::to_string(i) + ".rc", kScript);
  }
}

// The full paths of the stamped scripts, after checking that every file is a script either as
// it was or stamped: nothing half-written, no temporary file left (but by a killed run).
std::set<std::string> StampedScripts(const ScratchDir& dir, bool killed = false) {
  std::set<std::string> stamped;
  for (const auto& [path, bytes] : Snapshot(dir.path())) {
    if (killed && path.ends_with(".tmp")) continue;
    EXPECT_EQ(fs::path(path).extension(), ".rc") << "left behind: " << path;
    EXPECT_TRUE(bytes == kScript || bytes == kStamped) << path;
    if (bytes == kStamped) stamped.insert(dir.Path(path));
  }
  return stamped;
}

TEST(Stampwell, ClosedOutputEndsTheRunByBrokenPipeLeavingEveryScriptWhole) {
  // On Windows the run ends as a failed one; Wine gives the program its error of a closed pipe.
  const bool windows = testsupport::IsWindowsProgram(STAMPWELL_BIN);
  ScratchDir dir;
  const int kScripts = 3000;
  WriteManyScripts(dir, kScripts);
  RunOptions options;
  options.cwd = dir.path();
  // The reader goes away after the first byte; the status is the tool's.
  RunResult result = testsupport::Run(
      "/bin/bash",
      {"-c", std::string("set -o pipefail; ") + (windows ? "$TREETOOLS_TEST_WRAPPER " : "") +
                 "\"$0\" -s -vp 2.1 -vf 2.1.7 | head -c 1 >/dev/null; echo $?",
       STAMPWELL_BIN},
      options);
  EXPECT_EQ(result.out, (windows ? "1" : std::to_string(128 + SIGPIPE)) + "\n") << result.err;
  EXPECT_LT(StampedScripts(dir).size(), static_cast<size_t>(kScripts))
      << "the run went on after its output was closed";
}

TEST(Stampwell, OutputThatCannotBeWrittenFailsTheRun) {
  SKIP_FOR_WINDOWS_PROGRAM(STAMPWELL_BIN, "Wine gives a closed or full output its own handles");
  const std::vector<std::pair<std::string, std::string>> outputs = {
      {">&-", "Bad file descriptor"}, {">/dev/full", "No space left on device"}};
  for (const auto& [redirect, reason] : outputs) {
    ScratchDir dir;
    dir.Write("a.rc", kScript);
    RunOptions options;
    options.cwd = dir.path();
    RunResult result = testsupport::Run(
        "/bin/sh",
        testsupport::ShellArgs(":", STAMPWELL_BIN, {"-s", "-vp", "2.1", "-vf", "2.1.7"}, redirect),
        options);
    EXPECT_EQ(result.err, "Stampwell: cannot write standard output: " + reason + "\n");
    EXPECT_EQ(result.exit_code, 1) << redirect;
    // A closed output is known before anything is touched.
    EXPECT_EQ(dir.Read("a.rc"), redirect == ">&-" ? kScript : kStamped);
  }
}

TEST(Stampwell, IgnoredSignalsStayIgnoredAndAnIgnoredBrokenPipeFailsTheRun) {
  SKIP_FOR_WINDOWS_PROGRAM(STAMPWELL_BIN, "POSIX signal dispositions");
  ScratchDir dir;
  const int kScripts = 3000;
  WriteManyScripts(dir, kScripts);
  RunOptions options;
  options.cwd = dir.path();
  testsupport::ChildProcess child("/bin/sh",
                                  testsupport::ShellArgs("trap '' HUP INT TERM QUIT", STAMPWELL_BIN,
                                                         {"-s", "-vp", "2.1", "-vf", "2.1.7"}),
                                  options);
  child.ReadUntil(1);
  for (int sig : {SIGHUP, SIGINT, SIGTERM, SIGQUIT}) child.Signal(sig);
  RunResult result = child.Wait();
  EXPECT_EQ(result.exit_code, 0) << "ended by signal " << result.signal;
  EXPECT_EQ(StampedScripts(dir).size(), static_cast<size_t>(kScripts));

  ScratchDir piped;
  WriteManyScripts(piped, kScripts);
  options.cwd = piped.path();
  result = testsupport::Run(
      "/bin/bash",
      {"-c", "trap '' PIPE; \"$0\" -s -vp 2.1 -vf 2.1.7 | head -c 1 >/dev/null; echo $PIPESTATUS",
       STAMPWELL_BIN},
      options);
  EXPECT_EQ(result.out, "1\n");
  EXPECT_EQ(result.err, "Stampwell: cannot write standard output: Broken pipe\n");
  StampedScripts(piped);
}

TEST(Stampwell, InterruptedOrKilledRunLeavesEveryScriptWholeAndNoTemporaryFile) {
  const int kScripts = 3000;
  RunOptions options;
  for (int sig : {SIGINT, SIGKILL}) {
    SCOPED_TRACE(strsignal(sig));
    ScratchDir dir;
    WriteManyScripts(dir, kScripts);
    options.cwd = dir.path();
    testsupport::ChildProcess child(STAMPWELL_BIN, {"-s", "-vp", "2.1", "-vf", "2.1.7"}, options);
    child.ReadUntilFound("' done");  // a script is stamped: the run is under way
    child.Signal(sig);
    RunResult result = child.Wait();
    std::set<std::string> stamped = StampedScripts(dir, sig == SIGKILL);
    std::set<std::string> reported =
        testsupport::PathsInLines(result.out, "Resource File '", "' done");
    if (sig == SIGINT) {
      EXPECT_TRUE(testsupport::EndedByInterrupt(result, STAMPWELL_BIN)) << result.exit_code;
      // Every script the run finished is reported, and no other: the output can be trusted.
      EXPECT_EQ(reported, stamped);
    } else {
      EXPECT_EQ(result.signal, SIGKILL);
      EXPECT_TRUE(std::includes(stamped.begin(), stamped.end(), reported.begin(), reported.end()));
    }
    EXPECT_GT(stamped.size(), 0u);
    EXPECT_LT(stamped.size(), static_cast<size_t>(kScripts))
        << "the run ended before the signal; use a larger tree";
  }
}

// kStamped with file version 2.1.<build>.
std::string StampedWithBuild(int build) {
  std::string text = kStamped;
  const std::string old_version = "2, 1, 7, 0",
                    new_version = "2, 1, " + std::to_string(build) + ", 0";
  for (size_t at = 0; (at = text.find(old_version, at)) != std::string::npos;
       at += new_version.size()) {
    text.replace(at, old_version.size(), new_version);
  }
  return text;
}

TEST(Stampwell, InterruptedTwiceTheRunEndsAtOnceLeavingNoTemporaryFile) {
  // Under Wine, a second Ctrl-C while the run ends for the first may leave the process hung (its
  // main thread gone, another waiting), or end it inside ReplaceFileW with Wine's own "rf*.tmp"
  // file left.
  SKIP_FOR_WINDOWS_PROGRAM(STAMPWELL_BIN, "Wine hangs or leaves its own file on a second Ctrl-C");
  ScratchDir dir;
  WriteManyScripts(dir, 3000);
  std::set<std::string> whole = {kScript};
  RunOptions options;
  options.cwd = dir.path();
  for (int build = 1; build <= 20; ++build) {
    SCOPED_TRACE("run " + std::to_string(build));
    // Every run stamps another build, so that each rewrites the scripts again.
    whole.insert(StampedWithBuild(build));
    testsupport::ChildProcess child(
        STAMPWELL_BIN, {"-s", "-vp", "2.1", "-vf", "2.1." + std::to_string(build)}, options);
    child.ReadUntilFound("' done");
    child.SignalAndWaitTaken(SIGINT);
    child.Signal(SIGINT);
    RunResult result = child.Wait();
    EXPECT_TRUE(testsupport::EndedByInterrupt(result, STAMPWELL_BIN));
    std::set<std::string> stamped;
    for (const auto& [path, bytes] : Snapshot(dir.path())) {
      ASSERT_EQ(fs::path(path).extension(), ".rc") << "left behind: " << path;
      ASSERT_TRUE(whole.count(bytes)) << path;
      if (bytes == StampedWithBuild(build)) stamped.insert(dir.Path(path));
    }
    // Every script this run stamped is reported, and no other, however soon the second came.
    EXPECT_EQ(testsupport::PathsInLines(result.out, "Resource File '", "' done"), stamped);
  }
}

TEST(Stampwell, VeryLargeScriptsAreStampedOneAtATimeInAboutTwiceTheirSize) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "a sanitizer's allocator keeps freed memory";
#endif
  if (std::getenv("TREETOOLS_TEST_WRAPPER") != nullptr)
    GTEST_SKIP() << "measured without a wrapper";
  ScratchDir dir;
  const std::string line = "        VALUE \"Comments\", \"a line of text\"\r\n";
  const size_t kLines = (40u << 20) / line.size();
  std::string script = kScript, stamped = kStamped;
  script.reserve(script.size() + 2 + kLines * line.size());
  script += "\r\n";
  for (size_t i = 0; i < kLines; ++i) script += line;
  for (const char* name : {"a.rc", "b.rc", "c.rc"}) dir.Write(name, script);
  stamped.append(script, std::strlen(kScript) + 2);

  RunResult result = Stampwell(dir, {"-s", "-vp", "2.1", "-vf", "2.1.7"});
  EXPECT_EQ(result.exit_code, 0) << result.err;
  const long script_kb = static_cast<long>(script.size() / 1024);
  EXPECT_LT(result.peak_kb, script_kb * 24 / 10 + 16 * 1024) << "scripts of " << script_kb << " kB";
  for (const char* name : {"a.rc", "b.rc", "c.rc"}) EXPECT_TRUE(dir.Read(name) == stamped) << name;

  // A dry run's listing of a script of version lines is larger than the script: it goes out as
  // it is found, within the same bound.
  const std::string version_line = " FILEVERSION 1,0,0,1\r\n";
  const size_t kVersionLines = (16u << 20) / version_line.size();
  std::string versions;
  versions.reserve(kVersionLines * version_line.size());
  for (size_t i = 0; i < kVersionLines; ++i) versions += version_line;
  ScratchDir preview_dir;
  preview_dir.Write("v.rc", versions);
  const long versions_kb = static_cast<long>(versions.size() / 1024);
  // The child starts with as much memory as this process holds when it forks.
  for (std::string* text : {&script, &stamped, &versions}) std::string().swap(*text);
  RunResult preview = Stampwell(preview_dir, {"-n", "-vp", "2.1", "-vf", "2.1.7"});
  EXPECT_EQ(preview.exit_code, 0) << preview.err;
  const std::string change = "  -  FILEVERSION 1,0,0,1\n  +  FILEVERSION 2, 1, 7, 0\n";
  std::string listing = "Would stamp file '" + preview_dir.Path("v.rc") + "'\n";
  for (size_t i = 0; i < kVersionLines; ++i) listing += change;
  EXPECT_TRUE(preview.out == listing);
  EXPECT_LT(preview.peak_kb, versions_kb * 24 / 10 + 16 * 1024) << "script of " << versions_kb;
}

}  // namespace
