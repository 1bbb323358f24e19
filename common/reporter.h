// The run's output: progress lines on standard output, failure messages on standard error, and
// whether the run has met any failure.
#pragma once

#include <string>
#include <string_view>

// Writes one line per failure, "<tool>: <what> '<path>': <reason>", after flushing standard
// output so that a combined stream keeps its order, and remembers that the run failed.
class CReporter {
 public:
  explicit CReporter(std::string tool) : m_strTool(std::move(tool)) {}
  virtual ~CReporter() = default;

  // Writes `text` to standard output.
  virtual void Print(std::string_view text);
  // Writes a whole failure line (as Fail makes them) and marks the run failed.
  virtual void FailLine(std::string_view line);
  // Writes a whole line of the same form to standard error, without marking the run failed:
  // something the user should know of that is no failure of this run.
  virtual void WarnLine(std::string_view line);

  void Fail(std::string_view what, std::string_view path, std::string_view reason);
  void FailErrno(std::string_view what, std::string_view path, int err);
  void Warn(std::string_view what, std::string_view path, std::string_view reason);
  bool Failed() const { return m_bFailed; }
  const std::string& Tool() const { return m_strTool; }

 protected:
  void MarkFailed() { m_bFailed = true; }

 private:
  std::string m_strTool;
  bool m_bFailed = false;
};
