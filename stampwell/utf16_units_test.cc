#include "stampwell/utf16_units.h"

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;

TEST(Utf16Units, ReadAndAppendKeepEveryUnitInBothByteOrders) {
  const std::u16string units = {u'a',   u'\r',  0x0A0D, 0x0D0A, 0xD800,
                                0xDC00, 0xD83D, 0xDE00, 0xFFFE, 0x3042};
  const std::string little =
      "a\0\r\0\x0D\x0A\x0A\x0D\x00\xD8\x00\xDC\x3D\xD8\x00\xDE\xFE\xFF\x42\x30"s;
  const std::string big =
      "\0a\0\r\x0A\x0D\x0D\x0A\xD8\x00\xDC\x00\xD8\x3D\xDE\x00\xFF\xFE\x30\x42"s;
  EXPECT_EQ(ReadUtf16Units(little, false), units);
  EXPECT_EQ(ReadUtf16Units(big, true), units);
  std::string bytes = "mark";
  AppendUtf16Units(units, false, &bytes);
  EXPECT_EQ(bytes, "mark" + little);
  bytes.clear();
  AppendUtf16Units(units, true, &bytes);
  EXPECT_EQ(bytes, big);
}

TEST(Utf16Units, ReadIgnoresATrailingOddByte) { EXPECT_EQ(ReadUtf16Units("a\0b"s, false), u"a"); }

struct Utf8Case {
  std::string utf8;
  std::u16string utf16;
};

TEST(Utf8ToUtf16, ValidSequencesAndReplacementOfInvalidBytes) {
  const Utf8Case cases[] = {
      {"", u""},
      {"2, 1, 0, 0", u"2, 1, 0, 0"},
      {"1\xC3\xA9", u"1\u00E9"},
      {"\xE2\x82\xAC", u"\u20AC"},
      {"\xF0\x9F\x98\x80", {0xD83D, 0xDE00}},
      {"\xF4\x8F\xBF\xBF", {0xDBFF, 0xDFFF}},
      {"a\xFF"
       "b",
       u"a\uFFFDb"},
      {"\xC3", u"\uFFFD"},
      {"\xC3"
       "a",
       u"\uFFFDa"},
      {"\xC0\xAF", u"\uFFFD\uFFFD"},
      {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"\xE2\x82", u"\uFFFD\uFFFD"},
  };
  for (const Utf8Case& c : cases) {
    EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16) << testing::PrintToString(c.utf8);
  }
}

TEST(Utf16ToUtf8, ValidUnitsAndReplacementOfUnpairedSurrogates) {
  const Utf8Case cases[] = {
      {"2, 1, 0, 0", u"2, 1, 0, 0"},
      {"1\xC3\xA9\xE2\x82\xAC", u"1\u00E9\u20AC"},
      {"\xF0\x9F\x98\x80", {0xD83D, 0xDE00}},
      {"\xEF\xBF\xBD"
       "a\xEF\xBF\xBD",
       {0xD83D, u'a', 0xDE00}},
  };
  for (const Utf8Case& c : cases) EXPECT_EQ(Utf16ToUtf8(c.utf16), c.utf8) << c.utf8;
}

}  // namespace
