#include "common/reporter.h"

#include <cstdio>
#include <cstring>

#include "platform/program.h"

void CReporter::Print(std::string_view text) { platform::WriteOutput(text); }

void CReporter::FailLine(std::string_view line) {
  MarkFailed();
  platform::FlushOutput();
  std::fwrite(line.data(), 1, line.size(), stderr);
}

void CReporter::Fail(std::string_view what, std::string_view path, std::string_view reason) {
  std::string line = m_strTool;
  line.append(": ").append(what).append(" '").append(path).append("': ").append(reason);
  line += '\n';
  FailLine(line);
}

void CReporter::FailErrno(std::string_view what, std::string_view path, int err) {
  Fail(what, path, std::strerror(err));
}
