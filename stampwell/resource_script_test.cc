#include "stampwell/resource_script.h"

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

const char kProduct25[] = " PRODUCTVERSION 2, 5, 0, 0";
const char kProductValue25[] = "            VALUE \"ProductVersion\", \"2, 5, 0, 0\\0\"";
const char kFile512[] = " FILEVERSION 5, 12, 0, 0";
const char kFileValue512[] = "            VALUE \"FileVersion\", \"5, 12, 0, 0\\0\"";

struct LineCase {
  std::string line;
  std::string after_product;  // with product version 2.5
  std::string after_file;     // with file version 5.12
};

TEST(ApplyVersion, RecognisesExactlyTheFourLineKinds) {
  const LineCase cases[] = {
      {" FILEVERSION 1,0,0,1", " FILEVERSION 1,0,0,1", kFile512},
      {"\tFILEVERSION 1,0,0,1", "\tFILEVERSION 1,0,0,1", "\tFILEVERSION 1,0,0,1"},
      {"FILEVERSION 1,0,0,1", "FILEVERSION 1,0,0,1", "FILEVERSION 1,0,0,1"},
      {"  FILEVERSION 1, 0 // old", "  FILEVERSION 1, 0 // old", kFile512},
      {"// set the FILEVERSION here", "// set the FILEVERSION here", kFile512},
      {" fileversion 1", " fileversion 1", " fileversion 1"},
      {" PRODUCTVERSION 1,0,0,1", kProduct25, " PRODUCTVERSION 1,0,0,1"},
      {"PRODUCTVERSION 1", "PRODUCTVERSION 1", "PRODUCTVERSION 1"},
      {"\t\tVALUE \"FileVersion\", \"1.0.0.1\"", "\t\tVALUE \"FileVersion\", \"1.0.0.1\"",
       kFileValue512},
      {"VALUE \"FileVersion\",\"x\" // c", "VALUE \"FileVersion\",\"x\" // c", kFileValue512},
      {"VALUE \"FileVersion\" , \"1\"", "VALUE \"FileVersion\" , \"1\"",
       "VALUE \"FileVersion\" , \"1\""},
      {"    VALUE \"ProductVersion\", \"1.0\"", kProductValue25,
       "    VALUE \"ProductVersion\", \"1.0\""},
      {"VALUE \"productversion\", \"1\"", "VALUE \"productversion\", \"1\"",
       "VALUE \"productversion\", \"1\""},
      {"", "", ""},
  };
  for (const LineCase& c : cases) {
    Lines product = {c.line};
    ApplyProductVersion(product, "2.5");
    EXPECT_EQ(product[0], c.after_product) << c.line;
    Lines file = {c.line};
    ApplyFileVersion(file, "5.12");
    EXPECT_EQ(file[0], c.after_file) << c.line;
  }
}

TEST(ApplyVersion, StatementThenValueOnTheSameLine) {
  // The value rule looks at the line the statement rule left, which no longer holds the value.
  Lines lines = {" FILEVERSION  VALUE \"FileVersion\", 1", "VALUE \"FileVersion\", \"1\""};
  ApplyFileVersion(lines, "5.12");
  EXPECT_EQ(lines, (Lines{kFile512, kFileValue512}));
}

TEST(RewriteScript, ReplacesEveryBlockAndNormalisesLineBreaks) {
  const std::string script =
      "1 VERSIONINFO\n FILEVERSION 1,0,0,1\r\n PRODUCTVERSION 1,0,0,1\n"
      "  VALUE \"FileVersion\", \"1.0\"\r\n  VALUE \"ProductVersion\", \"1.0\"\n"
      "\xA9 2026\rx\n"
      "2 VERSIONINFO\n FILEVERSION 1,0,0,1\n PRODUCTVERSION 1,0,0,1";
  const std::string want =
      "1 VERSIONINFO\r\n FILEVERSION 2, 1, 7, 0\r\n PRODUCTVERSION 2, 1, 0, 0\r\n"
      "            VALUE \"FileVersion\", \"2, 1, 7, 0\\0\"\r\n"
      "            VALUE \"ProductVersion\", \"2, 1, 0, 0\\0\"\r\n"
      "\xA9 2026\rx\r\n"
      "2 VERSIONINFO\r\n FILEVERSION 2, 1, 7, 0\r\n PRODUCTVERSION 2, 1, 0, 0\r\n";
  Lines lines;
  std::string out, reason;
  ASSERT_TRUE(RewriteScript(script, "2.1", "2.1.7", lines, &out, &reason));
  EXPECT_EQ(out, want);
  std::string twice;
  ASSERT_TRUE(RewriteScript(out, "2.1", "2.1.7", lines, &twice, &reason));
  EXPECT_EQ(twice, out) << "rewriting is idempotent";
}

TEST(RewriteScript, EmptyVersionsLeaveTheirLinesAlone) {
  const std::string script = " FILEVERSION 1\n PRODUCTVERSION 1\n";
  Lines lines;
  std::string out, reason;
  ASSERT_TRUE(RewriteScript(script, "", "", lines, &out, &reason));
  EXPECT_EQ(out, " FILEVERSION 1\r\n PRODUCTVERSION 1\r\n");
  ASSERT_TRUE(RewriteScript(script, "3", "", lines, &out, &reason));
  EXPECT_EQ(out, " FILEVERSION 1\r\n PRODUCTVERSION 3, 0, 0, 0\r\n");
  EXPECT_EQ(lines, (Lines{" FILEVERSION 1", " PRODUCTVERSION 3, 0, 0, 0"}));
}

struct RefusedCase {
  std::string bytes;
  std::string reason;
};

TEST(RewriteScript, RefusesWhatNoEncodingHoldsAndLeavesItsLinesAlone) {
  const RefusedCase cases[] = {
      {std::string("1\0 2", 4), "holds NUL bytes, not 8-bit text; left untouched"},
      {std::string("\xEF\xBB\xBF\0", 4), "holds NUL bytes, not 8-bit text; left untouched"},
      {std::string("\xFF\xFE 1\0", 5), "UTF-16 text with an odd trailing byte; left untouched"},
      {std::string("\xFE\xFF\0 \0", 5), "UTF-16 text with an odd trailing byte; left untouched"},
      {std::string(" \0\n\0\r", 5), "UTF-16 text with an odd trailing byte; left untouched"},
      {std::string("\xFF\xFE\0\0", 4), "UTF-16 text holding NUL characters; left untouched"},
  };
  for (const RefusedCase& c : cases) {
    Lines lines = {"previous"};
    std::string out = "untouched", reason;
    EXPECT_FALSE(RewriteScript(c.bytes, "1", "1", lines, &out, &reason));
    EXPECT_EQ(out, "untouched");
    EXPECT_EQ(reason, c.reason) << testing::PrintToString(c.bytes);
    EXPECT_EQ(lines, Lines{"previous"});
  }
}

TEST(RewriteScript, KeepsControlBytes) {
  Lines lines;
  std::string out, reason;
  ASSERT_TRUE(RewriteScript("a\x1a" "b\n\x1a\n", "", "", lines, &out, &reason));
  EXPECT_EQ(out, "a\x1a" "b\r\n\x1a\r\n");
}

}  // namespace

namespace {

TEST(RewriteScript, MarklessUtf16RefusesAVersionBeyondAscii) {
  // " FILEVERSION 1" as UTF-16LE without a mark.
  std::string script;
  for (char c : std::string(" FILEVERSION 1\r\n")) script += std::string{c, '\0'};
  std::vector<std::string> lines;
  std::string out, reason;
  EXPECT_TRUE(RewriteScript(script, "", "2.1", lines, &out, &reason)) << reason;
  EXPECT_FALSE(RewriteScript(script, "", "2.\xC3\xA9", lines, &out, &reason));
  EXPECT_EQ(reason,
            "UTF-16 text without byte-order mark cannot take a version beyond ASCII; left "
            "untouched");
}

}  // namespace
