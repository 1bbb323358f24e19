#include "stampwell/split_string.h"

#include <algorithm>

std::vector<std::string>& SplitString(std::vector<std::string>& list, std::string_view text,
                                      std::string_view delimiters) {
  if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  list.clear();
  size_t cursor = 0;
  for (;;) {
    cursor = std::min(text.find_first_not_of(delimiters, cursor), text.size());
    size_t next = text.find_first_of(delimiters, cursor);
    list.emplace_back(text.substr(cursor, next - cursor));
    if (next == std::string_view::npos) break;
    cursor = next;
  }
  return list;
}

namespace {

// The delimiters that end a part wherever they stand: all but the blanks.
constexpr std::string_view kVersionMarks =
    kVersionDelimiters.substr(0, kVersionDelimiters.size() - kVersionBlanks.size());
static_assert(kVersionDelimiters.ends_with(kVersionBlanks));

// `part` in plain decimal when it is made of digits, else as it is.
std::string PlainDecimal(std::string_view part) {
  if (part.empty() || part.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::string(part);
  }
  size_t digits = std::min(part.find_first_not_of('0'), part.size() - 1);
  return std::string(part.substr(digits));
}

// Appends the parts of `field`, a stretch between two delimiters that are not blanks: none but
// blanks in it makes one empty part; otherwise each run of blanks inside it separates two parts.
void AppendBlankSeparatedParts(std::vector<std::string>& parts, std::string_view field) {
  size_t from = field.find_first_not_of(kVersionBlanks);
  if (from == std::string_view::npos) parts.emplace_back();
  while (from != std::string_view::npos) {
    size_t to = field.find_first_of(kVersionBlanks, from);
    parts.push_back(PlainDecimal(field.substr(from, to - from)));
    from = field.find_first_not_of(kVersionBlanks, to);
  }
}

// Why one part cannot stand in a version resource, or empty.
std::string PartProblem(const std::string& part) {
  if (part.empty()) return "is empty";
  if (part.find_first_not_of("0123456789") != std::string::npos) return "is not a number";
  if (part.size() > 5 || std::stoul(part) > 65535) return "is above 65535";
  return "";
}

}  // namespace

std::vector<std::string> VersionParts(std::string_view text) {
  std::vector<std::string> parts;
  for (size_t start = 0;;) {
    size_t end = text.find_first_of(kVersionMarks, start);
    AppendBlankSeparatedParts(parts, text.substr(start, end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

std::string FormatVersion(std::string_view text) {
  std::vector<std::string> parts = VersionParts(text);
  parts.resize(4, "0");
  return parts[0] + ", " + parts[1] + ", " + parts[2] + ", " + parts[3];
}

std::string VersionProblem(std::string_view text) {
  if (text.find_first_of("\r\n") != std::string_view::npos) return "holds a line break";
  const std::vector<std::string> parts = VersionParts(text);
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i >= 4 && !parts[i].empty()) return "has more than four parts";
    std::string problem = PartProblem(parts[i]);
    if (!problem.empty()) return "part " + std::to_string(i + 1) + " " + problem;
  }
  return "";
}
