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

}  // namespace
}  // namespace platform
