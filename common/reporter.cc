#include "common/reporter.h"

#include "platform/error_text.h"
#include "platform/output.h"

void CReporter::Print(std::string_view text) { platform::WriteOutput(text); }

void CReporter::FailLine(std::string_view line) {
  MarkFailed();
  platform::WriteError(line);
}

void CReporter::Fail(std::string_view what, std::string_view path, std::string_view reason) {
  std::string line = m_strTool;
  line.append(": ").append(what).append(" '").append(path).append("': ").append(reason);
  line += '\n';
  FailLine(line);
}

void CReporter::FailErrno(std::string_view what, std::string_view path, int err) {
  Fail(what, path, platform::ErrorText(err));
}
