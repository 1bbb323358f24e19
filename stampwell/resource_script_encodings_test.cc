// Rewriting scripts stored in each encoding: the same line rules and version lines, the same
// encoding and byte-order mark afterwards, every other code unit as it was.
#include <gtest/gtest.h>

#include "stampwell/resource_script.h"

namespace {

using namespace std::string_literals;
using Lines = std::vector<std::string>;

// How a test text is stored: the mark, then each unit as one byte or as two in a byte order.
struct Layout {
  const char* name;
  std::string mark;
  bool wide;
  bool big_endian;
};

const Layout kLayouts[] = {
    {"8-bit", "", false, false},
    {"UTF-8 with BOM", "\xEF\xBB\xBF", false, false},
    {"UTF-16LE with BOM", "\xFF\xFE", true, false},
    {"UTF-16BE with BOM", "\xFE\xFF", true, true},
    {"UTF-16LE", "", true, false},
    {"UTF-16BE", "", true, true},
};

std::string Store(std::u16string_view text, const Layout& layout) {
  std::string bytes = layout.mark;
  for (char16_t unit : text) {
    const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    if (!layout.wide) {
      EXPECT_EQ(high, 0) << "a test text for 8-bit layouts holds bytes only";
      bytes += low;
    } else if (layout.big_endian) {
      bytes += {high, low};
    } else {
      bytes += {low, high};
    }
  }
  return bytes;
}

struct RewriteCase {
  std::u16string script;
  std::u16string stamped;  // with product version 2.1 and file version 2.1.7
};

const RewriteCase kAsciiCases[] = {
    {u"1 VERSIONINFO\n FILEVERSION 1,0,0,1\r\n PRODUCTVERSION 1,0,0,1\n"
     u"  VALUE \"FileVersion\", \"1.0\"\r\n\tVALUE \"ProductVersion\", \"1.0\"\n"
     u"\n\r\nlone\rcr\r\nFILEVERSION\tx",
     u"1 VERSIONINFO\r\n FILEVERSION 2, 1, 7, 0\r\n PRODUCTVERSION 2, 1, 0, 0\r\n"
     u"            VALUE \"FileVersion\", \"2, 1, 7, 0\\0\"\r\n"
     u"            VALUE \"ProductVersion\", \"2, 1, 0, 0\\0\"\r\n"
     u"\r\n\r\nlone\rcr\r\nFILEVERSION\tx\r\n"},
    {u" FILEVERSION 1\r\nEND\r\n", u" FILEVERSION 2, 1, 7, 0\r\nEND\r\n"},
    {u"a\r", u"a\r\r\n"},
    {u"\r\r\n\r", u"\r\r\n\r\r\n"},
    {u"\n", u"\r\n"},
    {u"", u""},
};

TEST(RewriteScriptEncodings, SameRulesInEveryEncoding) {
  for (const Layout& layout : kLayouts) {
    for (const RewriteCase& c : kAsciiCases) {
      const std::string script = Store(c.script, layout);
      Lines lines = {"previous"};
      std::string out, reason;
      ASSERT_TRUE(RewriteScript(script, "2.1", "2.1.7", lines, &out, &reason)) << reason;
      EXPECT_EQ(out, Store(c.stamped, layout))
          << layout.name << ": " << testing::PrintToString(script);
      EXPECT_EQ(lines.empty(), layout.wide || c.script.empty()) << layout.name;
      std::string twice;
      ASSERT_TRUE(RewriteScript(out, "2.1", "2.1.7", lines, &twice, &reason));
      EXPECT_EQ(twice, out) << layout.name << ": rewriting is idempotent";
    }
  }
}

TEST(RewriteScriptEncodings, ByteOrderMarkAloneStaysAlone) {
  for (const std::string& mark : {"\xEF\xBB\xBF"s, "\xFF\xFE"s, "\xFE\xFF"s}) {
    Lines lines = {"previous"};
    std::string out, reason;
    ASSERT_TRUE(RewriteScript(mark, "2.1", "2.1.7", lines, &out, &reason));
    EXPECT_EQ(out, mark);
    EXPECT_EQ(lines, Lines{});
  }
}

TEST(RewriteScriptEncodings, EightBitLinesKeepTheirBytesAndFillTheLineList) {
  const std::string body = "\xA9 \xFF\xC3(\x81\x5C\"\r\n VALUE \"FileVersion\", \"1\"\n\xE9";
  for (const std::string& mark : {""s, "\xEF\xBB\xBF"s}) {
    Lines lines;
    std::string out, reason;
    ASSERT_TRUE(RewriteScript(mark + body, "", "2.\xFF", lines, &out, &reason));
    EXPECT_EQ(out, mark +
                       "\xA9 \xFF\xC3(\x81\x5C\"\r\n"
                       "            VALUE \"FileVersion\", \"2, \xFF, 0, 0\\0\"\r\n\xE9\r\n");
    EXPECT_EQ(lines, (Lines{"\xA9 \xFF\xC3(\x81\x5C\"",
                            "            VALUE \"FileVersion\", \"2, \xFF, 0, 0\\0\"", "\xE9"}));
  }
}

// Units a UTF-16 line may hold that must pass unchanged: non-ASCII characters, unpaired
// surrogates, a valid pair, a mark inside the text, and units whose bytes are CR and LF.
std::u16string OddUnits() {
  return std::u16string{0x00A9, 0x3042, 0xD800, u' ', 0xDC00, 0xD83D, 0xDE00, 0xFEFF,
                        0x0A0D, 0x0D0A, 0x0A00, 0x0D00, 0xFFFE};
}

TEST(RewriteScriptEncodings, Utf16UnitsPassUnchangedAndVersionsAreEncoded) {
  const std::u16string odd = OddUnits();
  const std::u16string script = odd + u"\r" + odd + u"\n VALUE \"ProductVersion\", \"1\"" + odd +
                                u"\r\n PRODUCTVERSION 1 " + odd + u"\n FILEVERSION 1\n" + odd;
  const std::u16string stamped =
      odd + u"\r" + odd +
      u"\r\n            VALUE \"ProductVersion\", \"2, 1\u03B2, 0, 0\\0\""
      u"\r\n PRODUCTVERSION 2, 1\u03B2, 0, 0"
      u"\r\n FILEVERSION 3, \uFFFD, 0, 0\r\n" +
      odd + u"\r\n";
  for (const Layout& layout : kLayouts) {
    if (!layout.wide || layout.mark.empty()) continue;
    Lines lines = {"previous"};
    std::string out, reason;
    ASSERT_TRUE(RewriteScript(Store(script, layout), "2.1\xCE\xB2", "3.\xC3", lines, &out,
                              &reason))
        << reason;
    EXPECT_EQ(out, Store(stamped, layout)) << layout.name;
    EXPECT_EQ(lines, Lines{}) << layout.name;
  }
}

}  // namespace
