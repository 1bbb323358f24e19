#include "stampwell/version_form.h"

#include "stampwell/split_string.h"

using platform::Key;
using platform::KeyKind;

namespace {

constexpr int kFieldCount = 5;

// Control characters never become part of a field.
bool IsPrintable(std::string_view text) {
  return !text.empty() && static_cast<unsigned char>(text[0]) >= 0x20 && text[0] != 0x7f;
}

}  // namespace

CVersionForm::CVersionForm(std::string workDir, std::string date, std::string_view productVersion,
                           std::string_view fileVersion)
    : m_strWorkDir(std::move(workDir)),
      m_strDate(std::move(date)),
      m_productVersion(productVersion),
      m_fileVersion(fileVersion) {}

bool CVersionForm::OkEnabled() const {
  return !m_comment.IsEmpty() && !m_productVersion.IsEmpty() && !m_fileVersion.IsEmpty();
}

std::string CVersionForm::VersionProblemOf(FormField field) const {
  if (!m_bVersionRefused) return "";
  if (field == FormField::kProductVersion) return VersionProblem(m_productVersion.Text(""));
  if (field == FormField::kFileVersion) return VersionProblem(m_fileVersion.Text(""));
  return "";
}

FormOutcome CVersionForm::HandleKey(const Key& key) {
  switch (key.kind) {
    case KeyKind::kEscape:
    case KeyKind::kInterrupt:
    case KeyKind::kClosed:
      return FormOutcome::kCancelled;
    case KeyKind::kTab:
      MoveFocus(1);
      return FormOutcome::kOpen;
    case KeyKind::kBackTab:
      MoveFocus(kFieldCount - 1);
      return FormOutcome::kOpen;
    case KeyKind::kEnter:
      return Enter();
    default:
      break;
  }
  if (FocusedText() != nullptr) {
    Edit(key);
  } else if (key.kind == KeyKind::kText && key.text == " ") {
    return Activate();
  } else {
    MoveBetweenButtons(key);
  }
  return FormOutcome::kOpen;
}

void CVersionForm::MoveFocus(int step) {
  m_focus = static_cast<FormField>((static_cast<int>(m_focus) + step) % kFieldCount);
}

FormOutcome CVersionForm::Enter() {
  if (m_focus == FormField::kComment) {
    m_comment.InsertLineBreak();
    return FormOutcome::kOpen;
  }
  if (m_focus == FormField::kCancel) return FormOutcome::kCancelled;
  return Confirm();
}

// A button pressed with the space bar, as dialogs do.
FormOutcome CVersionForm::Activate() {
  if (m_focus == FormField::kCancel) return FormOutcome::kCancelled;
  return Confirm();
}

FormOutcome CVersionForm::Confirm() {
  if (!OkEnabled()) return FormOutcome::kOpen;
  const bool refused_before = m_bVersionRefused;
  m_bVersionRefused = true;
  for (FormField field : {FormField::kProductVersion, FormField::kFileVersion}) {
    if (VersionProblemOf(field).empty()) continue;
    m_focus = field;
    return FormOutcome::kOpen;
  }
  m_bVersionRefused = refused_before;
  return FormOutcome::kConfirmed;
}

void CVersionForm::Edit(const Key& key) {
  CEditText& text = *FocusedText();
  switch (key.kind) {
    case KeyKind::kText:
      if (IsPrintable(key.text)) text.Insert(key.text);
      break;
    case KeyKind::kLeft:
      text.Left();
      break;
    case KeyKind::kRight:
      text.Right();
      break;
    case KeyKind::kUp:
      text.Up();
      break;
    case KeyKind::kDown:
      text.Down();
      break;
    case KeyKind::kHome:
      text.Home();
      break;
    case KeyKind::kEnd:
      text.End();
      break;
    case KeyKind::kBackspace:
      text.Backspace();
      break;
    case KeyKind::kDelete:
      text.Delete();
      break;
    default:
      break;
  }
}

void CVersionForm::MoveBetweenButtons(const Key& key) {
  if (key.kind == KeyKind::kLeft) m_focus = FormField::kOk;
  if (key.kind == KeyKind::kRight) m_focus = FormField::kCancel;
}

CEditText* CVersionForm::FocusedText() {
  switch (m_focus) {
    case FormField::kProductVersion:
      return &m_productVersion;
    case FormField::kFileVersion:
      return &m_fileVersion;
    case FormField::kComment:
      return &m_comment;
    default:
      return nullptr;
  }
}
