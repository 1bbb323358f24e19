#include "stampwell/version_dlg.h"

#include <gtest/gtest.h>

#include "stampwell/fake_terminal.h"

namespace {

using platform::KeyKind;

CVersionDlg FilledDialog() {
  CVersionDlg dlg;
  dlg.m_strWorkDir = "/src/project";
  dlg.m_strDate = "07-Dec-2026";
  dlg.m_strProductVersion = "2.1";
  dlg.m_strFileVersion = "2.1.7";
  return dlg;
}

TEST(CVersionDlg, OkHandsBackTheEditedTexts) {
  FakeTerminal terminal(24, 80);
  terminal.AddKey(KeyKind::kBackspace);
  terminal.Type("2");
  terminal.AddKey(KeyKind::kTab);
  terminal.AddKey(KeyKind::kTab);
  terminal.Type("line one");
  terminal.AddKey(KeyKind::kEnter);
  terminal.Type("line two");
  terminal.AddKey(KeyKind::kTab);
  terminal.AddKey(KeyKind::kEnter);
  CVersionDlg dlg = FilledDialog();
  EXPECT_EQ(dlg.DoModal(terminal), IDOK);
  EXPECT_EQ(dlg.m_strProductVersion, "2.2");
  EXPECT_EQ(dlg.m_strFileVersion, "2.1.7");
  EXPECT_EQ(dlg.m_strComment, "line one\r\nline two");
  EXPECT_EQ(dlg.m_strWorkDir, "/src/project");
  EXPECT_EQ(dlg.m_strDate, "07-Dec-2026");
}

TEST(CVersionDlg, CancelLeavesTheTextsAlone) {
  const std::vector<KeyKind> endings[] = {
      {KeyKind::kEscape},
      {KeyKind::kInterrupt},
      {KeyKind::kTab, KeyKind::kTab, KeyKind::kEnter},
      {},  // the terminal closes
  };
  for (const auto& ending : endings) {
    FakeTerminal terminal(24, 80);
    terminal.AddKey(KeyKind::kBackspace);
    terminal.AddKey(KeyKind::kTab);
    terminal.AddKey(KeyKind::kTab);
    terminal.Type("c");
    for (KeyKind kind : ending) terminal.AddKey(kind);
    CVersionDlg dlg = FilledDialog();
    EXPECT_EQ(dlg.DoModal(terminal), IDCANCEL) << ending.size();
    EXPECT_EQ(dlg.m_strProductVersion, "2.1");
    EXPECT_EQ(dlg.m_strComment, "");
  }
}

TEST(CVersionDlg, EnterDoesNothingWhileOkIsDisabled) {
  FakeTerminal terminal(24, 80);
  terminal.AddKey(KeyKind::kEnter);
  terminal.AddKey(KeyKind::kTab);
  terminal.AddKey(KeyKind::kTab);
  terminal.Type("c");
  terminal.AddKey(KeyKind::kBackTab);
  terminal.AddKey(KeyKind::kEnter);
  CVersionDlg dlg = FilledDialog();
  EXPECT_EQ(dlg.DoModal(terminal), IDOK);
  EXPECT_EQ(dlg.m_strComment, "c");
}

TEST(RunForm, TooSmallTerminalTakesOnlyCancellingKeys) {
  FakeTerminal terminal(10, 40);
  terminal.AddKey(KeyKind::kTab);
  terminal.AddKey(KeyKind::kTab);
  terminal.Type("ignored");
  terminal.AddKey(KeyKind::kEnter);
  terminal.AddKey(KeyKind::kEscape);
  CVersionForm form("/src", "07-Dec-2026", "1", "1");
  EXPECT_EQ(RunForm(form, terminal), FormOutcome::kCancelled);
  EXPECT_EQ(form.Focus(), FormField::kProductVersion);
  EXPECT_EQ(form.CommentText(), "");
  EXPECT_NE(terminal.Shown().back().find("too small"), std::string::npos);
}

TEST(RunForm, RedrawsForTheNewSizeAfterAResize) {
  FakeTerminal terminal(10, 40);
  terminal.ResizeOnKey(24, 80);
  terminal.AddKey(KeyKind::kResize);
  terminal.AddKey(KeyKind::kTab);
  terminal.AddKey(KeyKind::kTab);
  terminal.Type("c");
  terminal.AddKey(KeyKind::kTab);
  terminal.AddKey(KeyKind::kEnter);
  CVersionForm form("/src", "07-Dec-2026", "1", "1");
  EXPECT_EQ(RunForm(form, terminal), FormOutcome::kConfirmed);
  ASSERT_GE(terminal.Shown().size(), 2u);
  EXPECT_NE(terminal.Shown()[0].find("too small"), std::string::npos);
  EXPECT_NE(terminal.Shown()[1].find("Product Version"), std::string::npos);
  EXPECT_EQ(terminal.Shown()[1].find("too small"), std::string::npos);
}

TEST(RunForm, DrawsAfterEveryKey) {
  FakeTerminal terminal(24, 80);
  terminal.AddKey(KeyKind::kTab);
  terminal.AddKey(KeyKind::kTab);
  terminal.Type("ab");
  terminal.AddKey(KeyKind::kBackspace);
  terminal.AddKey(KeyKind::kBackspace);
  terminal.AddKey(KeyKind::kEscape);
  CVersionForm form("/src", "07-Dec-2026", "1", "1");
  RunForm(form, terminal);
  const std::vector<std::string>& shown = terminal.Shown();
  ASSERT_EQ(shown.size(), 7u);
  const bool ok_shown[] = {false, false, false, true, true, true, false};
  for (size_t i = 0; i < shown.size(); ++i) {
    EXPECT_EQ(shown[i].find("< OK >") != std::string::npos, ok_shown[i]) << i;
  }
}

}  // namespace
