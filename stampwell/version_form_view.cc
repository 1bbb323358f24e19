#include "stampwell/version_form_view.h"

#include <algorithm>
#include <string>

using platform::kStyleBold;
using platform::kStyleDim;
using platform::kStylePlain;
using platform::kStyleReverse;
using platform::kStyleUnderline;

namespace {

constexpr std::string_view kTitle = "Stampwell";
constexpr std::string_view kOkEnabled = "< OK >";
constexpr std::string_view kOkDisabled = "  OK  ";
constexpr std::string_view kCancel = "< Cancel >";
constexpr std::string_view kOkHint = "OK needs both versions and a comment";
constexpr std::string_view kEllipsis = "...";
// Rows of the fixed part: title, the two frames, the comment's top border.
constexpr int kHeaderTop = 1, kVersionsTop = 5, kCommentTop = 8;
// Where the read-only values start, after the longest label.
constexpr int kValueCol = 28;
// Left margin inside the frames.
constexpr int kMargin = 2;

std::string_view HelpFor(FormField focus) {
  switch (focus) {
    case FormField::kComment:
      return "Tab: next  Shift-Tab: back  Enter: new line  Esc: cancel";
    case FormField::kCancel:
      return "Tab: next  Shift-Tab: back  Enter: cancel  Esc: cancel";
    default:
      return "Tab: next  Shift-Tab: back  Enter: OK  Esc: cancel";
  }
}

}  // namespace

CVersionFormView::CVersionFormView(const CVersionForm& form, platform::Terminal& terminal)
    : m_form(form), m_terminal(terminal) {}

bool CVersionFormView::TooSmall() const {
  return m_terminal.Cols() < kFormMinCols || m_terminal.Rows() < kFormMinRows;
}

void CVersionFormView::Draw() {
  int rows = m_terminal.Rows(), cols = m_terminal.Cols();
  m_terminal.Clear();
  if (TooSmall()) {
    DrawTooSmall();
  } else {
    DrawTitle(cols);
    DrawHeader(cols);
    DrawVersions(cols);
    DrawComment(rows, cols);
    DrawButtons(rows, cols);
    DrawHelp(rows, cols);
  }
  m_terminal.PlaceCursor(m_cursorRow, m_cursorCol);
  m_terminal.Update();
}

void CVersionFormView::DrawTitle(int cols) {
  m_terminal.Put(0, 0, std::string(static_cast<size_t>(std::max(cols, 0)), ' '), kStyleReverse);
  int col = std::max((cols - static_cast<int>(kTitle.size())) / 2, 0);
  m_terminal.Put(0, col, kTitle, kStyleReverse | kStyleBold);
}

void CVersionFormView::DrawTooSmall() {
  DrawTitle(m_terminal.Cols());
  m_terminal.Put(1, 0, "The terminal is too small for the form.", kStylePlain);
  m_terminal.Put(2, 0,
                 "It needs " + std::to_string(kFormMinCols) + " columns and " +
                     std::to_string(kFormMinRows) + " lines.",
                 kStylePlain);
  m_terminal.Put(3, 0, "Enlarge it, or press Esc to cancel.", kStylePlain);
  m_cursorRow = 0;
  m_cursorCol = 0;
}

void CVersionFormView::DrawHeader(int cols) {
  m_terminal.Frame(kHeaderTop, 0, 4, cols);
  int width = cols - kValueCol - kMargin;
  m_terminal.Put(kHeaderTop + 1, kMargin, "Working Directory", kStylePlain);
  DrawReadOnly(kHeaderTop + 1, kValueCol, width, m_form.WorkDir());
  m_terminal.Put(kHeaderTop + 2, kMargin, "Date and time of changes", kStylePlain);
  DrawReadOnly(kHeaderTop + 2, kValueCol, width, m_form.Date());
}

// A value too long for its place loses its beginning: the end of a path says the most.
void CVersionFormView::DrawReadOnly(int row, int col, int width, std::string_view text) {
  int total = ColumnOf(text, text.size());
  if (total <= width) {
    DrawScrolled(row, col, width, text, 0, kStylePlain);
    return;
  }
  int shown = width - static_cast<int>(kEllipsis.size());
  m_terminal.Put(row, col, kEllipsis, kStyleDim);
  DrawScrolled(row, col + static_cast<int>(kEllipsis.size()), shown, text, total - shown,
               kStylePlain);
}

void CVersionFormView::DrawVersions(int cols) {
  m_terminal.Frame(kVersionsTop, 0, 3, cols);
  int row = kVersionsTop + 1;
  int half = (cols - 2 * kMargin) / 2;
  const std::string_view product = "Product Version", file = "File Version";
  m_terminal.Put(row, kMargin, product, kStylePlain);
  int product_col = kMargin + static_cast<int>(product.size()) + 1;
  DrawVersionField(product_col, kMargin + half - 1 - product_col, m_form.ProductVersion(),
                   m_product, m_form.Focus() == FormField::kProductVersion);
  int file_label = kMargin + half;
  m_terminal.Put(row, file_label, file, kStylePlain);
  int file_col = file_label + static_cast<int>(file.size()) + 1;
  DrawVersionField(file_col, cols - kMargin - file_col, m_form.FileVersion(), m_file,
                   m_form.Focus() == FormField::kFileVersion);
  DrawProblem(kMargin, half - 1, FormField::kProductVersion);
  DrawProblem(file_label, cols - kMargin - file_label, FormField::kFileVersion);
}

// Why a version cannot be used, on the frame's lower border below its field.
void CVersionFormView::DrawProblem(int col, int width, FormField field) {
  std::string problem = m_form.VersionProblemOf(field);
  if (problem.empty()) return;
  DrawScrolled(kVersionsTop + 2, col, std::min(width, static_cast<int>(problem.size()) + 2),
               " " + problem + " ", 0, kStyleBold);
}

// A field drawn as "[text]", `width` columns with its brackets.
void CVersionFormView::DrawVersionField(int col, int width, const CEditText& text, Scroll& scroll,
                                        bool focused) {
  int row = kVersionsTop + 1;
  int inner = width - 2;
  const std::string& line = text.Lines()[0];
  int cursor = ColumnOf(line, text.Offset());
  KeepInView(cursor, inner, scroll.left);
  unsigned bracket = focused ? kStyleBold : kStylePlain;
  m_terminal.Put(row, col, "[", bracket);
  DrawScrolled(row, col + 1, inner, line, scroll.left, kStyleUnderline);
  m_terminal.Put(row, col + 1 + inner, "]", bracket);
  if (focused) {
    m_cursorRow = row;
    m_cursorCol = col + 1 + cursor - scroll.left;
  }
}

void CVersionFormView::DrawComment(int rows, int cols) {
  int height = rows - kCommentTop - 2;
  m_terminal.Frame(kCommentTop, 0, height, cols);
  m_terminal.Put(kCommentTop, kMargin, " Text comment ", kStylePlain);
  const CEditText& comment = m_form.Comment();
  int visible_rows = height - 2, width = cols - 2 * kMargin;
  size_t row = comment.Row();
  if (row < m_comment.top) m_comment.top = row;
  if (row >= m_comment.top + static_cast<size_t>(visible_rows)) {
    m_comment.top = row - static_cast<size_t>(visible_rows) + 1;
  }
  int cursor = ColumnOf(comment.Lines()[row], comment.Offset());
  KeepInView(cursor, width, m_comment.left);
  for (int i = 0; i < visible_rows; ++i) {
    size_t line = m_comment.top + static_cast<size_t>(i);
    if (line >= comment.Lines().size()) break;
    DrawScrolled(kCommentTop + 1 + i, kMargin, width, comment.Lines()[line], m_comment.left,
                 kStylePlain);
  }
  if (m_form.Focus() == FormField::kComment) {
    m_cursorRow = kCommentTop + 1 + static_cast<int>(row - m_comment.top);
    m_cursorCol = kMargin + cursor - m_comment.left;
  }
}

void CVersionFormView::DrawButtons(int rows, int cols) {
  int row = rows - 2;
  int cancel_col = cols - kMargin - static_cast<int>(kCancel.size());
  int ok_col = cancel_col - 2 - static_cast<int>(kOkEnabled.size());
  bool enabled = m_form.OkEnabled();
  FormField focus = m_form.Focus();
  unsigned ok_style =
      (enabled ? kStylePlain : kStyleDim) | (focus == FormField::kOk ? kStyleReverse : kStylePlain);
  m_terminal.Put(row, ok_col, enabled ? kOkEnabled : kOkDisabled, ok_style);
  m_terminal.Put(row, cancel_col, kCancel,
                 focus == FormField::kCancel ? kStyleReverse : kStylePlain);
  if (!enabled) m_terminal.Put(row, kMargin, kOkHint, kStyleDim);
  if (focus == FormField::kOk || focus == FormField::kCancel) {
    m_cursorRow = row;
    m_cursorCol = (focus == FormField::kOk ? ok_col : cancel_col) + 2;
  }
}

void CVersionFormView::DrawHelp(int rows, int cols) {
  std::string_view help = HelpFor(m_form.Focus());
  DrawScrolled(rows - 1, kMargin, cols - 2 * kMargin, help, 0, kStyleDim);
}

void CVersionFormView::DrawScrolled(int row, int col, int width, std::string_view line, int left,
                                    unsigned style) {
  int x = 0;      // display column within `line`
  int drawn = 0;  // columns of the field drawn so far
  for (size_t pos = 0; pos < line.size();) {
    size_t end = NextCharEnd(line, pos);
    std::string_view character = line.substr(pos, end - pos);
    pos = end;
    int w = m_terminal.CharWidth(character);
    int start = x - left;
    x += w;
    if (start + w <= 0) continue;
    if (start >= width) break;
    int from = std::max(start, 0), to = std::min(start + w, width);
    if (from == start && to == start + w) {
      m_terminal.Put(row, col + start, character, style);
    } else {
      // A wide character cut by an edge of the field shows as blanks.
      m_terminal.Put(row, col + from, std::string(static_cast<size_t>(to - from), ' '), style);
    }
    drawn = to;
  }
  if (drawn < width) {
    m_terminal.Put(row, col + drawn, std::string(static_cast<size_t>(width - drawn), ' '), style);
  }
}

int CVersionFormView::ColumnOf(std::string_view line, size_t offset) const {
  int column = 0;
  for (size_t pos = 0; pos < offset;) {
    size_t end = NextCharEnd(line, pos);
    column += m_terminal.CharWidth(line.substr(pos, end - pos));
    pos = end;
  }
  return column;
}

void CVersionFormView::KeepInView(int cursor, int width, int& left) const {
  if (cursor < left) left = cursor;
  if (cursor >= left + width) left = cursor - width + 1;
}
