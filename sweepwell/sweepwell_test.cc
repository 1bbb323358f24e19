#include "sweepwell/sweepwell.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const char kUsage[] =
    "Utility to remove all remporery files in all subfolders\n"
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
    "\n";

struct Outcome {
  SwitchesRead read;
  int remove_exe;
  int permanently;
  int dry_run;
  std::string out;
  std::string err;
};

Outcome Read(std::vector<const char*> args) {
  args.insert(args.begin(), "Sweepwell");
  args.push_back(nullptr);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  SwitchesRead read =
      ReadSwitches(static_cast<int>(args.size()) - 1, const_cast<char**>(args.data()));
  std::string err = testing::internal::GetCapturedStderr();
  std::string out = testing::internal::GetCapturedStdout();
  return {read, g_bRemoveExeFiles, g_bDeletePermanently, g_bDryRun, out, err};
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
    EXPECT_EQ(outcome.out + outcome.err, "") << args;
    EXPECT_EQ(outcome.remove_exe, c.remove_exe) << args;
    EXPECT_EQ(outcome.permanently, c.permanently) << args;
    EXPECT_EQ(outcome.dry_run, c.dry_run) << args;
  }
}

TEST(ReadSwitches, HelpWinsOverEverything) {
  const std::vector<std::vector<const char*>> commands = {
      {"-?"},       {"-h"}, {"-help"},           {"--help"},      {"/HELP"},
      {"-H"},       {"/?"}, {"-re", "-d", "-?"}, {"-n", "-help"}, {"somefile", "/h"},
      {"--n", "-?"}};
  for (const auto& args : commands) {
    Outcome outcome = Read(args);
    EXPECT_EQ(outcome.read, SwitchesRead::kHelpShown) << testing::PrintToString(args);
    EXPECT_EQ(outcome.out, kUsage) << testing::PrintToString(args);
  }
}

TEST(ReadSwitches, RefusesWhatIsNotASweepwellSwitch) {
  const std::pair<std::vector<const char*>, std::string> cases[] = {
      {{"--n"}, "unknown switch '--n'"},
      {{"-dry"}, "unknown switch '-dry'"},
      {{"-d", "--n"}, "unknown switch '--n'"},
      {{"-dn"}, "unknown switch '-dn'"},
      {{"-vp", "2.1"}, "unknown switch '-vp'"},
      {{"-d", "Debug"}, "switch '-d' takes no value, but 'Debug' follows it"},
      {{"-re", "-d", "word"}, "switch '-d' takes no value, but 'word' follows it"},
      {{"Debug"}, "unexpected argument 'Debug'"},
  };
  for (const auto& [args, why] : cases) {
    Outcome outcome = Read(args);
    EXPECT_EQ(outcome.read, SwitchesRead::kRefused) << why;
    EXPECT_EQ(outcome.out, "") << why;
    EXPECT_EQ(outcome.err, "Sweepwell: " + why + "; -? lists the switches\n");
  }
}

}  // namespace
