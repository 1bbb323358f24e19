// Failure messages on standard error, and whether the run has met any.
#pragma once

#include <string>
#include <string_view>

// Writes one line per failure, "<tool>: <what> '<path>': <reason>", after flushing standard
// output so that a combined stream keeps its order, and remembers that the run failed.
class CReporter {
 public:
  explicit CReporter(std::string tool) : m_strTool(std::move(tool)) {}
  virtual ~CReporter() = default;

  void Fail(std::string_view what, std::string_view path, std::string_view reason);
  void FailErrno(std::string_view what, std::string_view path, int err);
  bool Failed() const { return m_bFailed; }

 private:
  std::string m_strTool;
  bool m_bFailed = false;
};
