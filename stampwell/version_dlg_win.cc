// The version details dialog on Windows: the dialog template IDD_VERSION from the program's
// resources, shown modally with a dialog procedure of its own.
#include <windows.h>

#include <string>
#include <utility>

#include "platform/error_text.h"
#include "platform/windows/wide.h"
#include "stampwell/resource.h"
#include "stampwell/split_string.h"
#include "stampwell/version_dlg.h"

namespace {

std::wstring ControlText(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
  return text;
}

void SetControlText(HWND dialog, int id, const std::string& text) {
  SetDlgItemTextW(dialog, id, platform::ToWide(text).c_str());
}

// OK may be used once both versions and the comment hold something (blanks count).
bool CanConfirm(HWND dialog) {
  for (int id : {IDC_PRODUCT_VERSION, IDC_FILE_VERSION, IDC_COMMENT}) {
    if (GetWindowTextLengthW(GetDlgItem(dialog, id)) == 0) return false;
  }
  return true;
}

void UpdateOk(HWND dialog) { EnableWindow(GetDlgItem(dialog, IDOK), CanConfirm(dialog)); }

void Fill(HWND dialog, const CVersionDlg& dlg) {
  SetControlText(dialog, IDC_DATE, dlg.m_strDate);
  SetControlText(dialog, IDC_PRODUCT_VERSION, dlg.m_strProductVersion);
  SetControlText(dialog, IDC_FILE_VERSION, dlg.m_strFileVersion);
  SetControlText(dialog, IDC_COMMENT, dlg.m_strComment);
  SetControlText(dialog, IDC_WORKING_DIR, dlg.m_strWorkDir);
  UpdateOk(dialog);
}

// Shows why the first version that a resource cannot hold is refused, as "File Version: part 3
// is above 65535", or clears the reason; returns that version's field, or 0.
int ShowVersionProblem(HWND dialog) {
  for (auto [id, name] : {std::pair{IDC_PRODUCT_VERSION, "Product Version"},
                          std::pair{IDC_FILE_VERSION, "File Version"}}) {
    std::string problem = VersionProblem(platform::ToUtf8(ControlText(dialog, id)));
    if (problem.empty()) continue;
    SetControlText(dialog, IDC_VERSION_PROBLEM, std::string(name) + ": " + problem);
    return id;
  }
  SetControlText(dialog, IDC_VERSION_PROBLEM, "");
  return 0;
}

// Keeps the dialog open on a version that cannot be used, with the focus in its field and the
// text selected, ready to be typed over, as the form on a terminal does.
bool RefuseVersion(HWND dialog) {
  int id = ShowVersionProblem(dialog);
  if (id == 0) return false;
  HWND field = GetDlgItem(dialog, id);
  SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(field), TRUE);
  SendMessageW(field, EM_SETSEL, 0, -1);
  return true;
}

// The versions and the comment as the user left them; the comment's lines arrive with "\r\n"
// between them, as the edit control holds them.
void ReadBack(HWND dialog, CVersionDlg& dlg) {
  dlg.m_strProductVersion = platform::ToUtf8(ControlText(dialog, IDC_PRODUCT_VERSION));
  dlg.m_strFileVersion = platform::ToUtf8(ControlText(dialog, IDC_FILE_VERSION));
  dlg.m_strComment = platform::ToUtf8(ControlText(dialog, IDC_COMMENT));
}

INT_PTR OnCommand(HWND dialog, WORD id, WORD code) {
  switch (id) {
    case IDOK:
      // Enter reaches the default button even while it is disabled.
      if (!CanConfirm(dialog) || RefuseVersion(dialog)) return TRUE;
      ReadBack(dialog, *reinterpret_cast<CVersionDlg*>(GetWindowLongPtrW(dialog, DWLP_USER)));
      EndDialog(dialog, IDOK);
      return TRUE;
    case IDCANCEL:
      EndDialog(dialog, IDCANCEL);
      return TRUE;
    case IDC_PRODUCT_VERSION:
    case IDC_FILE_VERSION:
      // Once a version was refused, the reason follows the text.
      if (code == EN_CHANGE && GetWindowTextLengthW(GetDlgItem(dialog, IDC_VERSION_PROBLEM)) > 0) {
        ShowVersionProblem(dialog);
      }
      [[fallthrough]];
    case IDC_COMMENT:
      if (code == EN_CHANGE) UpdateOk(dialog);
      return TRUE;
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK VersionDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrW(dialog, DWLP_USER, lparam);
      Fill(dialog, *reinterpret_cast<const CVersionDlg*>(lparam));
      return TRUE;  // the focus goes to the first tab stop: the product version
    case WM_COMMAND:
      return OnCommand(dialog, LOWORD(wparam), HIWORD(wparam));
    default:
      return FALSE;
  }
}

}  // namespace

int CVersionDlg::DoModal() {
  INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_VERSION),
                                   nullptr, VersionDlgProc, reinterpret_cast<LPARAM>(this));
  if (result == IDOK || result == IDCANCEL) return static_cast<int>(result);
  // No desktop to show it on (a service, a session without a window station) is the usual
  // cause; the system reports it as an invalid window.
  DWORD error = GetLastError();
  std::string reason = platform::ErrorText(static_cast<int>(error));
  m_strOpenFailure =
      error == ERROR_INVALID_WINDOW_HANDLE ? "no desktop to show it on (" + reason + ")" : reason;
  return kDialogFailed;
}
