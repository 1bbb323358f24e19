#include "tests/support/child_process.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "tests/support/reachable_program.h"

extern char** environ;

namespace testsupport {
namespace {

// The command that runs every program under test, from TREETOOLS_TEST_WRAPPER (for example
// "valgrind --error-exitcode=86"), split at blanks; empty when unset.
std::vector<std::string> WrapperWords() {
  std::vector<std::string> words;
  const char* wrapper = std::getenv("TREETOOLS_TEST_WRAPPER");
  std::istringstream in(wrapper != nullptr ? wrapper : "");
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

[[noreturn]] void ExecChild(const std::string& program, const std::vector<std::string>& args,
                            const RunOptions& options, int in_fd, int out_fd, int err_fd) {
  dup2(in_fd, 0);
  dup2(out_fd, 1);
  dup2(options.error_to_output ? out_fd : err_fd, 2);
  if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(126);
  if (options.as_nobody &&
      (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) {
    _exit(125);
  }
  for (const std::string& entry : options.env) putenv(const_cast<char*>(entry.c_str()));
  // The program starts as from a terminal, even when the tests run as a background job, which
  // ignores SIGINT and SIGQUIT: a signal ignored at the start stays ignored.
  for (int sig : {SIGINT, SIGQUIT, SIGHUP, SIGTERM, SIGPIPE}) signal(sig, SIG_DFL);
  std::vector<std::string> words = WrapperWords();
  // Wine runs the Windows programs only; the Linux ones the tests call run as they are.
  bool wine = !words.empty() && words[0].ends_with("wine");
  if (wine && !IsWindowsProgram(program)) words.clear();
  words.push_back(program);
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  execvp(argv[0], argv.data());
  _exit(127);
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const RunOptions& options)
    : files_(IsWindowsProgram(program)) {
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe failed";
    return;
  }
  if (files_) {
    close(out[0]);
    close(out[1]);
    close(err[0]);
    close(err[1]);
    out[0] = out[1] = memfd_create("stdout", MFD_CLOEXEC);
    err[0] = err[1] = memfd_create("stderr", MFD_CLOEXEC);
    if (out[0] < 0 || err[0] < 0) ADD_FAILURE() << "memfd_create failed";
  }
  // User 65534 may not reach the build where it stands; a copy it can reach runs instead.
  std::string runnable = options.as_nobody ? ReachableCopy(program) : program;
  if (runnable.empty()) runnable = program;
  pid_ = fork();
  if (pid_ == 0) ExecChild(runnable, args, options, in[0], out[1], err[1]);
  close(in[0]);
  if (!files_) {
    close(out[1]);
    close(err[1]);
  }
  // Small inputs fit the pipe's buffer, so writing them before reading cannot deadlock.
  if (!options.stdin_data.empty() &&
      write(in[1], options.stdin_data.data(), options.stdin_data.size()) < 0) {
    ADD_FAILURE() << "cannot write the child's input";
  }
  close(in[1]);
  out_fd_ = out[0];
  err_fd_ = err[0];
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    Wait();
  }
}

bool ChildProcess::Pump(int timeout_ms) {
  pollfd fds[2] = {{out_fd_, POLLIN, 0}, {err_fd_, POLLIN, 0}};
  int n = poll(fds, 2, timeout_ms);
  if (n < 0) return errno == EINTR;
  if (n == 0) return true;
  std::string* sinks[2] = {&result_.out, &result_.err};
  int* fd_slots[2] = {&out_fd_, &err_fd_};
  for (int i = 0; i < 2; ++i) {
    if (fds[i].fd < 0 || fds[i].revents == 0) continue;
    char buffer[65536];
    ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
    if (got > 0) {
      sinks[i]->append(buffer, static_cast<size_t>(got));
    } else {
      close(*fd_slots[i]);
      *fd_slots[i] = -1;
    }
  }
  return out_fd_ >= 0 || err_fd_ >= 0;
}

void ChildProcess::ReadUntil(size_t bytes) {
  ReadUntil([&] { return result_.out.size() >= bytes; });
}

void ChildProcess::ReadUntilFound(std::string_view text) {
  ReadUntil([&] { return result_.out.find(text) != std::string::npos; });
}

void ChildProcess::ReadUntil(const std::function<bool()>& enough) {
  if (!files_) {
    while (!enough() && Pump(-1)) {
    }
    return;
  }
  // A file gives no notice of new data: look again every few milliseconds.
  for (;;) {
    ReadFiles();
    if (enough()) return;
    siginfo_t info = {};
    if (waitid(P_PID, pid_, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid != 0) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// Reads what the files hold beyond what has been read already.
void ChildProcess::ReadFiles() {
  std::string* sinks[2] = {&result_.out, &result_.err};
  int fds[2] = {out_fd_, err_fd_};
  for (int i = 0; i < 2; ++i) {
    char buffer[65536];
    ssize_t got;
    while ((got = pread(fds[i], buffer, sizeof buffer, static_cast<off_t>(sinks[i]->size()))) > 0) {
      sinks[i]->append(buffer, static_cast<size_t>(got));
    }
  }
}

void ChildProcess::Signal(int sig) {
  if (pid_ > 0) kill(pid_, sig);
}

namespace {

// True while `sig` is pending for the process `pid` as a whole. A process that has ended takes
// no more signals, though its last pending ones may still show.
bool SignalPending(pid_t pid, int sig) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("State:")) {
      if (line.find("zombie") != std::string::npos || line.find("dead") != std::string::npos) {
        return false;
      }
    }
    if (line.rfind("ShdPnd:", 0) != 0) continue;
    unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
    return (mask >> (sig - 1)) & 1;
  }
  return false;  // ended
}

}  // namespace

void ChildProcess::SignalAndWaitTaken(int sig) {
  Signal(sig);
  while (pid_ > 0 && SignalPending(pid_, sig)) {
    timespec pause = {0, 100000};
    nanosleep(&pause, nullptr);
  }
}

RunResult ChildProcess::Wait() {
  while (!files_ && Pump(-1)) {
  }
  if (pid_ > 0) {
    int status = 0;
    rusage usage{};
    wait4(pid_, &status, 0, &usage);
    result_.peak_kb = usage.ru_maxrss;
    pid_ = -1;
    if (WIFEXITED(status)) result_.exit_code = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result_.signal = WTERMSIG(status);
  }
  if (files_ && out_fd_ >= 0) {
    result_.out.clear();
    result_.err.clear();
    ReadFiles();
    close(out_fd_);
    close(err_fd_);
    out_fd_ = err_fd_ = -1;
    result_.out = FromWindowsOutput(result_.out);
    result_.err = FromWindowsOutput(result_.err);
  }
  return result_;
}

RunResult Run(const std::string& program, const std::vector<std::string>& args,
              const RunOptions& options) {
  return ChildProcess(program, args, options).Wait();
}

std::vector<std::string> ShellArgs(const std::string& setup, const std::string& program,
                                   const std::vector<std::string>& args,
                                   const std::string& redirect) {
  std::vector<std::string> shell = {"-c", setup + "\nexec \"$0\" \"$@\" " + redirect, program};
  shell.insert(shell.end(), args.begin(), args.end());
  return shell;
}

bool IsWindowsProgram(const std::string& program) {
  return program.size() > 4 && program.compare(program.size() - 4, 4, ".exe") == 0;
}

bool EndedByInterrupt(const RunResult& result, const std::string& program) {
  if (IsWindowsProgram(program)) return result.exit_code == (0xC000013A & 0xFF);
  return result.signal == SIGINT;
}

std::string FromWindowsOutput(std::string_view text) {
  std::string out;
  bool in_path = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (c == '\n' && (i == 0 || text[i - 1] != '\r')) out += "[LF without CR]";
    if (text.substr(i, 3) == "Z:\\") {
      in_path = true;
      i += 2;
      c = '/';
    } else if (in_path && c == '\\') {
      c = '/';
    } else if (c == '\'' || c == '\n') {
      in_path = false;
    }
    out += c;
  }
  return out;
}

}  // namespace testsupport
