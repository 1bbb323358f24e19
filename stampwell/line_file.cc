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
  const std::string_view body = std::string_view(bytes).substr(ByteOrderMark(m_encoding).size());
  if (IsUtf16(m_encoding)) {
    m_lines.clear();
    const bool big_endian = IsBigEndian(m_encoding);
    for (const std::u16string& line : platform::SplitTextLines(ReadUtf16Units(body, big_endian))) {
      AppendUtf16Units(line, big_endian, &m_lines.emplace_back());
    }
  } else {
    m_lines = platform::SplitTextLines(body);
  }
  m_bLoaded = 1;
  return 1;
}

std::string CLineFile::Encoded(std::string_view line) const {
  if (!IsUtf16(m_encoding)) return std::string(line);
  std::string units;
  AppendUtf16Units(Utf8ToUtf16(line), IsBigEndian(m_encoding), &units);
  return units;
}

std::string CLineFile::Bytes() const {
  std::string bytes(ByteOrderMark(m_encoding));
  const std::string line_break = Encoded("\r\n");
  for (const std::string& line : m_lines) bytes.append(line).append(line_break);
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

void CLineFile::AddLine(std::string_view text) { m_lines.push_back(Encoded(FirstLine(text))); }

void CLineFile::InsertLine(size_t index, std::string_view text) {
  if (index >= m_lines.size()) {
    AddLine(text);
    return;
  }
  m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(index), Encoded(FirstLine(text)));
}

void CLineFile::AddText(std::string_view text) {
  std::vector<std::string> block;
  SplitString(block, text, kLineDelimiters);
  for (const std::string& line : block) m_lines.push_back(Encoded(line));
}

void CLineFile::InsertText(size_t index, std::string_view text) {
  if (index >= m_lines.size()) {
    AddText(text);
    return;
  }
  std::vector<std::string> block;
  SplitString(block, text, kLineDelimiters);
  for (std::string& line : block) line = Encoded(line);
  m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(index),
                 std::make_move_iterator(block.begin()), std::make_move_iterator(block.end()));
}
