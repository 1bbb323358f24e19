#include "stampwell/stampwell.h"

#include "common/cmd_line_switches.h"
#include "common/parallel_work.h"
#include "common/process_directory.h"
#include "platform/output.h"
#include "stampwell/run_interactive.h"
#include "stampwell/split_string.h"
#include "stampwell/version_macros.h"

int g_bShowDialog = 1;
int g_bDryRun = 0;
int g_bStampRc2 = 0;
int g_bStampMacros = 0;
std::string g_strProductVersion;
std::string g_strFileVersion;

namespace {

void PrintUsage() {
  platform::WriteOutput("Utility to change all *.rc files in all subfolders\n");
  platform::WriteOutput("\n");
  platform::WriteOutput("Usage: Stampwell [switches]\n");
  platform::WriteOutput("\n");
  platform::WriteOutput("Switches:\n");
  platform::WriteOutput("\n");
  platform::WriteOutput("       -?              -  display help\n");
  platform::WriteOutput("       -h              -  display help\n");
  platform::WriteOutput("       -help           -  display help\n");
  platform::WriteOutput("       -vp <n.n.n.n>   -  set product version\n");
  platform::WriteOutput("       -vf <n.n.n.n>   -  set file version\n");
  platform::WriteOutput("       -s              -  Silent (no dialogs)\n");
  platform::WriteOutput("       -n              -  dry run: list the changes, write nothing\n");
  platform::WriteOutput("       -rc2            -  also change *.rc2 files\n");
  platform::WriteOutput("       -macros         -  stamp the #define a version line names\n");
  platform::WriteOutput("\n");
}

// The switches Stampwell takes besides help; any other word on the command line is refused.
constexpr SwitchRule kSwitches[] = {
    {"vp", SwitchValue::kOptional},  // product version
    {"vf", SwitchValue::kOptional},  // file version
    {"s", SwitchValue::kNone},       // silent: no form, no change-log entry
    {"n", SwitchValue::kNone},       // dry run
    {"rc2", SwitchValue::kNone},     // stamp *.rc2 scripts too
    {"macros", SwitchValue::kNone},  // stamp the definitions of macros version lines name
};

// Reads the switches into the globals. Help wins over everything, even over a word that does
// not fit; the switches are read (or the usage printed) only when every word fits.
SwitchesRead ReadSwitches(int argc, char** argv) {
  try {
    CCmdLineSwitches switches(argc, argv);
    if (switches.HelpRequested()) throw std::string("help");
    if (!AcceptSwitches("Stampwell", kSwitches, argc, argv)) return SwitchesRead::kRefused;
    switches.FindSwitch("vp", &g_strProductVersion);
    switches.FindSwitch("vf", &g_strFileVersion);
    if (switches.FindSwitch("s")) g_bShowDialog = 0;
    if (switches.FindSwitch("n")) g_bDryRun = 1;
    if (switches.FindSwitch("rc2")) g_bStampRc2 = 1;
    if (switches.FindSwitch("macros")) g_bStampMacros = 1;
    return SwitchesRead::kRun;
  } catch (...) {
    PrintUsage();
    return SwitchesRead::kHelpShown;
  }
}

// Stamps the scripts on a few threads at once: each one mostly waits on the file system.
// With -macros each script takes a turn in walk order, in which it claims its macros.
void StampTree(CReporter& reporter) {
  if (g_bStampMacros) {
    std::string root;
    if (!ReadCurrentDirectory(&root, reporter)) return;
    BeginMacroRun(root);
  }
  CParallelWork work(reporter, FileWorkers());
  WalkCurrentDirectory(
      [&](const platform::FileRef& file) {
        if (!IsResourceScript(file.path) && !IsLeftover(file.name())) return;
        if (!g_bStampMacros) {
          work.Queue([file](CReporter& out) { StampFile(file, out); });
          return;
        }
        work.Queue([file, turn = TakeMacroTurn()](CReporter& out) {
          CMacroTurn in_turn(turn);
          StampFile(file, out);
        });
      },
      work);
  work.Finish();
}

}  // namespace

// A version that a version resource cannot hold as typed (a part above 65535 is cut, a part that
// is not a number stops the resource compiler, a line break splits a script's line) is refused
// before anything is touched. An empty version leaves its lines alone and needs no check.
bool VersionsFit(CReporter& reporter) {
  bool fit = true;
  for (const std::string* version : {&g_strProductVersion, &g_strFileVersion}) {
    if (version->empty()) continue;
    std::string problem = VersionProblem(*version);
    if (problem.empty()) continue;
    reporter.Fail("cannot use version", *version, problem + "; nothing was changed");
    fit = false;
  }
  return fit;
}

int StampwellMain(int argc, char** argv) {
  g_bShowDialog = 1;
  g_bDryRun = 0;
  g_bStampRc2 = 0;
  g_bStampMacros = 0;
  SwitchesRead read = ReadSwitches(argc, argv);
  if (read != SwitchesRead::kRun) return read == SwitchesRead::kRefused ? 1 : 0;
  CReporter reporter("Stampwell");
  if (!VersionsFit(reporter)) return 1;
  if (g_bShowDialog && !g_bDryRun) {
    InteractiveResult result = RunInteractive(reporter);
    if (result == InteractiveResult::kCancelled) return 0;
    if (result == InteractiveResult::kFailed) return 1;
  }
  StampTree(reporter);
  return reporter.Failed() ? 1 : 0;
}
