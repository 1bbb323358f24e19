#include "platform/text_file.h"

namespace platform {

std::vector<std::string> SplitTextLines(std::string_view bytes) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t lf = bytes.find('\n', start);
    if (lf == std::string_view::npos) {
      lines.emplace_back(bytes.substr(start));
      break;
    }
    size_t end = (lf > start && bytes[lf - 1] == '\r') ? lf - 1 : lf;
    lines.emplace_back(bytes.substr(start, end - start));
    start = lf + 1;
  }
  return lines;
}

std::string JoinTextLines(const std::vector<std::string>& lines) {
  size_t total = 0;
  for (const std::string& line : lines) total += line.size() + 2;
  std::string bytes;
  bytes.reserve(total);
  for (const std::string& line : lines) {
    bytes += line;
    bytes += "\r\n";
  }
  return bytes;
}

}  // namespace platform
