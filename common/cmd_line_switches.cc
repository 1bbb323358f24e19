#include "common/cmd_line_switches.h"

#include "common/path_util.h"
#include "platform/output.h"

namespace {

bool IsSwitch(const char* arg) { return arg[0] == '-' || arg[0] == '/'; }

// True when the argument after the switch at `i` is that switch's value.
bool ValueFollows(int i, int argc, const char* const* argv) {
  return i + 1 < argc && !IsSwitch(argv[i + 1]);
}

const SwitchRule* FindRule(std::span<const SwitchRule> rules, std::string_view name) {
  for (const SwitchRule& rule : rules) {
    if (EqualsIgnoreCase(rule.name, name)) return &rule;
  }
  for (const SwitchRule& rule : kHelpSwitches) {
    if (EqualsIgnoreCase(rule.name, name)) return &rule;
  }
  return nullptr;
}

std::string Quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

}  // namespace

CCmdLineSwitches::CCmdLineSwitches(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    if (!IsSwitch(argv[i])) {
      m_names.emplace_back();
      m_values.emplace_back(argv[i]);
      continue;
    }
    m_names.emplace_back(argv[i] + 1);
    m_values.emplace_back();
    if (ValueFollows(i, argc, argv)) m_values.back() = argv[++i];
  }
}

bool CCmdLineSwitches::FindSwitch(const std::string& name, std::string* value) const {
  for (size_t k = 0; k < m_names.size(); ++k) {
    if (!EqualsIgnoreCase(m_names[k], name)) continue;
    if (value != nullptr) *value = m_values[k];
    return true;
  }
  return false;
}

bool CCmdLineSwitches::HelpRequested() const {
  for (const SwitchRule& rule : kHelpSwitches) {
    if (FindSwitch(std::string(rule.name))) return true;
  }
  return false;
}

std::string UnacceptedArgument(std::span<const SwitchRule> rules, int argc,
                               const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    if (!IsSwitch(argv[i])) return "unexpected argument " + Quoted(argv[i]);
    const SwitchRule* rule = FindRule(rules, argv[i] + 1);
    if (rule == nullptr) return "unknown switch " + Quoted(argv[i]);
    if (!ValueFollows(i, argc, argv)) continue;
    if (rule->value == SwitchValue::kNone) {
      return "switch " + Quoted(argv[i]) + " takes no value, but " + Quoted(argv[i + 1]) +
             " follows it";
    }
    ++i;
  }
  return "";
}

bool AcceptSwitches(std::string_view tool, std::span<const SwitchRule> rules, int argc,
                    const char* const* argv) {
  std::string why = UnacceptedArgument(rules, argc, argv);
  if (why.empty()) return true;
  platform::WriteError(std::string(tool) + ": " + why + "; -? lists the switches\n");
  return false;
}
