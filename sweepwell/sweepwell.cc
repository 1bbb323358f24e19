#include "sweepwell/sweepwell.h"

#include "common/cmd_line_switches.h"
#include "common/parallel_work.h"
#include "common/process_directory.h"
#include "platform/output.h"
#include "sweepwell/disk_remover.h"

namespace {

void PrintUsage() {
  platform::WriteOutput("Utility to remove all temporary files in all subfolders\n");
  platform::WriteOutput("\n");
  platform::WriteOutput("Usage: Sweepwell [switches]\n");
  platform::WriteOutput("\n");
  platform::WriteOutput("Switches:\n");
  platform::WriteOutput("\n");
  platform::WriteOutput("       -?              -  display help\n");
  platform::WriteOutput("       -h              -  display help\n");
  platform::WriteOutput("       -help           -  display help\n");
  platform::WriteOutput("       -re             -  also remove exe-files\n");
  platform::WriteOutput("       -d              -  true remove (not to Recycle Bin)\n");
  platform::WriteOutput("       -vs             -  also remove current Visual Studio files\n");
  platform::WriteOutput("       -n              -  dry run: list the files, remove nothing\n");
  platform::WriteOutput("\n");
}

// Deletions mostly wait on the file system, so several overlap well. Moves to the trash all
// create entries in the same two directories, which the file system does one at a time: a
// single worker beside the walk is as fast as more. A dry run only lists.
unsigned CleanWorkers() {
  if (g_bDryRun) return 0;
  return g_bDeletePermanently ? FileWorkers() : 1;
}

void CleanTree(CReporter& reporter) {
  CDiskRemover remover(g_bDeletePermanently != 0);
  CParallelWork work(reporter, CleanWorkers());
  WalkCurrentDirectory(
      [&](const platform::FileRef& file) {
        if (IsByProduct(file.path)) {
          work.Queue([&remover, file](CReporter& out) { CleanFile(file, remover, out); });
        }
      },
      work);
  work.Finish();
}

}  // namespace

// The switches Sweepwell takes besides help; any other word on the command line is refused, so
// that a mistyped dry run never removes a file.
constexpr SwitchRule kSwitches[] = {
    {"re", SwitchValue::kNone},  // programs and libraries too
    {"vs", SwitchValue::kNone},  // current Visual Studio's by-products too
    {"d", SwitchValue::kNone},   // for good, not to the trash
    {"n", SwitchValue::kNone},   // dry run
};

SwitchesRead ReadSwitches(int argc, char** argv) {
  g_bRemoveExeFiles = 0;
  g_bRemoveVsFiles = 0;
  g_bDeletePermanently = 0;
  g_bDryRun = 0;
  try {
    CCmdLineSwitches switches(argc, argv);
    if (switches.HelpRequested()) throw std::string("help");
    if (!AcceptSwitches("Sweepwell", kSwitches, argc, argv)) return SwitchesRead::kRefused;
    if (switches.FindSwitch("re")) g_bRemoveExeFiles = 1;
    if (switches.FindSwitch("vs")) g_bRemoveVsFiles = 1;
    if (switches.FindSwitch("d")) g_bDeletePermanently = 1;
    if (switches.FindSwitch("n")) g_bDryRun = 1;
    return SwitchesRead::kRun;
  } catch (...) {
    PrintUsage();
    return SwitchesRead::kHelpShown;
  }
}

int SweepwellMain(int argc, char** argv) {
  SwitchesRead read = ReadSwitches(argc, argv);
  if (read != SwitchesRead::kRun) return read == SwitchesRead::kRefused ? 1 : 0;
  CReporter reporter("Sweepwell");
  CleanTree(reporter);
  return reporter.Failed() ? 1 : 0;
}
