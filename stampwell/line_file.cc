#include "stampwell/line_file.h"

#include "platform/text_file.h"
#include "stampwell/split_string.h"

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
  m_lines = platform::SplitTextLines(bytes);
  m_bLoaded = 1;
  return 1;
}

int CLineFile::Save() {
  bool may_save = m_bLoaded == 1 && m_nMode == 1;
  m_bLoaded = 0;
  if (!may_save) return 0;
  // Replacing goes through a rename, which must not become a way around a read-only file.
  if (!platform::CheckWritable(m_strPath, &m_failure)) return 0;
  return platform::ReplaceFile(m_strPath, platform::JoinTextLines(m_lines), m_identity, &m_failure)
             ? 1
             : 0;
}

void CLineFile::AddLine(std::string_view text) { m_lines.emplace_back(FirstLine(text)); }

void CLineFile::InsertLine(size_t index, std::string_view text) {
  if (index >= m_lines.size()) {
    AddLine(text);
    return;
  }
  m_lines.emplace(m_lines.begin() + static_cast<std::ptrdiff_t>(index), FirstLine(text));
}

void CLineFile::AddText(std::string_view text) {
  std::vector<std::string> block;
  SplitString(block, text, kLineDelimiters);
  for (std::string& line : block) m_lines.push_back(std::move(line));
}

void CLineFile::InsertText(size_t index, std::string_view text) {
  if (index >= m_lines.size()) {
    AddText(text);
    return;
  }
  std::vector<std::string> block;
  SplitString(block, text, kLineDelimiters);
  m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(index),
                 std::make_move_iterator(block.begin()), std::make_move_iterator(block.end()));
}
