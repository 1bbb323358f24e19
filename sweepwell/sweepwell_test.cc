#include "sweepwell/sweepwell.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

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

struct Outcome {
  SwitchesRead read;
  int remove_exe;
  int permanently;
  int dry_run;
  std::string out;
};

Outcome Read(std::vector<const char*> args) {
  args.insert(args.begin(), "Sweepwell");
  args.push_back(nullptr);
  testing::internal::CaptureStdout();
  SwitchesRead run =
      ReadSwitches(static_cast<int>(args.size()) - 1, const_cast<char**>(args.data()));
  std::string out = testing::internal::GetCapturedStdout();
  return {run, g_bRemoveExeFiles, g_bDeletePermanently, g_bDryRun, out};
}

TEST(ReadSwitches, SetsTheFlags) {
  struct Case {
    std::vector<const char*> args;
    int remove_exe;
    int permanently;
    int dry_run;
  };
  const Case cases[] = {
      {{}, 0, 0, 0},
      {{"-re"}, 1, 0, 0},
      {{"-d"}, 0, 1, 0},
      {{"-re", "-d"}, 1, 1, 0},
      {{"-RE", "/d"}, 1, 1, 0},
      {{"-n"}, 0, 0, 1},
      {{"/N", "-re"}, 1, 0, 1},
      {{"-n", "-N", "-d", "/D"}, 0, 1, 1},
  };
  for (const Case& c : cases) {
    Outcome outcome = Read(c.args);
    std::string args = testing::PrintToString(c.args);
    EXPECT_EQ(outcome.read, SwitchesRead::kRun) << args;
    EXPECT_EQ(outcome.out, "") << args;
    EXPECT_EQ(outcome.remove_exe, c.remove_exe) << args;
    EXPECT_EQ(outcome.permanently, c.permanently) << args;
    EXPECT_EQ(outcome.dry_run, c.dry_run) << args;
  }
}

TEST(ReadSwitches, HelpWinsOverEverything) {
  const std::vector<std::vector<const char*>> commands = {
      {"-?"}, {"-h"}, {"-help"},           {"--help"},      {"/HELP"},
      {"-H"}, {"/?"}, {"-re", "-d", "-?"}, {"-n", "-help"}, {"somefile", "--n", "/h"}};
  for (const auto& args : commands) {
    Outcome outcome = Read(args);
    EXPECT_EQ(outcome.read, SwitchesRead::kHelpShown) << testing::PrintToString(args);
    EXPECT_EQ(outcome.out, kUsage) << testing::PrintToString(args);
  }
}

}  // namespace
