// The version details dialog: the form Stampwell shows before it stamps, on the terminal.
#pragma once

#include <string>

#include "platform/terminal.h"
#include "stampwell/version_form.h"

// Results of CVersionDlg::DoModal (<windows.h> defines the first two with the same values).
#ifndef IDOK
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
#endif
inline constexpr int kDialogFailed = -1;

// Shows `form` on `terminal` and passes it the keys until it is confirmed or cancelled. While
// the terminal is too small for the form, only the cancelling keys are taken.
FormOutcome RunForm(CVersionForm& form, platform::Terminal& terminal);

// The caller fills the texts, calls DoModal, and on IDOK reads back the versions and comment.
// The working directory and date are shown but cannot be edited.
class CVersionDlg {
 public:
  virtual ~CVersionDlg() = default;

  // Shows the form on the controlling terminal. IDOK when it was confirmed (the members then
  // hold the texts as edited, the comment's lines joined by "\r\n"), IDCANCEL when it was
  // cancelled, kDialogFailed when it could not be shown (OpenFailure says why).
  int DoModal();
  // The same on a terminal already open.
  int DoModal(platform::Terminal& terminal);
  const std::string& OpenFailure() const { return m_strOpenFailure; }

  std::string m_strDate;
  std::string m_strProductVersion;
  std::string m_strFileVersion;
  std::string m_strComment;
  std::string m_strWorkDir;

 private:
  std::string m_strOpenFailure;
};
