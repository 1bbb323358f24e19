#include "stampwell/edit_text.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using Lines = std::vector<std::string>;

// Editing keys written as control characters, so that a whole session fits in one string.
const std::string kLeft = "\x02", kRight = "\x06", kUp = "\x10", kDown = "\x0e", kHome = "\x01",
                  kEnd = "\x05", kBack = "\b", kDel = "\x7f", kBreak = "\n";

void Play(CEditText& text, std::string_view keys) {
  const std::pair<const std::string&, void (CEditText::*)()> actions[] = {
      {kLeft, &CEditText::Left},
      {kRight, &CEditText::Right},
      {kUp, &CEditText::Up},
      {kDown, &CEditText::Down},
      {kHome, &CEditText::Home},
      {kEnd, &CEditText::End},
      {kBack, &CEditText::Backspace},
      {kDel, &CEditText::Delete},
      {kBreak, &CEditText::InsertLineBreak},
  };
  for (size_t pos = 0; pos < keys.size();) {
    size_t end = NextCharEnd(keys, pos);
    std::string_view key = keys.substr(pos, end - pos);
    pos = end;
    auto action = std::find_if(std::begin(actions), std::end(actions),
                               [&](const auto& entry) { return entry.first == key; });
    if (action != std::end(actions)) {
      (text.*action->second)();
    } else {
      text.Insert(key);
    }
  }
}

struct EditCase {
  std::string start;
  std::string keys;
  Lines lines;
  size_t row;
  size_t offset;
};

TEST(CEditText, EditingKeys) {
  const EditCase cases[] = {
      {"", "", {""}, 0, 0},
      {"2.1", "", {"2.1"}, 0, 3},
      {"2.1", kBack + "2", {"2.2"}, 0, 3},
      {"2.1", kHome + kDel + "3", {"3.1"}, 0, 1},
      {"2.1", kLeft + kLeft + "x", {"2x.1"}, 0, 2},
      {"2.1", kHome + kRight + kEnd + "9", {"2.19"}, 0, 4},
      {"ab", kHome + kBack, {"ab"}, 0, 0},
      {"ab", kDel, {"ab"}, 0, 2},
      {"ab", kHome + kLeft + kEnd + kRight + kUp + kDown, {"ab"}, 0, 2},
      {"", "a" + kBreak + "b", {"a", "b"}, 1, 1},
      {"", kBreak + kBreak, {"", "", ""}, 2, 0},
      {"ab", kLeft + kBreak, {"a", "b"}, 1, 0},
      {"", "a" + kBreak + "b" + kHome + kBack, {"ab"}, 0, 1},
      {"", "a" + kBreak + "b" + kUp + kDel, {"ab"}, 0, 1},
      {"", "a" + kBreak + "b" + kHome + kLeft, {"a", "b"}, 0, 1},
      {"", "a" + kBreak + "b" + kUp + kEnd + kRight, {"a", "b"}, 1, 0},
      {"", "abc" + kBreak + "d" + kBreak + "efg" + kUp + kUp, {"abc", "d", "efg"}, 0, 3},
      {"",
       "abc" + kBreak + "d" + kBreak + "efg" + kUp + kUp + kDown + kDown,
       {"abc", "d", "efg"},
       2,
       3},
      {"", "abc" + kBreak + "d" + kUp + kDown + kDown, {"abc", "d"}, 1, 1},
      {"", "ab" + kUp + "x", {"abx"}, 0, 3},
      {"", "\xC3\xA9t\xC3\xA9", {"\xC3\xA9t\xC3\xA9"}, 0, 5},
      {"\xC3\xA9t\xC3\xA9", kBack, {"\xC3\xA9t"}, 0, 3},
      {"\xC3\xA9t\xC3\xA9", kHome + kDel, {"t\xC3\xA9"}, 0, 0},
      {"\xC3\xA9t\xC3\xA9", kLeft + kLeft + kBack, {"t\xC3\xA9"}, 0, 0},
      {"a\xE2\x82\xAC"
       "b",
       kLeft + kLeft + "x",
       {"ax\xE2\x82\xAC"
        "b"},
       0,
       2},
      {"\xF0\x9F\x98\x80", kBack, {""}, 0, 0},
      {"", "\xC3\xA9\xC3\xA9" + kBreak + "abc" + kEnd + kUp, {"\xC3\xA9\xC3\xA9", "abc"}, 0, 4},
      {"a\xA9"
       "b",
       kLeft + kLeft + kBack,
       {"\xA9"
        "b"},
       0,
       0},
      {"a\xC3", kBack + kBack, {""}, 0, 0},
  };
  for (const EditCase& c : cases) {
    CEditText text(c.start);
    Play(text, c.keys);
    SCOPED_TRACE(testing::PrintToString(c.start) + " + " + testing::PrintToString(c.keys));
    EXPECT_EQ(text.Lines(), c.lines);
    EXPECT_EQ(text.Row(), c.row);
    EXPECT_EQ(text.Offset(), c.offset);
  }
}

TEST(CEditText, TextJoinsLinesWithTheSeparator) {
  CEditText text("a");
  Play(text, kBreak + kBreak + "b");
  EXPECT_EQ(text.Text("\r\n"), "a\r\n\r\nb");
  EXPECT_FALSE(text.IsEmpty());
  CEditText breaks;
  Play(breaks, kBreak);
  EXPECT_EQ(breaks.Text("\r\n"), "\r\n");
  EXPECT_FALSE(breaks.IsEmpty());
  Play(breaks, kBack);
  EXPECT_TRUE(breaks.IsEmpty());
}

TEST(Utf8Steps, WholeCharactersAndStrayBytes) {
  const std::string text =
      "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xA9\xC3"
      "b";
  const size_t starts[] = {0, 1, 3, 6, 10, 11, 12, 13};
  for (size_t i = 0; i + 1 < std::size(starts); ++i) {
    EXPECT_EQ(NextCharEnd(text, starts[i]), starts[i + 1]) << i;
    EXPECT_EQ(PrevCharStart(text, starts[i + 1]), starts[i]) << i;
  }
  EXPECT_EQ(NextCharEnd(text, text.size()), text.size());
  EXPECT_EQ(PrevCharStart(text, 0), 0u);
}

}  // namespace
