#include "common/reporter.h"

#include <cstdio>
#include <cstring>

void CReporter::Fail(std::string_view what, std::string_view path, std::string_view reason) {
  m_bFailed = true;
  std::fflush(stdout);
  std::string line = m_strTool;
  line.append(": ").append(what).append(" '").append(path).append("': ").append(reason);
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stderr);
}

void CReporter::FailErrno(std::string_view what, std::string_view path, int err) {
  Fail(what, path, std::strerror(err));
}
