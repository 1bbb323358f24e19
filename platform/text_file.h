// Text-mode line rules: how a text file's code units become lines and lines become code units
// again. The rules are the same for 8-bit text (bytes) and for UTF-16 text (16-bit units).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Splits text into lines without their line breaks. A CR LF pair or a lone LF ends a line; a
// lone CR stays inside its line. Text after the last line break is a last line; an empty input
// has no lines.
std::vector<std::string> SplitTextLines(std::string_view bytes);
std::vector<std::u16string> SplitTextLines(std::u16string_view units);

// Appends the lines to `text`, every line followed by CR LF.
void AppendTextLines(const std::vector<std::string>& lines, std::string* text);
void AppendTextLines(const std::vector<std::u16string>& lines, std::u16string* text);

// Joins lines into file bytes, every line followed by CR LF.
std::string JoinTextLines(const std::vector<std::string>& lines);

}  // namespace platform
