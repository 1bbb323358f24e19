// The interactive run: the version form, then the change-log entry.
#pragma once

#include "common/reporter.h"

enum class InteractiveResult {
  kConfirmed,  // go on and stamp with the versions now in the globals
  kCancelled,  // the user cancelled: nothing was written
  kFailed,     // the form could not be shown, or the directory not read: reported, nothing written
};

// Shows the version form filled with the working directory, today's date and the versions
// from the switches. On OK the form's versions become the run's versions and the change is
// logged at the top of Version.txt in the working directory.
InteractiveResult RunInteractive(CReporter& reporter);
