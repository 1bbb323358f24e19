#include "stampwell/version_form.h"

#include <gtest/gtest.h>

namespace {

using platform::Key;
using platform::KeyKind;
using Keys = std::vector<Key>;

Key K(KeyKind kind) { return Key{kind, ""}; }

// One text key per character of `text` (ASCII here).
Keys Type(std::string_view text) {
  Keys keys;
  for (char c : text) keys.push_back(Key{KeyKind::kText, std::string(1, c)});
  return keys;
}

Keys operator+(Keys a, const Keys& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
Keys operator+(Keys a, KeyKind kind) { return a + Keys{K(kind)}; }
Keys operator+(KeyKind kind, const Keys& b) { return Keys{K(kind)} + b; }

const Keys kNone;
const KeyKind kTab = KeyKind::kTab, kBackTab = KeyKind::kBackTab, kEnter = KeyKind::kEnter;

// Plays `keys` on a form opened with versions 2.1 and 2.1.7; the outcome of the last key.
FormOutcome Play(CVersionForm& form, const Keys& keys) {
  FormOutcome outcome = FormOutcome::kOpen;
  for (const Key& key : keys) {
    EXPECT_EQ(outcome, FormOutcome::kOpen) << "a key after the form closed";
    outcome = form.HandleKey(key);
  }
  return outcome;
}

CVersionForm NewForm(std::string_view product = "2.1", std::string_view file = "2.1.7") {
  return CVersionForm("/src/project", "07-Dec-2026", product, file);
}

TEST(CVersionForm, OpensWithTheGivenTextsAndFocusInProductVersion) {
  CVersionForm form = NewForm();
  EXPECT_EQ(form.WorkDir(), "/src/project");
  EXPECT_EQ(form.Date(), "07-Dec-2026");
  EXPECT_EQ(form.ProductVersion().Text(""), "2.1");
  EXPECT_EQ(form.FileVersion().Text(""), "2.1.7");
  EXPECT_EQ(form.CommentText(), "");
  EXPECT_EQ(form.Focus(), FormField::kProductVersion);
  EXPECT_FALSE(form.OkEnabled());
}

TEST(CVersionForm, TabAndShiftTabGoRound) {
  const std::pair<Keys, FormField> cases[] = {
      {kNone, FormField::kProductVersion},
      {kNone + kTab, FormField::kFileVersion},
      {kNone + kTab + kTab, FormField::kComment},
      {kNone + kTab + kTab + kTab, FormField::kOk},
      {kNone + kTab + kTab + kTab + kTab, FormField::kCancel},
      {kNone + kTab + kTab + kTab + kTab + kTab, FormField::kProductVersion},
      {kNone + kBackTab, FormField::kCancel},
      {kNone + kBackTab + kBackTab, FormField::kOk},
      {kNone + kBackTab + kBackTab + kBackTab, FormField::kComment},
      {kNone + kTab + kBackTab, FormField::kProductVersion},
      {kNone + kTab + kTab + kTab + KeyKind::kRight, FormField::kCancel},
      {kNone + kBackTab + KeyKind::kLeft, FormField::kOk},
  };
  for (const auto& [keys, want] : cases) {
    CVersionForm form = NewForm();
    Play(form, keys);
    EXPECT_EQ(form.Focus(), want) << keys.size() << " keys";
  }
}

struct OkCase {
  const char* name;
  std::string product, file;
  Keys keys;
  bool ok;
};

TEST(CVersionForm, OkNeedsBothVersionsAndAComment) {
  const Keys to_comment = kTab + (kTab + kNone);
  const OkCase cases[] = {
      {"no comment", "2.1", "2.1.7", kNone, false},
      {"comment", "2.1", "2.1.7", to_comment + Type("x"), true},
      {"comment emptied again", "2.1", "2.1.7", to_comment + Type("x") + KeyKind::kBackspace,
       false},
      {"blank comment", "2.1", "2.1.7", to_comment + Type(" "), true},
      {"comment of a line break", "2.1", "2.1.7", to_comment + kEnter, true},
      {"no product version", "", "2.1.7", to_comment + Type("x"), false},
      {"no file version", "2.1", "", to_comment + Type("x"), false},
      {"blank versions", " ", " ", to_comment + Type("x"), true},
      {"product version typed", "", "1", Type("3") + to_comment + Type("x"), true},
      {"product version emptied", "2", "1", KeyKind::kBackspace + to_comment + Type("x"), false},
      {"file version emptied", "2", "1", kTab + (KeyKind::kBackspace + (kTab + Type("x"))), false},
  };
  for (const OkCase& c : cases) {
    CVersionForm form = NewForm(c.product, c.file);
    Play(form, c.keys);
    EXPECT_EQ(form.OkEnabled(), c.ok) << c.name;
  }
}

struct OutcomeCase {
  const char* name;
  Keys keys;
  FormOutcome outcome;
};

TEST(CVersionForm, EnterEscapeAndCtrlC) {
  const Keys comment = kTab + (kTab + Type("c"));
  const OutcomeCase cases[] = {
      {"enter in product version, OK disabled", Keys{K(kEnter)}, FormOutcome::kOpen},
      {"enter in product version", comment + kBackTab + kBackTab + kEnter, FormOutcome::kConfirmed},
      {"enter in file version", comment + kBackTab + kEnter, FormOutcome::kConfirmed},
      {"enter in comment", comment + kEnter, FormOutcome::kOpen},
      {"enter on OK", comment + kTab + kEnter, FormOutcome::kConfirmed},
      {"enter on disabled OK", kBackTab + (kBackTab + Keys{K(kEnter)}), FormOutcome::kOpen},
      {"space on OK", comment + kTab + Type(" "), FormOutcome::kConfirmed},
      {"enter on Cancel", comment + kTab + kTab + kEnter, FormOutcome::kCancelled},
      {"space on Cancel", kBackTab + Type(" "), FormOutcome::kCancelled},
      {"escape", comment + KeyKind::kEscape, FormOutcome::kCancelled},
      {"escape at once", Keys{K(KeyKind::kEscape)}, FormOutcome::kCancelled},
      {"ctrl-c", comment + KeyKind::kInterrupt, FormOutcome::kCancelled},
      {"terminal gone", comment + KeyKind::kClosed, FormOutcome::kCancelled},
      {"resize", comment + KeyKind::kResize, FormOutcome::kOpen},
  };
  for (const OutcomeCase& c : cases) {
    CVersionForm form = NewForm();
    EXPECT_EQ(Play(form, c.keys), c.outcome) << c.name;
  }
}

TEST(CVersionForm, OkRefusesAVersionAResourceCannotHoldAndSaysWhy) {
  const Keys comment_then_ok = kTab + (kTab + Type("c")) + kTab + kEnter;
  CVersionForm form = NewForm("2.1", "2.1.70000");
  EXPECT_EQ(form.VersionProblemOf(FormField::kFileVersion), "") << "nothing said before OK";
  EXPECT_EQ(Play(form, comment_then_ok), FormOutcome::kOpen);
  EXPECT_EQ(form.Focus(), FormField::kFileVersion);
  EXPECT_EQ(form.VersionProblemOf(FormField::kFileVersion), "part 3 is above 65535");
  EXPECT_EQ(form.VersionProblemOf(FormField::kProductVersion), "");
  Play(form, Keys{K(KeyKind::kBackspace)});
  EXPECT_EQ(form.VersionProblemOf(FormField::kFileVersion), "") << "follows the text";
  EXPECT_EQ(Play(form, Keys{K(kEnter)}), FormOutcome::kConfirmed);

  CVersionForm both = NewForm("v2", "1..2");
  EXPECT_EQ(Play(both, comment_then_ok), FormOutcome::kOpen);
  EXPECT_EQ(both.Focus(), FormField::kProductVersion);
  EXPECT_EQ(both.VersionProblemOf(FormField::kProductVersion), "part 1 is not a number");
  EXPECT_EQ(both.VersionProblemOf(FormField::kFileVersion), "part 2 is empty");
}

TEST(CVersionForm, CommentComesWithCrLfBetweenLines) {
  CVersionForm form = NewForm();
  Play(form, kTab + (kTab + Type("a")) + kEnter + kEnter + Type("b") + kEnter);
  EXPECT_EQ(form.CommentText(), "a\r\n\r\nb\r\n");
}

TEST(CVersionForm, EditingKeysWorkInTheFocusedFieldOnly) {
  CVersionForm form = NewForm();
  Play(form, KeyKind::kBackspace + Type("2") + KeyKind::kHome + Type("v") + kTab + KeyKind::kEnd +
                 KeyKind::kDelete + KeyKind::kLeft + KeyKind::kBackspace + KeyKind::kUp +
                 KeyKind::kDown + kTab + KeyKind::kUp);
  EXPECT_EQ(form.ProductVersion().Text(""), "v2.2");
  EXPECT_EQ(form.FileVersion().Text(""), "2.17");
  EXPECT_EQ(form.CommentText(), "");
}

TEST(CVersionForm, ControlCharactersAreNotTyped) {
  CVersionForm form = NewForm("", "");
  Play(form, Keys{Key{KeyKind::kText, "\t"}, Key{KeyKind::kText, "\x7f"}, Key{KeyKind::kText, "\r"},
                  Key{KeyKind::kText, "\xC3\xA9"}});
  EXPECT_EQ(form.ProductVersion().Text(""), "\xC3\xA9");
}

TEST(CVersionForm, ButtonsIgnoreTyping) {
  CVersionForm form = NewForm();
  Play(form, kBackTab + (kBackTab + Type("x")) + KeyKind::kBackspace);
  EXPECT_EQ(form.Focus(), FormField::kOk);
  EXPECT_EQ(form.ProductVersion().Text(""), "2.1");
  EXPECT_EQ(form.CommentText(), "");
}

}  // namespace
