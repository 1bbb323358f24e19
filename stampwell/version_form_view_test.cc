#include "stampwell/version_form_view.h"

#include <gtest/gtest.h>

#include "stampwell/fake_terminal.h"

namespace {

using platform::Key;
using platform::KeyKind;

void Press(CVersionForm& form, KeyKind kind, int times = 1) {
  for (int i = 0; i < times; ++i) form.HandleKey(Key{kind, ""});
}

void Type(CVersionForm& form, std::string_view text) {
  for (size_t pos = 0; pos < text.size();) {
    size_t end = NextCharEnd(text, pos);
    form.HandleKey(Key{KeyKind::kText, std::string(text.substr(pos, end - pos))});
    pos = end;
  }
}

CVersionForm NewForm(std::string workDir = "/src/project") {
  return CVersionForm(std::move(workDir), "07-Dec-2026", "2.1", "2.1.7");
}

std::string Drawn(const CVersionForm& form, FakeTerminal& terminal) {
  CVersionFormView view(form, terminal);
  view.Draw();
  return terminal.Screen();
}

TEST(CVersionFormView, FirstScreenAtTheSmallestSize) {
  CVersionForm form = NewForm();
  FakeTerminal terminal(kFormMinRows, kFormMinCols);
  EXPECT_EQ(Drawn(form, terminal),
            "                         Stampwell                          \n"
            "+----------------------------------------------------------+\n"
            "| Working Directory         /src/project                   |\n"
            "| Date and time of changes  07-Dec-2026                    |\n"
            "+----------------------------------------------------------+\n"
            "+----------------------------------------------------------+\n"
            "| Product Version [2.1      ] File Version [2.1.7        ] |\n"
            "+----------------------------------------------------------+\n"
            "+- Text comment -------------------------------------------+\n"
            "|                                                          |\n"
            "|                                                          |\n"
            "+----------------------------------------------------------+\n"
            "  OK needs both versions and a comment    OK    < Cancel >  \n"
            "  Tab: next  Shift-Tab: back  Enter: OK  Esc: cancel        \n");
  EXPECT_EQ(terminal.CursorRow(), 6);
  EXPECT_EQ(terminal.CursorCol(), 22);
  EXPECT_TRUE(terminal.StyleAt(0, 0) & platform::kStyleReverse);
  EXPECT_TRUE(terminal.StyleAt(12, 44) & platform::kStyleDim);
}

TEST(CVersionFormView, OkIsShownEnabledOnceTheCommentHoldsSomething) {
  CVersionForm form = NewForm();
  Press(form, KeyKind::kTab, 2);
  Type(form, "Fixed the printer setup");
  FakeTerminal terminal(20, 80);
  Drawn(form, terminal);
  EXPECT_EQ(terminal.Row(9), "| Fixed the printer setup" + std::string(54, ' ') + "|");
  EXPECT_EQ(terminal.Row(18), std::string(60, ' ') + "< OK >  < Cancel >  ");
  EXPECT_EQ(terminal.Row(19).substr(0, 58),
            "  Tab: next  Shift-Tab: back  Enter: new line  Esc: cancel");
  EXPECT_EQ(terminal.CursorRow(), 9);
  EXPECT_EQ(terminal.CursorCol(), 25);
}

TEST(CVersionFormView, CursorAndHighlightFollowTheFocus) {
  const struct {
    int tabs;
    int row, col;
    int reversed_col;  // -1: no button highlighted
  } cases[] = {
      {0, 6, 22, -1},  // after "2.1"
      {1, 6, 59, -1},  // after "2.1.7"
      {2, 9, 2, -1},  {3, 18, 62, 60}, {4, 18, 70, 68},
  };
  for (const auto& c : cases) {
    CVersionForm form = NewForm();
    Press(form, KeyKind::kTab, c.tabs);
    FakeTerminal terminal(20, 80);
    Drawn(form, terminal);
    EXPECT_EQ(terminal.CursorRow(), c.row) << c.tabs;
    EXPECT_EQ(terminal.CursorCol(), c.col) << c.tabs;
    for (int col : {60, 68}) {
      EXPECT_EQ((terminal.StyleAt(18, col) & platform::kStyleReverse) != 0, col == c.reversed_col)
          << c.tabs << " " << col;
    }
  }
}

TEST(CVersionFormView, LongWorkingDirectoryShowsItsEnd) {
  std::string dir = "/very/long/path/" + std::string(60, 'x') + "/project";
  CVersionForm form = NewForm(dir);
  FakeTerminal terminal(kFormMinRows, kFormMinCols);
  Drawn(form, terminal);
  EXPECT_EQ(terminal.Row(2),
            "| Working Directory         ..." + dir.substr(dir.size() - 27) + " |");
}

TEST(CVersionFormView, CommentScrollsToKeepTheCursorInView) {
  CVersionForm form = NewForm();
  Press(form, KeyKind::kTab, 2);
  for (char line = 'a'; line <= 'e'; ++line) {
    Type(form, std::string(1, line));
    Press(form, KeyKind::kEnter);
  }
  Type(form, "f");
  FakeTerminal terminal(kFormMinRows, kFormMinCols);
  CVersionFormView view(form, terminal);
  view.Draw();
  EXPECT_EQ(terminal.Row(9).substr(0, 4), "| e ");
  EXPECT_EQ(terminal.Row(10).substr(0, 4), "| f ");
  EXPECT_EQ(terminal.CursorRow(), 10);
  // Going up scrolls back as far as needed, not further.
  Press(form, KeyKind::kUp, 2);
  view.Draw();
  EXPECT_EQ(terminal.Row(9).substr(0, 4), "| d ");
  EXPECT_EQ(terminal.Row(10).substr(0, 4), "| e ");
  EXPECT_EQ(terminal.CursorRow(), 9);
}

TEST(CVersionFormView, LongLinesScrollSideways) {
  CVersionForm form = NewForm();
  Press(form, KeyKind::kEnd);
  Type(form, ".1234567890");
  FakeTerminal terminal(kFormMinRows, kFormMinCols);
  CVersionFormView view(form, terminal);
  view.Draw();
  // The field shows 9 columns; the cursor stands after the last character.
  EXPECT_EQ(terminal.Row(6).substr(18, 11), "[34567890 ]");
  EXPECT_EQ(terminal.CursorCol(), 27);
  Press(form, KeyKind::kHome);
  view.Draw();
  EXPECT_EQ(terminal.Row(6).substr(18, 11), "[2.1.12345]");
  EXPECT_EQ(terminal.CursorCol(), 19);
}

TEST(CVersionFormView, WideCharactersTakeTwoColumns) {
  CVersionForm form = NewForm();
  Press(form, KeyKind::kTab, 2);
  Type(form,
       "\xE6\x97\xA5\xE6\x9C\xAC"
       "ab");  // two wide characters, two narrow ones
  FakeTerminal terminal(kFormMinRows, kFormMinCols);
  Drawn(form, terminal);
  EXPECT_EQ(terminal.Row(9).substr(0, 11),
            "| \xE6\x97\xA5\xE6\x9C\xAC"
            "ab ");
  EXPECT_EQ(terminal.CursorCol(), 8);
}

TEST(CVersionFormView, WideCharacterCutByTheFieldEdgeShowsAsBlank) {
  CVersionForm form("/src", "07-Dec-2026", "", "");
  Type(form, "12345678\xE6\x97\xA5");
  Press(form, KeyKind::kHome);
  FakeTerminal terminal(kFormMinRows, kFormMinCols);
  Drawn(form, terminal);
  EXPECT_EQ(terminal.Row(6).substr(18, 11), "[12345678 ]");
}

TEST(CVersionFormView, TooSmallTerminalSaysSo) {
  const std::pair<int, int> sizes[] = {
      {kFormMinRows - 1, kFormMinCols}, {kFormMinRows, kFormMinCols - 1}, {3, 10}};
  for (const auto& [rows, cols] : sizes) {
    CVersionForm form = NewForm();
    FakeTerminal terminal(rows, cols);
    CVersionFormView view(form, terminal);
    view.Draw();
    EXPECT_TRUE(view.TooSmall());
    EXPECT_EQ(terminal.Screen().find("Product Version"), std::string::npos);
    if (cols >= 40) {
      EXPECT_EQ(terminal.Row(1), "The terminal is too small for the form." +
                                     std::string(static_cast<size_t>(cols) - 39, ' '));
      EXPECT_NE(terminal.Screen().find("It needs 60 columns and 14 lines."), std::string::npos);
      EXPECT_NE(terminal.Screen().find("press Esc to cancel"), std::string::npos);
    }
  }
}

}  // namespace
