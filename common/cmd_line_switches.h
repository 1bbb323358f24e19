// The command line as a table of switch names and values, built once at start-up.
#pragma once

#include <string>
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

  // True when help is asked for: "?", "h", "help", or "--help" (the name "-help").
  bool HelpRequested() const;

  const std::vector<std::string>& names() const { return m_names; }
  const std::vector<std::string>& values() const { return m_values; }

 private:
  std::vector<std::string> m_names;
  std::vector<std::string> m_values;
};
