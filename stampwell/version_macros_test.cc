#include "stampwell/version_macros.h"

#include <gtest/gtest.h>

#include "stampwell/utf16_units.h"

namespace {

// A definition's value before and after 2.10.0.7 is put in; empty `after` for a refusal, whose
// reason is then in `why`.
struct Form {
  std::string value, after, why = "";
};

TEST(StampMacroValue, KeepsEachFormAndRefusesTheRest) {
  const std::string other = "is neither a list of two to four numbers nor a string of them";
  const Form forms[] = {
      {"8, 9, 7, 0", "2, 10, 0, 7"},
      {"2,00,3002,07", "2,10,0,7"},
      {"8 ,\t9 , 7,0", "2 ,\t10 , 0,7"},
      {"1,2", "2,10,0,7"},
      {"1, 2, 3", "2, 10, 0, 7"},
      {"\"8.9.7.0\\0\"", "\"2.10.0.7\\0\""},
      {"L\"8.9.7.0\\0\"", "L\"2.10.0.7\\0\""},
      {"\"8, 9, 7, 0\"", "\"2, 10, 0, 7\""},
      {"L\"8.9\"", "L\"2.10.0.7\""},
      {"MAJOR, MINOR, 0, 0", "", "is built from other macros"},
      {"STR(VER)", "", "is built from other macros"},
      {"0x8, 9, 7, 0", "", other},
      {"8", "", other},
      {"1, 2, 3, 4, 5", "", other},
      {"8 9 7 0", "", other},
      {"8,,9", "", other},
      {"8.9.7.0", "", other},
      {"\"8.9.7.0 beta\"", "", other},
      {"\"8.9\" \"\\0\"", "", other},
      {"", "", other},
      {"1, 2 \\", "", other},
  };
  for (const Form& form : forms) {
    std::u16string stamped;
    std::string why;
    const bool fits = StampMacroValue(Utf8ToUtf16(form.value), "2.010.0.7", &stamped, &why);
    EXPECT_EQ(fits, !form.after.empty()) << form.value;
    EXPECT_EQ(Utf16ToUtf8(stamped), form.after) << form.value;
    EXPECT_EQ(why, form.why) << form.value;
  }
}

TEST(FindMacroUses, TakesVersionLinesNamingOneMacroWithinAResource) {
  const std::string script =
      "#define X FILEVERSION_TOO\n"
      " FILEVERSION BEFORE_ANY_RESOURCE\n"
      "1 VERSIONINFO\n"
      "FILEVERSION VER_FILE // a comment\n"
      " PRODUCTVERSION VER_PRODUCT, 1\n"
      "  /* FILEVERSION HIDDEN */\n"
      "  VALUE \"ProductVersion\", VER_PRODUCT_STR\n"
      "  VALUE \"FileVersion\", \"1.0\"\n"
      "  VALUE \"Comments\", NOT_A_VERSION\n";
  std::vector<std::string> found;
  for (const MacroUse& use : FindMacroUses(script, true, true))
    found.push_back(std::to_string(use.line) + (use.macro.product ? " p " : " f ") +
                    use.macro.name);
  EXPECT_EQ(found, (std::vector<std::string>{"4 f VER_FILE", "7 p VER_PRODUCT_STR"}));
  EXPECT_EQ(FindMacroUses(script, false, true).size(), 1u);
}

TEST(ScanMacroFile, FindsDefinitionsAndIncludesOutsideComments) {
  const MacroFile scan = ScanMacroFile(
      "#include \"sub\\\\ver.h\"\n#  include <ntverp.h>\n"
      "  #define VER 1, 2 // old\n/*\n#define HIDDEN 1,2\n*/\n#define F(x) x\n");
  ASSERT_EQ(scan.definitions.size(), 2u);
  const MacroDefinition& ver = scan.definitions[0];
  EXPECT_EQ(ver.name, "VER");
  EXPECT_EQ(ver.line, 3u);
  EXPECT_EQ(Utf16ToUtf8(ver.text.substr(ver.value_begin, ver.value_end - ver.value_begin)), "1, 2");
  EXPECT_TRUE(scan.definitions[1].function_like);
  EXPECT_EQ(scan.includes, std::vector<std::string>{"sub\\\\ver.h"});
  EXPECT_EQ(scan.system, std::vector<std::string>{"ntverp.h"});
}

}  // namespace
