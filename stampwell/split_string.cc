#include "stampwell/split_string.h"

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

std::string FormatVersion(std::string_view text) {
  std::vector<std::string> parts;
  SplitString(parts, text, kVersionDelimiters);
  while (parts.size() < 4) parts.emplace_back("0");
  if (parts[0].empty()) parts[0].push_back('0');
  return parts[0] + ", " + parts[1] + ", " + parts[2] + ", " + parts[3];
}
