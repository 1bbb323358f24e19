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

std::vector<std::string> VersionParts(std::string_view text) {
  std::vector<std::string> parts;
  SplitString(parts, text, kVersionDelimiters);
  parts.resize(std::max<size_t>(parts.size(), 4), "0");
  if (parts[0].empty()) parts[0].push_back('0');
  parts.resize(4);
  return parts;
}

std::string FormatVersion(std::string_view text) {
  std::vector<std::string> parts = VersionParts(text);
  return parts[0] + ", " + parts[1] + ", " + parts[2] + ", " + parts[3];
}

namespace {

// Why one normalised part cannot stand in a version resource, or empty.
std::string PartProblem(const std::string& part) {
  if (part.empty()) return "is empty";
  if (part.find_first_not_of("0123456789") != std::string::npos) return "is not a number";
  const size_t digits = part.find_first_not_of('0');
  if (digits != std::string::npos && (part.size() - digits > 5 || std::stoul(part) > 65535)) {
    return "is above 65535";
  }
  return "";
}

}  // namespace

std::string VersionProblem(std::string_view text) {
  if (text.find_first_of("\r\n") != std::string_view::npos) return "holds a line break";
  std::vector<std::string> typed;
  SplitString(typed, text, kVersionDelimiters);
  for (size_t i = 4; i < typed.size(); ++i) {
    if (!typed[i].empty()) return "has more than four parts";
  }
  const std::vector<std::string> parts = VersionParts(text);
  for (size_t i = 0; i < parts.size(); ++i) {
    std::string problem = PartProblem(parts[i]);
    if (!problem.empty()) return "part " + std::to_string(i + 1) + " " + problem;
  }
  return "";
}
