#include "platform/windows/wide.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(Wide, RoundTripsEveryCodePointAndLoneSurrogates) {
  struct Case {
    std::wstring wide;
    std::string utf8;
  };
  const Case cases[] = {
      {L"", ""},
      {L"App.rc", "App.rc"},
      {L"caf\u00e9", "caf\xC3\xA9"},
      {L"\u0416\u65e5", "\xD0\x96\xE6\x97\xA5"},
      {L"\U0001F600", "\xF0\x9F\x98\x80"},
      {std::wstring(1, wchar_t(0xD800)) + L"x", "\xED\xA0\x80x"},  // a lone high surrogate
      {std::wstring(1, wchar_t(0xDC00)), "\xED\xB0\x80"},          // a lone low one
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ToUtf8(c.wide), c.utf8);
    EXPECT_EQ(ToWide(c.utf8), c.wide);
  }
}

TEST(Wide, InvalidUtf8BytesStandForThemselves) {
  EXPECT_EQ(ToWide("a\xFF"
                   "b"),
            L"a\u00ffb");
  EXPECT_EQ(ToWide("\xC3"), L"\u00c3");            // cut short
  EXPECT_EQ(ToWide("\xC0\x80"), L"\u00c0\u0080");  // overlong
}

TEST(LongPath, AbsolutePathsArePrefixedAsTheyStand) {
  std::string deep = "C:\\src";
  for (int i = 0; i < 40; ++i) deep += "\\directory" + std::to_string(i);
  EXPECT_EQ(LongPath(deep), L"\\\\?\\" + ToWide(deep));
  EXPECT_EQ(LongPath("C:\\a\\name. "), L"\\\\?\\C:\\a\\name. ");
  EXPECT_EQ(LongPath("\\\\server\\share\\a.rc"), L"\\\\?\\UNC\\server\\share\\a.rc");
  EXPECT_EQ(LongPath("\\\\?\\C:\\a.rc"), L"\\\\?\\C:\\a.rc");
}

TEST(LongPath, PrefixIsDroppedWhereThePathHasAnotherForm) {
  EXPECT_EQ(WithoutLongPrefix(L"\\\\?\\C:\\src"), L"C:\\src");
  EXPECT_EQ(WithoutLongPrefix(L"\\\\?\\UNC\\server\\share"), L"\\\\server\\share");
  EXPECT_EQ(WithoutLongPrefix(L"\\\\?\\Volume{1}\\src"), L"\\\\?\\Volume{1}\\src");
}

TEST(Wide, ChunksKeepSurrogatePairsWhole) {
  const std::wstring text = L"a\U0001F600b";  // 'a', a pair, 'b'
  const std::pair<size_t, size_t> cases[] = {{1, 1}, {2, 1}, {3, 3}, {9, 4}};  // most, chunk
  for (auto [most, chunk] : cases) EXPECT_EQ(WholeCharacters(text, most), chunk) << most;
}

TEST(LongPath, RelativePathsAreMadeAbsolute) {
  std::wstring path = LongPath("sub\\a.rc");
  EXPECT_TRUE(path.starts_with(L"\\\\?\\")) << ToUtf8(path);
  EXPECT_TRUE(path.ends_with(L"\\sub\\a.rc")) << ToUtf8(path);
}

}  // namespace
}  // namespace platform
