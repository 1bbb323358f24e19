#include "stampwell/split_string.h"

#include <gtest/gtest.h>

namespace {

using Strings = std::vector<std::string>;

TEST(FormatVersion, NormalisesTypedVersions) {
  const std::pair<std::string, std::string> cases[] = {
      {"5.12", "5, 12, 0, 0"},       {"1,2,3,4", "1, 2, 3, 4"},   {"1.2.3.4.5", "1, 2, 3, 4"},
      {"1, 2 ,3 , 4", "1, 2, 3, 4"}, {"v1.2", "v1, 2, 0, 0"},     {"2  0\t 7", "2, 0, 7, 0"},
      {"2.1", "2, 1, 0, 0"},         {"1\t2\"3'4", "1, 2, 3, 4"}, {"1(2]3}4", "1, 2, 3, 4"},
      {"2.010", "2, 10, 0, 0"},      {"00.0.007", "0, 0, 7, 0"},  {"1..3", "1, , 3, 0"},
  };
  for (const auto& [text, want] : cases) {
    EXPECT_EQ(FormatVersion(text), want) << testing::PrintToString(text);
  }
}

TEST(FormatVersion, LongTokensPassWhole) {
  std::string long_part(5000, '7');
  EXPECT_EQ(FormatVersion(long_part + ".1"), long_part + ", 1, 0, 0");
}

TEST(VersionProblem, OnlyFourNumbersFromZeroTo65535Pass) {
  const std::pair<std::string, std::string> cases[] = {
      {"2.1", ""},
      {"2,1,7,65535", ""},
      {"0 0 0 0", ""},
      {"007.1", ""},
      {"00065535, 0", ""},
      {"0065536", "part 1 is above 65535"},
      {"2.1.70000", "part 3 is above 65535"},
      {"65536", "part 1 is above 65535"},
      {"1.99999999999999999999999", "part 2 is above 65535"},
      {"2.1.beta", "part 3 is not a number"},
      {"v2.1", "part 1 is not a number"},
      {"2.1-rc1", "part 2 is not a number"},
      {"2.+1", "part 2 is not a number"},
      {"1.2.", "part 3 is empty"},
      {" 2..5 ", "part 2 is empty"},
      {".5", "part 1 is empty"},
      {"......", "part 1 is empty"},
      {" ", "part 1 is empty"},
      {"1.2.3.4.", "part 5 is empty"},
      {"1.2.3.4.5", "has more than four parts"},
      {"2\n1", "holds a line break"},
      {"2.1\r", "holds a line break"},
  };
  for (const auto& [text, want] : cases) {
    EXPECT_EQ(VersionProblem(text), want) << testing::PrintToString(text);
  }
}

TEST(SplitString, SplitsAtLineBreaks) {
  const std::pair<std::string, Strings> cases[] = {
      {"first\r\nsecond", {"first", "second"}},
      {"first\r\n\r\nsecond\r\n", {"first", "second"}},
      {"first\r\nsecond\r\n\r\n", {"first", "second", ""}},
      {"alone", {"alone"}},
      {"", {""}},
      {"\r\n\r\n", {""}},
      {"\r\n\r\n\r\n", {""}},
      {"\r\na", {"a"}},
  };
  for (const auto& [text, want] : cases) {
    Strings list = {"stale"};
    EXPECT_EQ(SplitString(list, text, kLineDelimiters), want) << testing::PrintToString(text);
  }
}

}  // namespace
