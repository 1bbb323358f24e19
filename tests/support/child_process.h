// Running a tool as a child process, the way a user would, and capturing what it prints.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

struct RunOptions {
  std::string cwd;               // working directory of the child
  std::vector<std::string> env;  // extra "NAME=value" entries
  bool as_nobody = false;        // drop root privileges to user and group 65534 (see
                                 // ReachableCopy)
  std::string stdin_data;        // written to the child's standard input, then closed
  bool error_to_output = false;  // standard error goes to standard output, as with 2>&1
};

struct RunResult {
  std::string out;
  std::string err;
  int exit_code = -1;  // -1 when ended by a signal
  int signal = 0;
  long peak_kb = 0;  // the child's largest resident set, in kilobytes
};

// Runs `program` with `args`. When the environment variable TREETOOLS_TEST_WRAPPER is set
// (for example to "valgrind --error-exitcode=86"), the program runs under that command; "wine"
// wraps only Windows programs.
// A Windows program (a name ending in ".exe") writes into files rather than pipes, since Wine's
// helper processes keep pipes open beyond the program's end; what it writes is given back as a
// Linux program would write it (see FromWindowsOutput).
class ChildProcess {
 public:
  ChildProcess(const std::string& program, const std::vector<std::string>& args,
               const RunOptions& options);
  ~ChildProcess();

  // Reads output until standard output holds at least `bytes` bytes or the child ends.
  void ReadUntil(size_t bytes);
  // Reads output until standard output holds `text` or the child ends.
  void ReadUntilFound(std::string_view text);
  void Signal(int sig);
  // Sends `sig` and waits until the child has taken it (it is no longer pending), so that a
  // second one cannot merge with it.
  void SignalAndWaitTaken(int sig);
  RunResult Wait();

 private:
  void ReadUntil(const std::function<bool()>& enough);
  bool Pump(int timeout_ms);
  void ReadFiles();
  bool files_ = false;  // output goes to unnamed files, not pipes
  pid_t pid_ = -1;
  int out_fd_ = -1;
  int err_fd_ = -1;
  RunResult result_;
};

RunResult Run(const std::string& program, const std::vector<std::string>& args,
              const RunOptions& options);

// The arguments for /bin/sh that run `program` with `args` after the shell commands `setup`
// (for example "trap '' HUP"), with `redirect` applied to it (for example ">&-").
std::vector<std::string> ShellArgs(const std::string& setup, const std::string& program,
                                   const std::vector<std::string>& args,
                                   const std::string& redirect = "");

// True when `program` is a Windows program, run under Wine through TREETOOLS_TEST_WRAPPER.
bool IsWindowsProgram(const std::string& program);

// Output of a Windows program as the Linux one writes it: CR LF becomes LF (a line feed without
// CR is marked, so that the test fails), and a path that Wine shows on its drive Z:
// ('Z:\tmp\x') becomes the Linux path ('/tmp/x').
std::string FromWindowsOutput(std::string_view text);

// True when the run was ended by Ctrl-C (SIGINT): a Windows program then ends with the code
// STATUS_CONTROL_C_EXIT, of which Wine passes on the low 8 bits.
bool EndedByInterrupt(const RunResult& result, const std::string& program);

// Skips the test when `program` is a Windows one, saying why the test does not apply there.
#define SKIP_FOR_WINDOWS_PROGRAM(program, why) \
  if (testsupport::IsWindowsProgram(program)) GTEST_SKIP() << "Linux only: " << why

}  // namespace testsupport
