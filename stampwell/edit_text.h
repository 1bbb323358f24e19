// Text being edited in a form field: lines, a cursor, and the editing keys' rules.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The byte offset where the UTF-8 character at `pos` ends, and where the one before `pos`
// starts. A byte that does not fit the encoding counts as a character of its own.
size_t NextCharEnd(std::string_view text, size_t pos);
size_t PrevCharStart(std::string_view text, size_t pos);

// Lines of text and a cursor that moves and edits by whole UTF-8 characters. A single-line
// field is a text nobody inserts a line break into.
class CEditText {
 public:
  explicit CEditText(std::string_view line = {});

  // The lines joined with `separator` between them.
  std::string Text(std::string_view separator) const;
  bool IsEmpty() const { return m_lines.size() == 1 && m_lines[0].empty(); }
  const std::vector<std::string>& Lines() const { return m_lines; }
  // Line and byte offset of the cursor.
  size_t Row() const { return m_row; }
  size_t Offset() const { return m_offset; }

  void Insert(std::string_view character);
  void InsertLineBreak();
  void Backspace();
  void Delete();
  void Left();
  void Right();
  void Up();
  void Down();
  void Home();
  void End();

 private:
  std::string& Line() { return m_lines[m_row]; }
  // Puts the cursor on `row`, as near the remembered column as that line allows.
  void MoveToRow(size_t row);
  size_t CharColumn() const;

  std::vector<std::string> m_lines;
  size_t m_row = 0;
  size_t m_offset = 0;
  // The column, in characters, that moving up and down keeps to.
  size_t m_wantedColumn = 0;
};
