#include "stampwell/change_log.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/scratch_dir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ScratchDir;

const std::string kRule(79, '-');

ChangeLogEntry Entry(std::string comment, std::string product = "2.1", std::string file = "2.1.7") {
  return ChangeLogEntry{"07-Dec-2026", std::move(product), std::move(file), std::move(comment)};
}

std::string Logged(std::string_view header, std::string_view comment_lines) {
  return kRule + "\r\n" + std::string(header) + "\r\n\r\n" + std::string(comment_lines);
}

TEST(WriteChangeLog, FirstEntryCreatesTheLog) {
  const std::pair<std::string, std::string> cases[] = {
      {"Fixed the printer setup", "Fixed the printer setup\r\n"},
      {"a\r\n\r\nb", "a\r\nb\r\n"},
      {"a\r\n", "a\r\n"},
      {"a\r\n\r\n", "a\r\n\r\n"},
      {"\r\n", "\r\n"},
      {"\r\n\r\n\r\n", "\r\n"},
      {"\r\nlate start", "late start\r\n"},
      {"  indented\r\n  twice", "  indented\r\n  twice\r\n"},
  };
  for (const auto& [comment, lines] : cases) {
    ScratchDir dir;
    CReporter reporter("Stampwell");
    testing::internal::CaptureStdout();
    EXPECT_TRUE(WriteChangeLog(dir.Path("Version.txt"), Entry(comment), reporter));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(dir.Read("Version.txt"), Logged("07-Dec-2026 - v. 2.1  build 2.1.7", lines))
        << testing::PrintToString(comment);
    EXPECT_FALSE(reporter.Failed());
  }
}

TEST(WriteChangeLog, NewEntryGoesAboveTheOld) {
  ScratchDir dir;
  CReporter reporter("Stampwell");
  ASSERT_TRUE(WriteChangeLog(dir.Path("Version.txt"), Entry("first"), reporter));
  ASSERT_TRUE(
      WriteChangeLog(dir.Path("Version.txt"), Entry("second\r\n", "2.2", "2.2.0"), reporter));
  EXPECT_EQ(dir.Read("Version.txt"), Logged("07-Dec-2026 - v. 2.2  build 2.2.0", "second\r\n") +
                                         Logged("07-Dec-2026 - v. 2.1  build 2.1.7", "first\r\n"));
}

TEST(WriteChangeLog, OldEntriesKeepTheirTextAndGainCrLf) {
  ScratchDir dir;
  dir.Write("Version.txt", "old line\nlast line without break");
  CReporter reporter("Stampwell");
  ASSERT_TRUE(WriteChangeLog(dir.Path("Version.txt"), Entry("new"), reporter));
  EXPECT_EQ(dir.Read("Version.txt"), Logged("07-Dec-2026 - v. 2.1  build 2.1.7", "new\r\n") +
                                         "old line\r\nlast line without break\r\n");
}

TEST(WriteChangeLog, VersionsAndDateStandAsTyped) {
  ScratchDir dir;
  CReporter reporter("Stampwell");
  ChangeLogEntry entry{"01-Jan-2027", " 5 . 12 ", "%s%d", "c"};
  ASSERT_TRUE(WriteChangeLog(dir.Path("Version.txt"), entry, reporter));
  EXPECT_EQ(dir.Read("Version.txt"), Logged("01-Jan-2027 - v.  5 . 12   build %s%d", "c\r\n"));
}

TEST(WriteChangeLog, LogThatCannotBeOpenedIsReportedAndLeftAlone) {
  ScratchDir dir;
  dir.MakeDir("Version.txt");
  ASSERT_EQ(symlink("link.txt", dir.Path("link.txt").c_str()), 0);
  const struct {
    const char* name;
    const char* reason;
  } cases[] = {{"Version.txt", "Is a directory"},
               {"link.txt", "Too many levels of symbolic links"},
               {"missing/Version.txt", "No such file or directory"}};
  for (const auto& c : cases) {
    CReporter reporter("Stampwell");
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_FALSE(WriteChangeLog(dir.Path(c.name), Entry("c"), reporter));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error creating version.txt file!\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Stampwell: cannot create or open '" + dir.Path(c.name) + "': " + c.reason + "\n");
    EXPECT_TRUE(reporter.Failed());
  }
  EXPECT_TRUE(fs::is_directory(dir.Path("Version.txt")));
  EXPECT_TRUE(fs::is_symlink(dir.Path("link.txt")));
}

TEST(WriteChangeLog, LinkedLogGetsTheEntryWhereTheLinkLeads) {
  ScratchDir dir;
  dir.Write("shared/Version.txt", "old\r\n");
  ASSERT_EQ(chmod(dir.Path("shared/Version.txt").c_str(), 0640), 0);
  dir.MakeDir("tree");
  dir.MakeDir("fresh");
  ASSERT_EQ(symlink("../shared/Version.txt", dir.Path("tree/Version.txt").c_str()), 0);
  ASSERT_EQ(symlink("../shared/New.txt", dir.Path("fresh/Version.txt").c_str()), 0);
  CReporter reporter("Stampwell");
  EXPECT_TRUE(WriteChangeLog(dir.Path("tree/Version.txt"), Entry("c"), reporter));
  EXPECT_TRUE(WriteChangeLog(dir.Path("fresh/Version.txt"), Entry("c"), reporter));
  EXPECT_TRUE(fs::is_symlink(dir.Path("tree/Version.txt")));
  EXPECT_EQ(dir.Read("shared/Version.txt"),
            Logged("07-Dec-2026 - v. 2.1  build 2.1.7", "c\r\nold\r\n"));
  EXPECT_EQ(fs::status(dir.Path("shared/Version.txt")).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_TRUE(fs::is_symlink(dir.Path("fresh/Version.txt")));
  EXPECT_EQ(dir.Read("shared/New.txt"), Logged("07-Dec-2026 - v. 2.1  build 2.1.7", "c\r\n"));
  EXPECT_FALSE(reporter.Failed());
}

// Runs WriteChangeLog as an unprivileged user in a child process, where `dir` belongs to that
// user; the child's exit code says whether the entry was written, and what it prints goes to
// standard error, in order.
void WriteAsNobody(const ScratchDir& dir) {
  if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
  dup2(2, 1);
  CReporter reporter("Stampwell");
  _exit(WriteChangeLog(dir.Path("Version.txt"), Entry("c"), reporter) ? 0 : 1);
}

TEST(WriteChangeLog, ReadOnlyLogIsReportedAndLeftUnchanged) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to drop privileges";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ScratchDir dir;
  dir.Write("Version.txt", "old\r\n");
  ASSERT_EQ(chmod(dir.Path("Version.txt").c_str(), 0444), 0);
  dir.GiveTo(65534, 65534);
  EXPECT_EXIT(WriteAsNobody(dir), testing::ExitedWithCode(1),
              "Error creating version.txt file!\nStampwell: cannot create or open "
              "'.*/Version.txt': Permission denied\n$");
  EXPECT_EQ(dir.Read("Version.txt"), "old\r\n");
}

TEST(WriteChangeLog, LogNobodyMayWriteIsLeftAloneWhoeverRuns) {
  ScratchDir dir;
  dir.Write("Version.txt", "old\r\n");
  ASSERT_EQ(chmod(dir.Path("Version.txt").c_str(), 0444), 0);
  CReporter reporter("Stampwell");
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_FALSE(WriteChangeLog(dir.Path("Version.txt"), Entry("c"), reporter));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error creating version.txt file!\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Stampwell: cannot create or open '" + dir.Path("Version.txt") + "': " +
                (geteuid() == 0 ? "read-only file, no one may write it" : "Permission denied") +
                "\n");
  EXPECT_EQ(dir.Read("Version.txt"), "old\r\n");
}

TEST(WriteChangeLog, ReadOnlyDirectoryGetsNoLog) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to drop privileges";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ScratchDir dir;
  dir.GiveTo(65534, 65534);
  ASSERT_EQ(chmod(dir.path().c_str(), 0555), 0);
  EXPECT_EXIT(WriteAsNobody(dir), testing::ExitedWithCode(1),
              "Error creating version.txt file!\nStampwell: cannot create or open "
              "'.*/Version.txt': Permission denied\n$");
  EXPECT_FALSE(fs::exists(dir.Path("Version.txt")));
}

TEST(WriteChangeLog, WritableLogInReadOnlyDirectoryIsReportedAndKept) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to drop privileges";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ScratchDir dir;
  dir.Write("shared/Version.txt", "old\r\n");
  ASSERT_EQ(symlink("shared/Version.txt", dir.Path("Version.txt").c_str()), 0);
  dir.GiveTo(65534, 65534);
  ASSERT_EQ(chmod(dir.Path("shared").c_str(), 0555), 0);
  EXPECT_EXIT(WriteAsNobody(dir), testing::ExitedWithCode(1),
              "Error creating version.txt file!\nStampwell: cannot create temporary file for "
              "'.*/shared/Version.txt': Permission denied\n$");
  EXPECT_EQ(dir.Read("shared/Version.txt"), "old\r\n");
}

TEST(ChangeLogPath, JoinsWithOneSlash) {
  EXPECT_EQ(ChangeLogPath("/src/project"), "/src/project/Version.txt");
  EXPECT_EQ(ChangeLogPath("/"), "/Version.txt");
}

TEST(FormatLogDate, DayAbbreviatedEnglishMonthYear) {
  const char* old_tz = getenv("TZ");
  std::string saved = old_tz ? old_tz : "";
  setenv("TZ", "UTC", 1);
  tzset();
  const std::pair<std::time_t, std::string> cases[] = {
      {0, "01-Jan-1970"},
      {1796601600, "07-Dec-2026"},
      {1796601600 - 1, "06-Dec-2026"},
      {951782400, "29-Feb-2000"},
  };
  for (const auto& [moment, want] : cases) EXPECT_EQ(FormatLogDate(moment), want) << moment;
  if (old_tz) {
    setenv("TZ", saved.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

}  // namespace
