#include "stampwell/version_resources.h"

#include <gtest/gtest.h>

namespace {

const std::string kPartly = "version resource only partly stamped: ";
const std::string kNot = "version resource not stamped: ";

// ASCII text as UTF-16 little-endian with its byte-order mark.
std::string Utf16Le(std::string_view ascii) {
  std::string bytes = "\xFF\xFE";
  for (char c : ascii) bytes += {c, '\0'};
  return bytes;
}

struct Case {
  std::string name;
  std::string script;
  std::vector<std::string> warnings;  // what, ": ", reason
  std::string product = "2.1", file = "2.1.7";
};

TEST(FindHalfStampedResources, NamesEachResourceTheRulesMissInPart) {
  const std::string values = "  VALUE \"FileVersion\", \"1\"\n  VALUE \"ProductVersion\", \"1\"\n";
  const std::string tab_first = "1 VERSIONINFO\n\tFILEVERSION 1\n PRODUCTVERSION 1\n" + values;
  const Case cases[] = {
      {"stamped", "1 VERSIONINFO\n FILEVERSION 1\n PRODUCTVERSION 1\n" + values, {}},
      {"alternative headers",
       "#if A\n1 VERSIONINFO\n#else\n1 VERSIONINFO X\n#endif\n" + values,
       {}},
      {"no resource", "FILEVERSION 1\nPRODUCTVERSION 1\n", {}},
      {"line start",
       "// VERSIONINFO\n1 VERSIONINFO\nFILEVERSION 1\n PRODUCTVERSION 1\n" + values,
       {kPartly +
        "line 3, FILEVERSION starts at the beginning of the line; the line rules need a blank "
        "before it"}},
      {"tab",
       tab_first,
       {kPartly + "line 2, FILEVERSION follows a tab; the line rules need a blank before it"}},
      {"nothing",
       "1 VERSIONINFO\nFILEVERSION\t1\n VALUE\t\"FileVersion\", \"1\"",
       {kNot +
        "line 2, FILEVERSION starts at the beginning of the line and is followed by a tab; the "
        "line rules need a blank on each side of it"}},
      {"no version line",
       "\n1 VERSIONINFO\nBEGIN\nEND\n",
       {kNot + "line 2, the resource names no version the line rules recognise"}},
      {"file version only", "1 VERSIONINFO\n FILEVERSION 1\nPRODUCTVERSION 1\n", {}, ""},
      {"product version only", tab_first, {}, "2.1", ""},
      {"UTF-16",
       Utf16Le("1 VERSIONINFO\r\nFILEVERSION 1\r\nPRODUCTVERSION 1\r\n" + values),
       {kPartly +
        "line 2, FILEVERSION starts at the beginning of the line; line 3, PRODUCTVERSION starts "
        "at the beginning of the line; the line rules need a blank before them"}},
      {"two resources",
       tab_first + "2 VERSIONINFO\n FILEVERSION 1\n",
       {kPartly + "line 2, FILEVERSION follows a tab; the line rules need a blank before it"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> warnings;
    for (const ResourceWarning& warning : FindHalfStampedResources(c.script, c.product, c.file))
      warnings.push_back(warning.what + ": " + warning.reason);
    EXPECT_EQ(warnings, c.warnings) << c.name;
  }
}

}  // namespace
