#include "stampwell/version_dlg.h"

#include "stampwell/version_form_view.h"

using platform::KeyKind;

namespace {

bool Cancels(KeyKind kind) {
  return kind == KeyKind::kEscape || kind == KeyKind::kInterrupt || kind == KeyKind::kClosed;
}

}  // namespace

FormOutcome RunForm(CVersionForm& form, platform::Terminal& terminal) {
  CVersionFormView view(form, terminal);
  for (;;) {
    view.Draw();
    platform::Key key = terminal.ReadKey();
    if (view.TooSmall() && !Cancels(key.kind)) continue;
    FormOutcome outcome = form.HandleKey(key);
    if (outcome != FormOutcome::kOpen) return outcome;
  }
}

int CVersionDlg::DoModal() {
  std::unique_ptr<platform::Terminal> terminal = platform::OpenTerminal(&m_strOpenFailure);
  if (!terminal) return kDialogFailed;
  return DoModal(*terminal);
}

int CVersionDlg::DoModal(platform::Terminal& terminal) {
  CVersionForm form(m_strWorkDir, m_strDate, m_strProductVersion, m_strFileVersion);
  if (RunForm(form, terminal) != FormOutcome::kConfirmed) return IDCANCEL;
  m_strProductVersion = form.ProductVersion().Text("");
  m_strFileVersion = form.FileVersion().Text("");
  m_strComment = form.CommentText();
  return IDOK;
}
