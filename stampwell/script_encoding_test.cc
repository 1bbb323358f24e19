#include "stampwell/script_encoding.h"

#include <gtest/gtest.h>

namespace {

using E = ScriptEncoding;
using namespace std::string_literals;

struct DetectCase {
  std::string bytes;
  E encoding;
  const char* refusal;  // the start of the reason, or nullptr when the script is accepted
};

TEST(DetectScriptEncoding, MarksAndUnmistakableUtf16) {
  const DetectCase cases[] = {
      {"", E::kEightBit, nullptr},
      {"1 VERSIONINFO\r\n", E::kEightBit, nullptr},
      {"\xA9 caf\xC3\xA9 \xFF\xFE", E::kEightBit, nullptr},
      {"\xEF\xBB\xBF", E::kUtf8Bom, nullptr},
      {"\xEF\xBB\xBF" "a\xC3\n", E::kUtf8Bom, nullptr},
      {"\xFF\xFE", E::kUtf16LeBom, nullptr},
      {"\xFF\xFE" "a\0\xA9\0\x00\xD8"s, E::kUtf16LeBom, nullptr},
      {"\xFE\xFF", E::kUtf16BeBom, nullptr},
      {"\xFE\xFF\0a\x30\x42"s, E::kUtf16BeBom, nullptr},
      {"a\0\r\0\n\0"s, E::kUtf16Le, nullptr},
      {"\0a\0\r\0\n"s, E::kUtf16Be, nullptr},
      {"\xFF\xFE" "a"s, E::kUtf16LeBom, "UTF-16 text with an odd trailing byte"},
      {"\xFE\xFF\0a\0"s, E::kUtf16BeBom, "UTF-16 text with an odd trailing byte"},
      {"a\0b"s, E::kUtf16Le, "UTF-16 text with an odd trailing byte"},
      {"\0a\0"s, E::kUtf16Be, "UTF-16 text with an odd trailing byte"},
      {"\xFF\xFE" "a\0\0\0"s, E::kUtf16LeBom, "UTF-16 text holding NUL characters"},
      // A CR byte put before each LF byte, twice and once; then CR and LF bytes all in step.
      {"\xFF\xFE" "a\0\r\0\r\n\0b\0\r\n\0"s, E::kUtf16LeBom, "UTF-16 text damaged"},
      {"\xFE\xFF\0a\0\r\0\r\n\0b\0\r\n"s, E::kUtf16BeBom, "UTF-16 text damaged"},
      {"a\0\r\n\0b\0\r\n\0"s, E::kUtf16Le, "UTF-16 text damaged"},
      {"\0a\0\r\n\0b\0\r\n"s, E::kUtf16Be, "UTF-16 text damaged"},
      {"a\0\r\n\0"s, E::kUtf16Le, "UTF-16 text with an odd trailing byte"},
      {"\xFF\xFE\0\r\n\0\x02\r\n\r\r\x01"s, E::kUtf16LeBom, nullptr},
      {"\xFE\xFF\r\n\x30\r\n\x15"s, E::kUtf16BeBom, nullptr},
      {"\xEF\xBB\xBF" "a\0"s, E::kUtf8Bom, "holds NUL bytes"},
      {"\0"s, E::kEightBit, "holds NUL bytes"},
      {"a\0\0\0"s, E::kEightBit, "holds NUL bytes"},
      {"a\0\xA9\0"s, E::kEightBit, "holds NUL bytes"},
      {"a\0" "b\x30"s, E::kEightBit, "holds NUL bytes"},
      {"ab\0"s, E::kEightBit, "holds NUL bytes"},
  };
  for (const DetectCase& c : cases) {
    ScriptEncoding encoding;
    std::string reason;
    const bool accepted = DetectScriptEncoding(c.bytes, &encoding, &reason);
    const std::string name = testing::PrintToString(c.bytes);
    EXPECT_EQ(encoding, c.encoding) << name;
    EXPECT_EQ(accepted, c.refusal == nullptr) << name;
    if (c.refusal) {
      EXPECT_TRUE(reason.starts_with(c.refusal)) << name << ": " << reason;
    }
  }
}

struct LayoutCase {
  E encoding;
  bool utf16;
  bool big_endian;
  std::string mark;
};

TEST(ScriptEncoding, Layout) {
  const LayoutCase cases[] = {
      {E::kEightBit, false, false, ""},
      {E::kUtf8Bom, false, false, "\xEF\xBB\xBF"},
      {E::kUtf16LeBom, true, false, "\xFF\xFE"},
      {E::kUtf16BeBom, true, true, "\xFE\xFF"},
      {E::kUtf16Le, true, false, ""},
      {E::kUtf16Be, true, true, ""},
  };
  for (const LayoutCase& c : cases) {
    EXPECT_EQ(IsUtf16(c.encoding), c.utf16) << c.mark;
    EXPECT_EQ(IsBigEndian(c.encoding), c.big_endian) << c.mark;
    EXPECT_EQ(ByteOrderMark(c.encoding), c.mark);
  }
}

}  // namespace
