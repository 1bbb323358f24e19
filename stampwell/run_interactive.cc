#include "stampwell/run_interactive.h"

#include "common/process_directory.h"

#include "platform/clock.h"
#include "platform/terminal.h"
#include "stampwell/change_log.h"
#include "stampwell/stampwell.h"
#include "stampwell/version_dlg.h"

InteractiveResult RunInteractive(CReporter& reporter) {
  CVersionDlg dlg;
  // Without the directory there is no place for the log but a relative one, and no tree to
  // walk: the run stops before showing the form.
  if (!ReadCurrentDirectory(&dlg.m_strWorkDir, reporter)) return InteractiveResult::kFailed;
  dlg.m_strDate = FormatLogDate(platform::CurrentTime());
  dlg.m_strProductVersion = g_strProductVersion;
  dlg.m_strFileVersion = g_strFileVersion;
  int result = dlg.DoModal();
  if (result == kDialogFailed) {
    reporter.Fail("cannot show the version form on", platform::kTerminalDevice,
                  dlg.OpenFailure() + " (run with -s to stamp silently, without the form)");
    return InteractiveResult::kFailed;
  }
  if (result != IDOK) return InteractiveResult::kCancelled;
  g_strProductVersion = dlg.m_strProductVersion;
  g_strFileVersion = dlg.m_strFileVersion;
  WriteChangeLog(ChangeLogPath(dlg.m_strWorkDir),
                 {dlg.m_strDate, g_strProductVersion, g_strFileVersion, dlg.m_strComment},
                 reporter);
  return InteractiveResult::kConfirmed;
}
