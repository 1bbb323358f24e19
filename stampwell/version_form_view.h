// Draws the version form on a terminal, laid out for the terminal's current size.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/terminal.h"
#include "stampwell/version_form.h"

// The smallest terminal the form fits in.
inline constexpr int kFormMinCols = 60;
inline constexpr int kFormMinRows = 14;

// Keeps the scroll positions of the fields between drawings, so that the cursor stays in view.
class CVersionFormView {
 public:
  CVersionFormView(const CVersionForm& form, platform::Terminal& terminal);

  // Draws the whole form afresh, or a notice when the terminal is too small for it.
  void Draw();
  bool TooSmall() const;

 private:
  // The first column shown and, for the comment, the first line.
  struct Scroll {
    int left = 0;
    size_t top = 0;
  };

  void DrawTitle(int cols);
  void DrawTooSmall();
  void DrawHeader(int cols);
  void DrawVersions(int cols);
  void DrawComment(int rows, int cols);
  void DrawButtons(int rows, int cols);
  void DrawHelp(int rows, int cols);
  void DrawProblem(int col, int width, FormField field);
  void DrawVersionField(int col, int width, const CEditText& text, Scroll& scroll, bool focused);
  void DrawReadOnly(int row, int col, int width, std::string_view text);
  // Draws one line of `width` columns from column `left` of `line` on.
  void DrawScrolled(int row, int col, int width, std::string_view line, int left, unsigned style);
  // Display columns of `line` up to byte `offset`.
  int ColumnOf(std::string_view line, size_t offset) const;
  void KeepInView(int cursor, int width, int& left) const;

  const CVersionForm& m_form;
  platform::Terminal& m_terminal;
  Scroll m_product, m_file, m_comment;
  int m_cursorRow = 0;
  int m_cursorCol = 0;
};
