// Text-mode line rules: how a text file's code units become lines and lines become code units
// again. The rules are the same for 8-bit text (bytes) and for UTF-16 text (16-bit units).
#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Calls `line(start, end)` with the range of code units of each line of `units` (anything with
// size() and operator[] giving code units), without its line break, in order. A CR LF pair or a
// lone LF ends a line; a lone CR stays inside its line. Text after the last line break is a
// last line; an empty input has no lines.
template <typename Units, typename Line>
void ForEachTextLine(const Units& units, Line line) {
  const size_t size = units.size();
  size_t start = 0;
  while (start < size) {
    size_t lf = start;
    if constexpr (requires { units.find('\n', start); }) {
      lf = std::min(units.find('\n', start), size);
    } else {
      while (lf < size && units[lf] != '\n') ++lf;
    }
    if (lf == size) {
      line(start, size);
      return;
    }
    line(start, lf > start && units[lf - 1] == '\r' ? lf - 1 : lf);
    start = lf + 1;
  }
}

// Splits text into lines without their line breaks, by the rules of ForEachTextLine.
std::vector<std::string> SplitTextLines(std::string_view bytes);
std::vector<std::u16string> SplitTextLines(std::u16string_view units);

// Appends the lines to `text`, every line followed by CR LF.
void AppendTextLines(const std::vector<std::string>& lines, std::string* text);
void AppendTextLines(const std::vector<std::u16string>& lines, std::u16string* text);

// Joins lines into file bytes, every line followed by CR LF.
std::string JoinTextLines(const std::vector<std::string>& lines);

}  // namespace platform
