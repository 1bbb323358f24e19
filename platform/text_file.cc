#include "platform/text_file.h"

namespace platform {
namespace {

template <typename CharT>
std::vector<std::basic_string<CharT>> SplitLines(std::basic_string_view<CharT> text) {
  std::vector<std::basic_string<CharT>> lines;
  ForEachTextLine(
      text, [&](size_t start, size_t end) { lines.emplace_back(text.substr(start, end - start)); });
  return lines;
}

template <typename CharT>
void AppendLines(const std::vector<std::basic_string<CharT>>& lines,
                 std::basic_string<CharT>* text) {
  constexpr CharT kCrLf[] = {'\r', '\n'};
  size_t total = text->size();
  for (const auto& line : lines) total += line.size() + 2;
  text->reserve(total);
  for (const auto& line : lines) {
    text->append(line);
    text->append(kCrLf, 2);
  }
}

}  // namespace

std::vector<std::string> SplitTextLines(std::string_view bytes) { return SplitLines(bytes); }

std::vector<std::u16string> SplitTextLines(std::u16string_view units) { return SplitLines(units); }

void AppendTextLines(const std::vector<std::string>& lines, std::string* text) {
  AppendLines(lines, text);
}

void AppendTextLines(const std::vector<std::u16string>& lines, std::u16string* text) {
  AppendLines(lines, text);
}

std::string JoinTextLines(const std::vector<std::string>& lines) {
  std::string bytes;
  AppendLines(lines, &bytes);
  return bytes;
}

}  // namespace platform
