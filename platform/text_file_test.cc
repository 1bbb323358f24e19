#include "platform/text_file.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

using Lines = std::vector<std::string>;

struct SplitCase {
  std::string bytes;
  Lines lines;
};

TEST(SplitTextLines, LineBreakRules) {
  const SplitCase cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\nb", {"a", "b"}},
      {"a\r\n\r\nb\n\n", {"a", "", "b", ""}},
      {"lone\rcr\r\n", {"lone\rcr"}},
      {"trailing cr\r", {"trailing cr\r"}},
      {"\r\r\n", {"\r"}},
      {"\n", {""}},
      {std::string("nul\0byte\x1a", 9), {std::string("nul\0byte\x1a", 9)}},
  };
  for (const SplitCase& c : cases) {
    EXPECT_EQ(SplitTextLines(c.bytes), c.lines) << testing::PrintToString(c.bytes);
  }
}

TEST(JoinTextLines, EveryLineEndsInCrLf) {
  EXPECT_EQ(JoinTextLines({}), "");
  EXPECT_EQ(JoinTextLines({""}), "\r\n");
  EXPECT_EQ(JoinTextLines({"a", "b\r"}), "a\r\nb\r\r\n");
}

TEST(TextLines, RoundTripNormalisesOnlyLineBreaks) {
  EXPECT_EQ(JoinTextLines(SplitTextLines("a\nb\r\nc")), "a\r\nb\r\nc\r\n");
}

TEST(TextLines, Utf16UnitsFollowTheSameRules) {
  const std::u16string units = {u'a', 0x0A0D, u'\r', u'\n', 0x0D0A, u'\r', u'b', u'\n',
                                u'\n', 0xD800, u'\r'};
  const std::vector<std::u16string> lines = {
      {u'a', 0x0A0D}, {0x0D0A, u'\r', u'b'}, {}, {0xD800, u'\r'}};
  EXPECT_EQ(SplitTextLines(units), lines);
  EXPECT_EQ(SplitTextLines(std::u16string_view()), std::vector<std::u16string>{});
  std::u16string text = u"\uFEFF";
  AppendTextLines(lines, &text);
  EXPECT_EQ(text, u"\uFEFF" + lines[0] + u"\r\n" + lines[1] + u"\r\n\r\n" + lines[3] + u"\r\n");
}

TEST(AppendTextLines, AppendsAfterWhatIsThere) {
  std::string text = "\xEF\xBB\xBF";
  AppendTextLines({"a", ""}, &text);
  EXPECT_EQ(text, "\xEF\xBB\xBF" "a\r\n\r\n");
}

}  // namespace
}  // namespace platform
