#include "platform/trash_info.h"

#include <algorithm>

namespace platform {
namespace {

bool KeptAsIs(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == '.' || c == '~' || c == '/';
}

// An extension worth keeping at the end of a unique name: a short last ".xyz" that is not the
// whole name.
size_t ExtensionStart(std::string_view leaf) {
  constexpr size_t kLongestKept = 16;
  size_t dot = leaf.rfind('.');
  if (dot == std::string_view::npos || dot == 0 || leaf.size() - dot > kLongestKept) {
    return leaf.size();
  }
  return dot;
}

}  // namespace

std::string PercentEncodePath(std::string_view path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(path.size());
  for (char ch : path) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (KeptAsIs(c)) {
      encoded += ch;
    } else {
      encoded += '%';
      encoded += kHex[c >> 4];
      encoded += kHex[c & 0xF];
    }
  }
  return encoded;
}

std::string TrashInfoText(std::string_view path, std::string_view date) {
  std::string text = "[Trash Info]\nPath=";
  text += PercentEncodePath(path);
  text += "\nDeletionDate=";
  text += date;
  text += '\n';
  return text;
}

std::string UniqueTrashName(std::string_view leaf, std::string_view tag, uint64_t counter) {
  size_t ext_start = ExtensionStart(leaf);
  std::string_view extension = leaf.substr(ext_start);
  std::string unique = "." + std::string(tag) + "-" + std::to_string(counter);
  size_t room = kMaxTrashName - unique.size() - extension.size();
  std::string name(leaf.substr(0, std::min(ext_start, room)));
  return name + unique + std::string(extension);
}

}  // namespace platform
