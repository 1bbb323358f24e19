#include "common/cmd_line_switches.h"

#include "common/path_util.h"

namespace {

bool IsSwitch(const char* arg) { return arg[0] == '-' || arg[0] == '/'; }

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
    if (i + 1 < argc && !IsSwitch(argv[i + 1])) m_values.back() = argv[++i];
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
  return FindSwitch("?") || FindSwitch("h") || FindSwitch("help") || FindSwitch("-help");
}
