#include "sweepwell/sweepwell.h"

#include <cstdio>

#include "common/cmd_line_switches.h"
#include "common/process_directory.h"
#include "platform/current_dir.h"
#include "sweepwell/disk_remover.h"

namespace {

void PrintUsage() {
  std::printf("Utility to remove all remporery files in all subfolders\n");
  std::printf("\n");
  std::printf("Usage: Sweepwell [switches]\n");
  std::printf("\n");
  std::printf("Switches:\n");
  std::printf("\n");
  std::printf("       -?              -  display help\n");
  std::printf("       -h              -  display help\n");
  std::printf("       -help           -  display help\n");
  std::printf("       -re             -  also remove exe-files\n");
  std::printf("       -d              -  true remove (not to Recycle Bin)\n");
  std::printf("\n");
}

bool HelpRequested(const CCmdLineSwitches& switches) {
  return switches.FindSwitch("?") || switches.FindSwitch("h") || switches.FindSwitch("help") ||
         switches.FindSwitch("-help");
}

void CleanTree(CReporter& reporter) {
  std::string directory;
  int err = 0;
  if (!platform::GetCurrentDir(&directory, &err)) {
    std::printf("Error reading current directory!\n");
    reporter.FailErrno("cannot read current directory", ".", err);
    return;
  }
  CDiskRemover remover(g_bDeletePermanently != 0);
  ProcessDirectory(
      directory, [&](const std::string& path) { CleanFile(path, remover, reporter); },
      [&](const std::string& path, int list_err) {
        reporter.FailErrno("cannot list directory", path, list_err);
      });
}

}  // namespace

bool ReadSwitches(int argc, char** argv) {
  g_bRemoveExeFiles = 0;
  g_bDeletePermanently = 0;
  g_bDryRun = 0;
  try {
    CCmdLineSwitches switches(argc, argv);
    if (HelpRequested(switches)) throw std::string("help");
    if (switches.FindSwitch("re")) g_bRemoveExeFiles = 1;
    if (switches.FindSwitch("d")) g_bDeletePermanently = 1;
    if (switches.FindSwitch("n")) g_bDryRun = 1;
    return true;
  } catch (...) {
    PrintUsage();
    return false;
  }
}

int SweepwellMain(int argc, char** argv) {
  if (!ReadSwitches(argc, argv)) return 0;
  CReporter reporter("Sweepwell");
  CleanTree(reporter);
  return reporter.Failed() ? 1 : 0;
}
