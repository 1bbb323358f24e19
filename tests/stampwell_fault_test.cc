// Stampwell under injected faults and kills: every script is either as it was or fully
// stamped, every failure is reported, and no temporary file is taken for a script.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/xattr.h>

#include <cstring>
#include <filesystem>
#include <sstream>

#include "common/parallel_work.h"
#include "tests/support/child_process.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/tree_model.h"

namespace {

namespace fs = std::filesystem;
using testsupport::RunOptions;
using testsupport::RunResult;
using testsupport::ScratchDir;

const char kOld[] = " FILEVERSION 1,0,0,1\r\n PRODUCTVERSION 1,0,0,1\r\n\xA9 text\r\n";
const char kNew[] = " FILEVERSION 2, 1, 7, 0\r\n PRODUCTVERSION 2, 1, 0, 0\r\n\xA9 text\r\n";
const char* const kScripts[] = {"a.rc", "b/b.rc", "b/c/c.rc", "d/d.rc", "e.rc"};

RunResult StampWithFault(const ScratchDir& dir, std::vector<std::string> fault) {
  RunOptions options;
  options.cwd = dir.path();
  options.env = {"LD_PRELOAD=" FAULT_SHIM, "ASAN_OPTIONS=verify_asan_link_order=0"};
  options.env.insert(options.env.end(), fault.begin(), fault.end());
  return testsupport::Run(STAMPWELL_BIN, {"-s", "-vp", "2.1", "-vf", "2.1.7"}, options);
}

void MakeTree(const ScratchDir& dir) {
  for (const char* name : kScripts) dir.Write(name, kOld);
}

// Every script old or new (never anything else); returns how many are new.
int CountStamped(const ScratchDir& dir) {
  int stamped = 0;
  for (const char* name : kScripts) {
    std::string bytes = dir.Read(name);
    EXPECT_TRUE(bytes == kOld || bytes == kNew) << name << " is partial";
    stamped += bytes == kNew;
  }
  return stamped;
}

std::vector<std::string> TemporaryFiles(const ScratchDir& dir) {
  std::vector<std::string> found;
  for (const auto& [path, bytes] : testsupport::Snapshot(dir.path())) {
    if (fs::path(path).extension() != ".rc") found.push_back(path);
  }
  return found;
}

struct FaultCase {
  std::string name;
  std::vector<std::string> fault;
  int stamped;                // scripts stamped in the end
  std::string what;           // each failure line is "Stampwell: <what> '<path>': <reason>"
  std::string reason;
  int failures;               // failure lines expected
};

TEST(StampwellFaults, FailedCallsLeaveScriptsWholeAndAreReported) {
  const FaultCase cases[] = {
      {"disk full on every write", {"FAULT_CALL=write", "FAULT_NTH=1", "FAULT_ERRNO=ENOSPC"}, 0,
       "cannot replace", "': No space left on device", 5},
      {"I/O error on the second write",
       {"FAULT_CALL=write", "FAULT_NTH=2", "FAULT_COUNT=1", "FAULT_ERRNO=EIO"}, 4,
       "cannot replace", "': Input/output error", 1},
      {"rename refused", {"FAULT_CALL=renameat", "FAULT_NTH=1", "FAULT_ERRNO=EPERM"}, 0,
       "cannot replace", "': Operation not permitted", 5},
      {"permission bits not settable", {"FAULT_CALL=fchmod", "FAULT_NTH=3", "FAULT_COUNT=1"}, 4,
       "cannot replace", "': Input/output error", 1},
      {"a fault that matches no call changes nothing",
       {"FAULT_CALL=close", "FAULT_NTH=1", "FAULT_MATCH=x"}, 5, "", "", 0},
      {"temporary file cannot be created",
       {"FAULT_CALL=openat", "FAULT_MATCH=.tmp", "FAULT_NTH=1", "FAULT_ERRNO=EROFS"}, 0,
       "cannot create temporary file for", "': Read-only file system", 5},
      {"a script vanishes before it is read",
       {"FAULT_CALL=openat", "FAULT_MATCH=d.rc", "FAULT_NTH=1", "FAULT_COUNT=1",
        "FAULT_ERRNO=ENOENT"},
       4, "cannot read", "/d/d.rc': No such file or directory", 1},
      {"a directory cannot be opened",
       {"FAULT_CALL=openat", "FAULT_MATCH==b", "FAULT_NTH=1", "FAULT_COUNT=1",
        "FAULT_ERRNO=EACCES"},
       3, "cannot list directory", "/b': Permission denied", 1},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    MakeTree(dir);
    RunResult result = StampWithFault(dir, c.fault);
    EXPECT_EQ(CountStamped(dir), c.stamped);
    EXPECT_EQ(TemporaryFiles(dir), std::vector<std::string>{});
    EXPECT_EQ(result.exit_code, c.failures > 0 ? 1 : 0) << result.err;
    int lines = 0;
    std::istringstream err(result.err);
    for (std::string line; std::getline(err, line); ++lines) {
      std::string prefix = "Stampwell: " + c.what + " '" + dir.path() + "/";
      EXPECT_EQ(line.rfind(prefix, 0), 0u) << line;
      EXPECT_TRUE(line.ends_with(c.reason)) << line;
    }
    EXPECT_EQ(lines, c.failures) << result.err;
  }
}

TEST(StampwellFaults, CloseFailureOfTheTemporaryFileIsReported) {
  ScratchDir dir;
  dir.Write("a.rc", kOld);
  // Closes: the script read, the write check, then the new file.
  RunResult result = StampWithFault(
      dir, {"FAULT_CALL=close", "FAULT_NTH=3", "FAULT_COUNT=1", "FAULT_ERRNO=EIO"});
  EXPECT_EQ(dir.Read("a.rc"), kOld);
  EXPECT_EQ(result.err,
            "Stampwell: cannot replace '" + dir.Path("a.rc") + "': Input/output error\n");
  EXPECT_EQ(result.exit_code, 1);
}

TEST(StampwellFaults, ScriptWrittenToWhileBeingStampedIsLeftAsTheWriterLeftIt) {
  ScratchDir dir;
  dir.Write("a.rc", kOld);
  std::string appended;
  for (int i = 0; i < 1000; ++i)
    appended += "// line " + std::to_string(i) + " of another writer\r\n";
  // The other writer appends while the new text is being made ready, before the rename.
  RunResult result =
      StampWithFault(dir, {"FAULT_CALL=fchmod", "FAULT_NTH=1", "FAULT_COUNT=1",
                           "FAULT_APPEND_TO=" + dir.Path("a.rc"), "FAULT_APPEND=" + appended});
  EXPECT_EQ(dir.Read("a.rc"), kOld + appended);
  EXPECT_EQ(result.err,
            "Stampwell: left alone '" + dir.Path("a.rc") + "': changed while stamping\n");
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(TemporaryFiles(dir), std::vector<std::string>{});
}

TEST(StampwellFaults, AttributeThatCannotBeCarriedLeavesTheScriptAlone) {
  ScratchDir dir;
  if (!dir.HoldsUserAttributes()) GTEST_SKIP() << "the file system here has no user attributes";
  dir.Write("a.rc", kOld);
  ASSERT_EQ(setxattr(dir.Path("a.rc").c_str(), "user.origin", "vendor", 6, 0), 0);
  RunResult result = StampWithFault(dir, {"FAULT_CALL=fsetxattr", "FAULT_ERRNO=EPERM"});
  EXPECT_EQ(dir.Read("a.rc"), kOld);
  EXPECT_EQ(result.err, "Stampwell: cannot replace '" + dir.Path("a.rc") +
                            "': cannot keep extended attribute 'user.origin': Operation not "
                            "permitted\n");
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(TemporaryFiles(dir), std::vector<std::string>{});
}

TEST(StampwellKills, KilledAnywhereEveryScriptIsOldOrNew) {
  const std::vector<std::string> points[] = {
      {"FAULT_CALL=renameat"}, {"FAULT_CALL=write"}, {"FAULT_CALL=fchmod"}};
  for (const auto& point : points) {
    for (int n = 1; n <= 5; ++n) {
      SCOPED_TRACE(point[0] + " #" + std::to_string(n));
      ScratchDir dir;
      MakeTree(dir);
      std::vector<std::string> fault = point;
      fault.push_back("FAULT_NTH=" + std::to_string(n));
      fault.push_back("FAULT_KILL=1");
      RunResult killed = StampWithFault(dir, fault);
      EXPECT_EQ(killed.signal, SIGKILL);
      // The killed thread's own script at least is left as it was.
      EXPECT_LT(CountStamped(dir), 5);

      // What a kill may leave: a temporary file per worker at most (the killed one's at
      // least), recognisable, never named like a script.
      std::vector<std::string> leftovers = TemporaryFiles(dir);
      EXPECT_GE(leftovers.size(), 1u);
      EXPECT_LE(leftovers.size(), FileWorkers());
      for (const std::string& leftover : leftovers) {
        std::string name = fs::path(leftover).filename().string();
        size_t tag = name.find(".rc.Stampwell-");
        EXPECT_NE(tag, std::string::npos) << name;
        EXPECT_EQ(name.size(), tag + std::strlen(".rc.Stampwell-XXXXXX.tmp")) << name;
        EXPECT_TRUE(name.ends_with(".tmp")) << name;
      }

      // A later run stamps everything and never takes the leftover for a script.
      RunResult again = StampWithFault(dir, {});
      EXPECT_EQ(again.exit_code, 0) << again.err;
      EXPECT_EQ(again.out.find(".tmp"), std::string::npos) << again.out;
      EXPECT_EQ(CountStamped(dir), 5);
      EXPECT_EQ(TemporaryFiles(dir), leftovers);
    }
  }
}

}  // namespace
