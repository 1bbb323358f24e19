#include "common/reporter.h"

#include "platform/error_text.h"
#include "platform/output.h"

void CReporter::Print(std::string_view text) { platform::WriteOutput(text); }

void CReporter::FailLine(std::string_view line) {
  MarkFailed();
  platform::WriteError(line);
}

void CReporter::WarnLine(std::string_view line) { platform::WriteError(line); }

namespace {

std::string Line(const std::string& tool, std::string_view what, std::string_view path,
                 std::string_view reason) {
  std::string line = tool;
  line.append(": ").append(what).append(" '").append(path).append("': ").append(reason);
  line += '\n';
  return line;
}

}  // namespace

void CReporter::Fail(std::string_view what, std::string_view path, std::string_view reason) {
  FailLine(Line(m_strTool, what, path, reason));
}

void CReporter::Warn(std::string_view what, std::string_view path, std::string_view reason) {
  WarnLine(Line(m_strTool, what, path, reason));
}

void CReporter::FailErrno(std::string_view what, std::string_view path, int err) {
  Fail(what, path, platform::ErrorText(err));
}
