#include "common/cmd_line_switches.h"

#include <gtest/gtest.h>

namespace {

using Strings = std::vector<std::string>;

CCmdLineSwitches Parse(std::vector<const char*> args) {
  args.insert(args.begin(), "tool");
  return CCmdLineSwitches(static_cast<int>(args.size()), args.data());
}

constexpr SwitchRule kRules[] = {{"vp", SwitchValue::kOptional}, {"s", SwitchValue::kNone}};

struct TableCase {
  std::vector<const char*> args;
  Strings names;
  Strings values;
};

TEST(CCmdLineSwitches, BuildsTheTable) {
  const TableCase cases[] = {
      {{}, {}, {}},
      {{"-vp"}, {"vp"}, {""}},
      {{"-vp", "1.2", "-s"}, {"vp", "s"}, {"1.2", ""}},
      {{"/vp", "1.2"}, {"vp"}, {"1.2"}},
      {{"file.txt", "-s"}, {"", "s"}, {"file.txt", ""}},
      {{"-vp", "-1.0"}, {"vp", "1.0"}, {"", ""}},
      {{"-vp", "/x"}, {"vp", "x"}, {"", ""}},
      {{"-vp", "", "-s"}, {"vp", "s"}, {"", ""}},
      {{"--help"}, {"-help"}, {""}},
      {{"-", "a", "b"}, {"", ""}, {"a", "b"}},
  };
  for (const TableCase& c : cases) {
    CCmdLineSwitches table = Parse(c.args);
    EXPECT_EQ(table.names(), c.names) << testing::PrintToString(c.args);
    EXPECT_EQ(table.values(), c.values) << testing::PrintToString(c.args);
  }
}

TEST(CCmdLineSwitches, FindSwitchIgnoresCaseAndTakesTheFirst) {
  CCmdLineSwitches table = Parse({"/HELP", "-vf", "1.0", "-VF", "2.0", "-S"});
  EXPECT_TRUE(table.FindSwitch("help"));
  EXPECT_TRUE(table.FindSwitch("s"));
  EXPECT_FALSE(table.FindSwitch("vp"));
  std::string value = "unchanged";
  EXPECT_TRUE(table.FindSwitch("vf", &value));
  EXPECT_EQ(value, "1.0");
}

TEST(CCmdLineSwitches, FindSwitchValueOut) {
  CCmdLineSwitches table = Parse({"-vp", "-s"});
  std::string value = "old";
  EXPECT_TRUE(table.FindSwitch("vp", &value));
  EXPECT_EQ(value, "") << "an empty value overwrites";
  value = "old";
  EXPECT_FALSE(table.FindSwitch("vf", &value));
  EXPECT_EQ(value, "old") << "not found leaves the value alone";
}

TEST(CCmdLineSwitches, HelpRequested) {
  for (const char* help : {"-?", "/h", "-HELP", "--help", "/Help"}) {
    EXPECT_TRUE(Parse({"-s", help}).HelpRequested()) << help;
  }
  for (const char* other : {"-s", "help", "---help", "-hh", "?"}) {
    EXPECT_FALSE(Parse({other}).HelpRequested()) << other;
  }
}

TEST(CCmdLineSwitches, EmptyNameFindsPlainArgument) {
  CCmdLineSwitches table = Parse({"file.txt", "-s"});
  std::string value;
  EXPECT_TRUE(table.FindSwitch("", &value));
  EXPECT_EQ(value, "file.txt");
  EXPECT_FALSE(Parse({}).FindSwitch(""));
}

TEST(UnacceptedArgument, NamesTheFirstArgumentThatDoesNotFit) {
  const std::pair<std::vector<const char*>, std::string> cases[] = {
      {{"tool", "-vp", "2.1", "/S", "-VP", "", "-?", "--help"}, ""},
      {{"tool", "--s", "-x"}, "unknown switch '--s'"},
      {{"tool", "-vp2.1"}, "unknown switch '-vp2.1'"},
      {{"tool", "/S", ""}, "switch '/S' takes no value, but '' follows it"},
      {{"tool", "-vp", "2.1", "2.2"}, "unexpected argument '2.2'"},
  };
  for (const auto& [args, want] : cases) {
    EXPECT_EQ(UnacceptedArgument(kRules, static_cast<int>(args.size()), args.data()), want);
  }
}

}  // namespace
