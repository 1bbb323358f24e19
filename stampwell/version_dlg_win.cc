#include "stampwell/version_dlg.h"

// The version dialog is not part of this build yet: the run stops before anything is touched.
int CVersionDlg::DoModal() {
  m_strOpenFailure = "this build has no version dialog yet";
  return kDialogFailed;
}
