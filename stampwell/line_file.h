// A whole text file held as lines, edited in memory and written back on request.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/file_io.h"
#include "stampwell/script_encoding.h"

// Loads the file given to the constructor; lines and multi-line blocks can then be inserted
// anywhere, and Save writes the lines back (CR LF after each) once per load, and only in mode 1.
// Saving replaces the file through a temporary file, so a failed save leaves it as it was, and
// only while it is still the file loaded: one changed meanwhile is left as it is.
//
// The loaded text is split into lines only as far as an edit needs: inserting at the top, as a
// change log does, leaves the rest as read, so that the file takes about its size twice, not
// one string per line.
//
// The file keeps its encoding, found as a resource script's is (UTF-16 with or without a
// byte-order mark, UTF-8 with a mark, 8-bit text otherwise): the lines are held in the file's own
// code units (for UTF-16, the bytes of its units in the file's byte order), inserted texts are
// UTF-8 and are converted, and the mark is written first again. A file no such encoding holds is
// not loaded.
class CLineFile {
 public:
  CLineFile(const std::string& path, int mode);
  virtual ~CLineFile() = default;

  // 1 when the file was read, else 0 with the reason in LastFailure(); the lines then stay as
  // they were.
  int Load(const std::string& path, int mode);
  // 1 when the file was written, else 0; LastFailure() names the reason when a write was tried.
  // Either way the file counts as not loaded afterwards.
  int Save();

  // Appends `text` up to its first line break.
  void AddLine(std::string_view text);
  // Inserts `text` up to its first line break as line `index`; at or past the end it appends.
  void InsertLine(size_t index, std::string_view text);
  // Appends the lines of `text`; empty lines inside it are dropped, an empty text is one empty
  // line.
  void AddText(std::string_view text);
  // Inserts the lines of `text` from line `index` on, in their order; past the end it appends.
  void InsertText(size_t index, std::string_view text);

  bool IsLoaded() const { return m_bLoaded != 0; }
  int Mode() const { return m_nMode; }
  const std::string& Path() const { return m_strPath; }
  const std::vector<std::string>& Lines() const {
    SplitRest();
    return m_lines;
  }
  ScriptEncoding Encoding() const { return m_encoding; }
  const platform::FileFailure& LastFailure() const { return m_failure; }

 private:
  int m_bLoaded = 0;
  int m_nMode = 0;
  // The lines split so far, then the text after them still as read (in the file's code units,
  // without the mark); together, the file's lines.
  mutable std::vector<std::string> m_lines;
  mutable std::string m_rest;
  std::string m_strPath;
  platform::FileIdentity m_identity;  // the file as loaded
  platform::FileFailure m_failure;
  ScriptEncoding m_encoding = ScriptEncoding::kEightBit;

  // One line of UTF-8 text in the file's code units.
  std::string Encoded(std::string_view line) const;
  // The whole file's bytes: the mark and every line followed by CR LF.
  std::string Bytes() const;
  // Calls `line` with the start and end of every line of m_rest, in bytes.
  template <typename Line>
  void ForEachRestLine(Line line) const;
  // Moves the lines of m_rest to the end of m_lines.
  void SplitRest() const;
  // Splits m_rest if line `index` lies in it; false when `index` is past the file's end.
  bool Reach(size_t index);
};
