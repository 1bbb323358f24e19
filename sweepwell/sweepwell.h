// Sweepwell: removes build by-products below the current directory, to the desktop trash or
// for good.
#pragma once

#include <string>
#include <string_view>

#include "common/cmd_line_switches.h"
#include "common/reporter.h"
#include "platform/file_io.h"

// 1 when built programs and libraries are removed too (switch -re).
extern int g_bRemoveExeFiles;
// 1 when current Visual Studio's by-products are removed too (switch -vs).
extern int g_bRemoveVsFiles;
// 1 when files are deleted for good instead of moved to the trash (switch -d).
extern int g_bDeletePermanently;
// 1 when files are only listed, never removed (switch -n).
extern int g_bDryRun;

// How a chosen file leaves the tree.
class CRemover {
 public:
  virtual ~CRemover() = default;
  // True for a file that is never touched: one already in a trash.
  virtual bool Protects(const platform::FileRef& file) = 0;
  // Removes the file; false, with `failure` filled, when it could not.
  virtual bool Remove(const platform::FileRef& file, platform::FileFailure* failure) = 0;
};

// True when the last component of `path` has an extension of a list that applies (or, with -vs,
// ends in ".VC.db" or ".VC.opendb").
bool IsByProduct(std::string_view path);

// The per-file action of the walk: announces and removes every by-product, or in a dry run
// only lists it. A failure is reported after the file's line.
void CleanFile(const platform::FileRef& file, CRemover& remover, CReporter& reporter);

// Reads the switches into the globals. Help wins over everything: the usage text is printed.
// Otherwise a word that is not one of Sweepwell's switches, or a value after a switch that takes
// none, is reported on standard error and refused before anything is touched.
SwitchesRead ReadSwitches(int argc, char** argv);

// The whole run; returns the exit code.
int SweepwellMain(int argc, char** argv);
