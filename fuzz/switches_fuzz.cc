// The switch table over any command line: arguments are the input cut at NUL bytes.
#include <cstdint>
#include <string>
#include <vector>

#include "common/cmd_line_switches.h"
#include "common/path_util.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> args = {"tool"};
  for (size_t start = 0; start <= input.size();) {
    size_t end = std::min(input.find('\0', start), input.size());
    args.push_back(input.substr(start, end - start));
    start = end + 1;
  }
  std::vector<const char*> argv;
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  CCmdLineSwitches table(static_cast<int>(argv.size()), argv.data());

  FUZZ_CHECK(table.names().size() == table.values().size());
  FUZZ_CHECK(table.names().size() <= args.size() - 1);
  for (size_t k = 0; k < table.names().size(); ++k) {
    const std::string& value = table.values()[k];
    FUZZ_CHECK(value.empty() || table.names()[k].empty() || (value[0] != '-' && value[0] != '/'));
    // The first entry of a name is the one found.
    size_t first = 0;
    while (!EqualsIgnoreCase(table.names()[first], table.names()[k])) ++first;
    std::string found = "unset";
    FUZZ_CHECK(table.FindSwitch(table.names()[k], &found));
    FUZZ_CHECK(found == table.values()[first]);
  }
  // Accepted means every entry is a known switch, and one that takes no value has none.
  static constexpr SwitchRule kRules[] = {{"vp", SwitchValue::kOptional},
                                          {"s", SwitchValue::kNone}};
  if (UnacceptedArgument(kRules, static_cast<int>(argv.size()), argv.data()).empty()) {
    for (size_t k = 0; k < table.names().size(); ++k) {
      const std::string& name = table.names()[k];
      FUZZ_CHECK(!name.empty() && (EqualsIgnoreCase(name, "vp") || table.values()[k].empty()));
    }
  }
  return 0;
}
