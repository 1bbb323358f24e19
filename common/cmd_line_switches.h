// The command line as a table of switch names and values, built once at start-up.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

// An argument starting with '-' or '/' is a switch named by the rest of it; the following
// argument, unless it too starts with '-' or '/', is its value. Any other argument is a plain
// value with an empty name.
class CCmdLineSwitches {
 public:
  CCmdLineSwitches(int argc, const char* const* argv);
  virtual ~CCmdLineSwitches() = default;

  // True when a switch named `name` (compared ignoring case) is present; the first such entry
  // counts. When found and `value` is given, the entry's value is copied into it.
  bool FindSwitch(const std::string& name, std::string* value = nullptr) const;

  // True when help is asked for: one of kHelpSwitches ("--help" is the name "-help").
  bool HelpRequested() const;

  const std::vector<std::string>& names() const { return m_names; }
  const std::vector<std::string>& values() const { return m_values; }

 private:
  std::vector<std::string> m_names;
  std::vector<std::string> m_values;
};

// Whether a switch a tool knows may be followed by a value.
enum class SwitchValue {
  kNone,      // "-s": the next argument is never its value
  kOptional,  // "-vp [<value>]"
};

// One switch a tool knows: its name without the leading '-' or '/', compared ignoring case.
struct SwitchRule {
  std::string_view name;
  SwitchValue value;
};

// The switches every tool knows: "-?", "-h", "-help" and "--help" print its usage.
inline constexpr SwitchRule kHelpSwitches[] = {{"?", SwitchValue::kNone},
                                               {"h", SwitchValue::kNone},
                                               {"help", SwitchValue::kNone},
                                               {"-help", SwitchValue::kNone}};

// Why the command line cannot be taken as the tool means it, read as CCmdLineSwitches reads it,
// for the first argument that does not fit `rules` (help aside): "unknown switch '--n'",
// "switch '-d' takes no value, but 'Debug' follows it" or "unexpected argument '2.1.7'".
// Empty when every argument fits. A switch and its value are separate arguments, so "-vf2.1.7"
// is an unknown switch.
std::string UnacceptedArgument(std::span<const SwitchRule> rules, int argc,
                               const char* const* argv);

// False, after writing "<tool>: <why>; -? lists the switches" to standard error, when
// UnacceptedArgument finds an argument that does not fit `rules`.
bool AcceptSwitches(std::string_view tool, std::span<const SwitchRule> rules, int argc,
                    const char* const* argv);

// What reading a tool's switches came to.
enum class SwitchesRead {
  kRun,        // the switches are taken: the tool runs
  kHelpShown,  // the usage text has been printed: the tool ends with exit code 0
  kRefused,    // an argument did not fit and was reported: the tool ends with exit code 1
};
