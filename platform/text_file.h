// Text-mode line rules: how a text file's bytes become lines and lines become bytes again.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Splits file bytes into lines without their line breaks. A CR LF pair or a lone LF ends a
// line; a lone CR stays inside its line. Text after the last line break is a last line; an
// empty input has no lines.
std::vector<std::string> SplitTextLines(std::string_view bytes);

// Joins lines into file bytes, every line followed by CR LF.
std::string JoinTextLines(const std::vector<std::string>& lines);

}  // namespace platform
