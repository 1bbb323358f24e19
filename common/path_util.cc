#include "common/path_util.h"

#include "platform/path_separator.h"

namespace {

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string_view FindExtension(std::string_view path) {
  size_t name_start = path.find_last_of(platform::kPathSeparators) + 1;  // 0 without one
  size_t dot = path.rfind('.');
  if (dot == std::string_view::npos || dot < name_start) return {};
  return path.substr(dot);
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}
