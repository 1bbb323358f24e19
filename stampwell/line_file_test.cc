#include "stampwell/line_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <filesystem>

#include "tests/support/scratch_dir.h"

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
using testsupport::ScratchDir;

// A line file on a file holding `bytes`.
struct Loaded {
  explicit Loaded(std::string_view bytes, int mode = 1) {
    dir.Write("log.txt", bytes);
    file = std::make_unique<CLineFile>(dir.Path("log.txt"), mode);
  }
  ScratchDir dir;
  std::unique_ptr<CLineFile> file;
};

TEST(CLineFile, LoadsLinesByTextRules) {
  const std::pair<std::string, Lines> cases[] = {
      {"", {}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\nb", {"a", "b"}},
      {"a\r\n\r\nb\r\n", {"a", "", "b"}},
  };
  for (const auto& [bytes, want] : cases) {
    Loaded log(bytes);
    EXPECT_TRUE(log.file->IsLoaded());
    EXPECT_EQ(log.file->Lines(), want) << testing::PrintToString(bytes);
  }
}

TEST(CLineFile, KeepsPathAndMode) {
  Loaded log("a\r\n", 7);
  EXPECT_EQ(log.file->Path(), log.dir.Path("log.txt"));
  EXPECT_EQ(log.file->Mode(), 7);
}

// Each case starts from the lines "a", "b" and makes one call.
struct EditCase {
  const char* name;
  void (*edit)(CLineFile&);
  Lines want;
};

TEST(CLineFile, InsertsLinesAndBlocks) {
  const EditCase cases[] = {
      {"line at 0", [](CLineFile& f) { f.InsertLine(0, "x"); }, {"x", "a", "b"}},
      {"line at 1", [](CLineFile& f) { f.InsertLine(1, "x"); }, {"a", "x", "b"}},
      {"line at end", [](CLineFile& f) { f.InsertLine(2, "x"); }, {"a", "b", "x"}},
      {"line past end", [](CLineFile& f) { f.InsertLine(9, "x"); }, {"a", "b", "x"}},
      {"line cut at CR LF", [](CLineFile& f) { f.InsertLine(0, "x\r\ny"); }, {"x", "a", "b"}},
      {"line cut at LF", [](CLineFile& f) { f.InsertLine(0, "x\ny\rz"); }, {"x", "a", "b"}},
      {"line cut at CR", [](CLineFile& f) { f.InsertLine(0, "x\ry\nz"); }, {"x", "a", "b"}},
      {"empty line", [](CLineFile& f) { f.InsertLine(1, ""); }, {"a", "", "b"}},
      {"added line cut", [](CLineFile& f) { f.AddLine("x\r\ny"); }, {"a", "b", "x"}},
      {"block at 1", [](CLineFile& f) { f.InsertText(1, "p\r\nq"); }, {"a", "p", "q", "b"}},
      {"block at 0", [](CLineFile& f) { f.InsertText(0, "p\r\nq"); }, {"p", "q", "a", "b"}},
      {"block past end", [](CLineFile& f) { f.InsertText(5, "p\r\nq"); }, {"a", "b", "p", "q"}},
      {"block loses empty lines",
       [](CLineFile& f) { f.InsertText(1, "p\r\n\r\n\r\nq"); },
       {"a", "p", "q", "b"}},
      {"block loses one final break",
       [](CLineFile& f) { f.InsertText(1, "p\r\n"); },
       {"a", "p", "b"}},
      {"block keeps a second final break",
       [](CLineFile& f) { f.InsertText(1, "p\r\n\r\n"); },
       {"a", "p", "", "b"}},
      {"block of breaks only", [](CLineFile& f) { f.InsertText(1, "\r\n\r\n"); }, {"a", "", "b"}},
      {"empty block", [](CLineFile& f) { f.InsertText(1, ""); }, {"a", "", "b"}},
      {"empty added block", [](CLineFile& f) { f.AddText(""); }, {"a", "b", ""}},
      {"added block", [](CLineFile& f) { f.AddText("p\nq"); }, {"a", "b", "p", "q"}},
      {"lines split as far as needed",
       [](CLineFile& f) {
         f.InsertLine(0, "x");
         f.InsertLine(2, "y");
         f.InsertText(9, "p");
       },
       {"x", "a", "y", "b", "p"}},
  };
  for (const EditCase& c : cases) {
    Loaded log("a\r\nb\r\n");
    c.edit(*log.file);
    EXPECT_EQ(log.file->Lines(), c.want) << c.name;
  }
}

TEST(CLineFile, InsertionsIntoAnEmptyFileAppend) {
  Loaded log("");
  log.file->InsertLine(0, "a");
  log.file->InsertLine(1, "b");
  log.file->InsertLine(2, "");
  EXPECT_EQ(log.file->Lines(), (Lines{"a", "b", ""}));
}

TEST(CLineFile, SavesEveryLineWithCrLf) {
  const std::pair<std::string, std::string> cases[] = {
      {"a\r\nb", "a\r\nb\r\n"},
      {"a\nb\n", "a\r\nb\r\n"},
      {"", ""},
      {"\n", "\r\n"},
  };
  for (const auto& [bytes, want] : cases) {
    Loaded log(bytes);
    EXPECT_EQ(log.file->Save(), 1);
    EXPECT_EQ(log.dir.Read("log.txt"), want) << testing::PrintToString(bytes);
  }
}

// Bytes of an ASCII text as UTF-16, little-endian unless `big`.
std::string Utf16(std::string_view ascii, bool big = false) {
  std::string bytes;
  for (char c : ascii) bytes += big ? std::string{'\0', c} : std::string{c, '\0'};
  return bytes;
}

TEST(CLineFile, KeepsTheEncodingAndEveryOldCharacter) {
  const std::string e_acute = "\xC3\xA9";              // typed as UTF-8
  const std::string sur = std::string("\x00\xD8", 2);  // an unpaired surrogate, kept as it is
  const std::pair<std::string, std::string> cases[] = {
      {"\xFF\xFE" + Utf16("old\n") + sur + Utf16("\r\n"),
       "\xFF\xFE" + Utf16("new ") + "\xE9" + std::string(1, '\0') + Utf16("\r\nold\r\n") + sur +
           Utf16("\r\n")},
      {"\xFE\xFF" + Utf16("old", true), "\xFE\xFF" + Utf16("new ", true) + std::string(1, '\0') +
                                            "\xE9" + Utf16("\r\nold\r\n", true)},
      {"\xEF\xBB\xBFold\xE2\x82\xAC\n", "\xEF\xBB\xBFnew " + e_acute + "\r\nold\xE2\x82\xAC\r\n"},
      {"old\xE9\n", "new " + e_acute + "\r\nold\xE9\r\n"},
      {Utf16("old"), Utf16("new ?\r\nold\r\n")},
  };
  for (const auto& [bytes, want] : cases) {
    Loaded log(bytes);
    log.file->InsertLine(0, "new " + (bytes == Utf16("old") ? std::string("?") : e_acute));
    EXPECT_EQ(log.file->Save(), 1) << testing::PrintToString(bytes);
    EXPECT_EQ(log.dir.Read("log.txt"), want) << testing::PrintToString(bytes);
  }
}

TEST(CLineFile, TextThatNoEncodingHoldsIsLeftAlone) {
  const std::pair<std::string, std::string> cases[] = {
      {std::string("a\0b\r\n", 5), "holds NUL bytes, not 8-bit text; left untouched"},
      {"\xFF\xFE" + Utf16("ab") + "c", "UTF-16 text with an odd trailing byte; left untouched"},
  };
  for (const auto& [bytes, reason] : cases) {
    Loaded log(bytes);
    EXPECT_FALSE(log.file->IsLoaded());
    EXPECT_EQ(log.file->LastFailure().what, "left alone");
    EXPECT_EQ(log.file->LastFailure().reason, reason);
    log.file->InsertLine(0, "new");
    EXPECT_EQ(log.file->Save(), 0);
    EXPECT_EQ(log.dir.Read("log.txt"), bytes);
  }
  // Without a mark, UTF-16 stays recognisable only while it is ASCII.
  Loaded log(Utf16("old"));
  log.file->InsertLine(0, "\xC3\xA9");
  EXPECT_EQ(log.file->Save(), 0);
  EXPECT_EQ(log.dir.Read("log.txt"), Utf16("old"));
}

TEST(CLineFile, SavesOncePerLoad) {
  Loaded log("a\r\n");
  log.file->AddLine("b");
  EXPECT_EQ(log.file->Save(), 1);
  EXPECT_FALSE(log.file->IsLoaded());
  log.file->AddLine("c");
  EXPECT_EQ(log.file->Save(), 0);
  EXPECT_EQ(log.dir.Read("log.txt"), "a\r\nb\r\n");
}

TEST(CLineFile, NeverSavesInAnotherMode) {
  for (int mode : {0, 2, -1}) {
    Loaded log("a\n", mode);
    log.file->AddLine("b");
    EXPECT_EQ(log.file->Save(), 0) << mode;
    EXPECT_EQ(log.dir.Read("log.txt"), "a\n") << mode;
  }
}

TEST(CLineFile, MissingFileAcceptsEditsButNeverSaves) {
  ScratchDir dir;
  CLineFile file(dir.Path("missing.txt"), 1);
  EXPECT_FALSE(file.IsLoaded());
  EXPECT_EQ(file.LastFailure().reason, "No such file or directory");
  file.InsertLine(0, "x");
  EXPECT_EQ(file.Lines(), Lines{"x"});
  EXPECT_EQ(file.Save(), 0);
  EXPECT_FALSE(fs::exists(dir.Path("missing.txt")));
}

TEST(CLineFile, FailedLoadKeepsTheLinesItHad) {
  Loaded log("a\r\n");
  log.file->AddLine("b");
  EXPECT_EQ(log.file->Load(log.dir.Path("missing.txt"), 1), 0);
  EXPECT_EQ(log.file->Lines(), (Lines{"a", "b"}));
  EXPECT_EQ(log.file->Path(), log.dir.Path("missing.txt"));
}

TEST(CLineFile, SaveKeepsPermissionBitsAndAttributes) {
  Loaded log("a\r\n");
  const std::string path = log.dir.Path("log.txt");
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  const bool attributes = log.dir.HoldsUserAttributes();
  if (attributes) {
    ASSERT_EQ(setxattr(path.c_str(), "user.origin", "shared", 6, 0), 0);
  }
  log.file->Load(path, 1);
  log.file->AddLine("b");
  ASSERT_EQ(log.file->Save(), 1);
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  char value[16] = {};
  if (attributes) {
    EXPECT_EQ(getxattr(path.c_str(), "user.origin", value, sizeof value), 6);
    EXPECT_STREQ(value, "shared");
  }
}

TEST(CLineFile, FileChangedSinceLoadIsLeftAsItIs) {
  Loaded log("a\r\n");
  log.dir.Write("log.txt", "a\r\nwritten meanwhile\r\n");
  log.file->AddLine("b");
  EXPECT_EQ(log.file->Save(), 0);
  EXPECT_EQ(log.file->LastFailure().reason, "changed while stamping");
  EXPECT_EQ(log.dir.Read("log.txt"), "a\r\nwritten meanwhile\r\n");
}

TEST(CLineFile, FailedSaveLeavesTheFileWholeAndSaysWhy) {
  Loaded log("a\r\n");
  log.file->AddLine("b");
  // The file gives way to a directory of the same name, which cannot be replaced.
  fs::remove(log.dir.Path("log.txt"));
  log.dir.MakeDir("log.txt");
  EXPECT_EQ(log.file->Save(), 0);
  EXPECT_FALSE(log.file->LastFailure().reason.empty());
  EXPECT_TRUE(fs::is_directory(log.dir.Path("log.txt")));
  EXPECT_EQ(std::distance(fs::directory_iterator(log.dir.path()), fs::directory_iterator()), 1);
}

}  // namespace
