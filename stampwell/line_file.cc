#include "stampwell/line_file.h"

#include "platform/text_file.h"
#include "stampwell/split_string.h"
#include "stampwell/utf16_units.h"

namespace {

// The text up to its first line feed, and of that, up to its first carriage return.
std::string_view FirstLine(std::string_view text) {
  text = text.substr(0, text.find('\n'));
  return text.substr(0, text.find('\r'));
}

}  // namespace

CLineFile::CLineFile(const std::string& path, int mode) : m_nMode(mode) { Load(path, mode); }

int CLineFile::Load(const std::string& path, int mode) {
  m_nMode = mode;
  m_strPath = path;
  std::string bytes;
  if (!platform::ReadRegularFile(path, &bytes, &m_identity, &m_failure)) {
    m_bLoaded = 0;
    return 0;
  }
  std::string reason;
  if (!DetectScriptEncoding(bytes, &m_encoding, &reason)) {
    m_failure = {"left alone", reason};
    m_bLoaded = 0;
    return 0;
  }
  m_lines.clear();
  bytes.erase(0, ByteOrderMark(m_encoding).size());
  m_rest = std::move(bytes);
  m_bLoaded = 1;
  return 1;
}

template <typename Line>
void CLineFile::ForEachRestLine(Line line) const {
  if (!IsUtf16(m_encoding)) {
    platform::ForEachTextLine(std::string_view(m_rest), line);
    return;
  }
  platform::ForEachTextLine(Utf16Units(m_rest, IsBigEndian(m_encoding)),
                            [&](size_t start, size_t end) { line(2 * start, 2 * end); });
}

void CLineFile::SplitRest() const {
  ForEachRestLine(
      [&](size_t start, size_t end) { m_lines.push_back(m_rest.substr(start, end - start)); });
  std::string().swap(m_rest);
}

bool CLineFile::Reach(size_t index) {
  if (index > m_lines.size()) SplitRest();
  return index < m_lines.size() || !m_rest.empty();
}

std::string CLineFile::Encoded(std::string_view line) const {
  if (!IsUtf16(m_encoding)) return std::string(line);
  std::string units;
  AppendUtf16Units(Utf8ToUtf16(line), IsBigEndian(m_encoding), &units);
  return units;
}

std::string CLineFile::Bytes() const {
  const std::string line_break = Encoded("\r\n");
  size_t size = ByteOrderMark(m_encoding).size() + m_rest.size();
  for (const std::string& line : m_lines) size += line.size() + line_break.size();
  ForEachRestLine([&](size_t, size_t) { size += line_break.size(); });
  std::string bytes(ByteOrderMark(m_encoding));
  bytes.reserve(size);  // a large file is not copied again and again as it grows
  for (const std::string& line : m_lines) bytes.append(line).append(line_break);
  ForEachRestLine([&](size_t start, size_t end) {
    bytes.append(m_rest, start, end - start).append(line_break);
  });
  return bytes;
}

int CLineFile::Save() {
  bool may_save = m_bLoaded == 1 && m_nMode == 1;
  m_bLoaded = 0;
  if (!may_save) return 0;
  // Replacing goes through a rename, which must not become a way around a read-only file.
  if (!platform::CheckWritable(m_strPath, &m_failure)) return 0;
  const std::string bytes = Bytes();
  // Without a mark, UTF-16 is recognised only while every character is ASCII.
  ScriptEncoding after;
  std::string reason;
  if (IsUtf16(m_encoding) && ByteOrderMark(m_encoding).empty() &&
      (!DetectScriptEncoding(bytes, &after, &reason) || after != m_encoding)) {
    m_failure = {"left alone",
                 "UTF-16 text without byte-order mark cannot take text beyond ASCII; left "
                 "untouched"};
    return 0;
  }
  return platform::ReplaceFile(m_strPath, bytes, m_identity, &m_failure) ? 1 : 0;
}

void CLineFile::AddLine(std::string_view text) {
  SplitRest();
  m_lines.push_back(Encoded(FirstLine(text)));
}

void CLineFile::InsertLine(size_t index, std::string_view text) {
  if (!Reach(index)) {
    AddLine(text);
    return;
  }
  m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(index), Encoded(FirstLine(text)));
}

void CLineFile::AddText(std::string_view text) {
  SplitRest();
  std::vector<std::string> block;
  SplitString(block, text, kLineDelimiters);
  for (const std::string& line : block) m_lines.push_back(Encoded(line));
}

void CLineFile::InsertText(size_t index, std::string_view text) {
  if (!Reach(index)) {
    AddText(text);
    return;
  }
  std::vector<std::string> block;
  SplitString(block, text, kLineDelimiters);
  for (std::string& line : block) line = Encoded(line);
  m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(index),
                 std::make_move_iterator(block.begin()), std::make_move_iterator(block.end()));
}
