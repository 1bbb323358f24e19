#include "stampwell/edit_text.h"

namespace {

bool IsContinuation(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

// How many bytes the character led by `byte` has, by its leading bits.
size_t SequenceLength(char byte) {
  unsigned char b = static_cast<unsigned char>(byte);
  if (b >= 0xF0 && b < 0xF8) return 4;
  if (b >= 0xE0) return b < 0xF0 ? 3 : 1;
  if (b >= 0xC0) return 2;
  return 1;
}

}  // namespace

size_t NextCharEnd(std::string_view text, size_t pos) {
  if (pos >= text.size()) return text.size();
  size_t length = SequenceLength(text[pos]);
  size_t end = pos + 1;
  while (end < text.size() && end < pos + length && IsContinuation(text[end])) ++end;
  return end;
}

size_t PrevCharStart(std::string_view text, size_t pos) {
  if (pos == 0) return 0;
  size_t start = pos - 1;
  while (start > 0 && pos - start < 4 && IsContinuation(text[start])) --start;
  // Only a leader whose character really ends at `pos` takes the continuation bytes along.
  return NextCharEnd(text, start) == pos ? start : pos - 1;
}

CEditText::CEditText(std::string_view line) : m_lines{std::string(line)} { End(); }

std::string CEditText::Text(std::string_view separator) const {
  std::string text = m_lines[0];
  for (size_t i = 1; i < m_lines.size(); ++i) text.append(separator).append(m_lines[i]);
  return text;
}

void CEditText::Insert(std::string_view character) {
  Line().insert(m_offset, character);
  m_offset += character.size();
  m_wantedColumn = CharColumn();
}

void CEditText::InsertLineBreak() {
  std::string rest = Line().substr(m_offset);
  Line().erase(m_offset);
  m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(m_row) + 1, std::move(rest));
  ++m_row;
  m_offset = 0;
  m_wantedColumn = 0;
}

void CEditText::Backspace() {
  if (m_offset == 0 && m_row == 0) return;
  Left();
  Delete();
}

void CEditText::Delete() {
  if (m_offset < Line().size()) {
    Line().erase(m_offset, NextCharEnd(Line(), m_offset) - m_offset);
  } else if (m_row + 1 < m_lines.size()) {
    Line() += m_lines[m_row + 1];
    m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(m_row) + 1);
  }
  m_wantedColumn = CharColumn();
}

void CEditText::Left() {
  if (m_offset > 0) {
    m_offset = PrevCharStart(Line(), m_offset);
  } else if (m_row > 0) {
    --m_row;
    m_offset = Line().size();
  }
  m_wantedColumn = CharColumn();
}

void CEditText::Right() {
  if (m_offset < Line().size()) {
    m_offset = NextCharEnd(Line(), m_offset);
  } else if (m_row + 1 < m_lines.size()) {
    ++m_row;
    m_offset = 0;
  }
  m_wantedColumn = CharColumn();
}

void CEditText::Up() {
  if (m_row > 0) MoveToRow(m_row - 1);
}

void CEditText::Down() {
  if (m_row + 1 < m_lines.size()) MoveToRow(m_row + 1);
}

void CEditText::Home() {
  m_offset = 0;
  m_wantedColumn = 0;
}

void CEditText::End() {
  m_offset = Line().size();
  m_wantedColumn = CharColumn();
}

void CEditText::MoveToRow(size_t row) {
  m_row = row;
  m_offset = 0;
  for (size_t column = 0; column < m_wantedColumn && m_offset < Line().size(); ++column) {
    m_offset = NextCharEnd(Line(), m_offset);
  }
}

size_t CEditText::CharColumn() const {
  size_t column = 0;
  for (size_t pos = 0; pos < m_offset; pos = NextCharEnd(m_lines[m_row], pos)) ++column;
  return column;
}
