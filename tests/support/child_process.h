// Running a tool as a child process, the way a user would, and capturing what it prints.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace testsupport {

struct RunOptions {
  std::string cwd;                // working directory of the child
  std::vector<std::string> env;   // extra "NAME=value" entries
  bool as_nobody = false;         // drop root privileges to user and group 65534
  std::string stdin_data;         // written to the child's standard input, then closed
};

struct RunResult {
  std::string out;
  std::string err;
  int exit_code = -1;  // -1 when ended by a signal
  int signal = 0;
  long peak_kb = 0;  // the child's largest resident set, in kilobytes
};

// Runs `program` with `args`. When the environment variable TREETOOLS_TEST_WRAPPER is set
// (for example to "valgrind --error-exitcode=86"), the program runs under that command.
class ChildProcess {
 public:
  ChildProcess(const std::string& program, const std::vector<std::string>& args,
               const RunOptions& options);
  ~ChildProcess();

  // Reads output until standard output holds at least `bytes` bytes or the child ends.
  void ReadUntil(size_t bytes);
  void Signal(int sig);
  // Sends `sig` and waits until the child has taken it (it is no longer pending), so that a
  // second one cannot merge with it.
  void SignalAndWaitTaken(int sig);
  RunResult Wait();

 private:
  bool Pump(int timeout_ms);
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

// True when the tests run as root and may drop privileges to test refused access.
bool CanDropPrivileges();

}  // namespace testsupport
