// The version form's state and rules, apart from any drawing: its fields, the focus, the
// editing keys and when OK may be used.
#pragma once

#include <string>

#include "platform/terminal.h"
#include "stampwell/edit_text.h"

// The places the focus visits, in the order Tab takes it round.
enum class FormField { kProductVersion, kFileVersion, kComment, kOk, kCancel };

enum class FormOutcome { kOpen, kConfirmed, kCancelled };

class CVersionForm {
 public:
  CVersionForm(std::string workDir, std::string date, std::string_view productVersion,
               std::string_view fileVersion);

  // Applies one key; the outcome says whether the form stays open.
  FormOutcome HandleKey(const platform::Key& key);

  // OK may be used once both versions and the comment hold something (blanks count).
  bool OkEnabled() const;
  // Why the version in `field` cannot be used, once OK has been refused for a version; empty
  // while it can be used, or before. OK is refused while a version has a problem.
  std::string VersionProblemOf(FormField field) const;
  FormField Focus() const { return m_focus; }

  const std::string& WorkDir() const { return m_strWorkDir; }
  const std::string& Date() const { return m_strDate; }
  const CEditText& ProductVersion() const { return m_productVersion; }
  const CEditText& FileVersion() const { return m_fileVersion; }
  const CEditText& Comment() const { return m_comment; }
  // The comment's lines with "\r\n" between them.
  std::string CommentText() const { return m_comment.Text("\r\n"); }

 private:
  void MoveFocus(int step);
  FormOutcome Enter();
  FormOutcome Activate();
  // Confirms, unless a version cannot be used: then the focus goes to it and the form stays open.
  FormOutcome Confirm();
  void Edit(const platform::Key& key);
  void MoveBetweenButtons(const platform::Key& key);
  // The editable text that has the focus, if any.
  CEditText* FocusedText();

  std::string m_strWorkDir;
  std::string m_strDate;
  CEditText m_productVersion;
  CEditText m_fileVersion;
  CEditText m_comment;
  FormField m_focus = FormField::kProductVersion;
  bool m_bVersionRefused = false;
};
