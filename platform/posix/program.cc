#include "platform/program.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "platform/interrupt.h"
#include "platform/output.h"

namespace platform {
namespace {

const char* g_programName = "treetools";
bool g_outputClosed = false;
std::atomic<int> g_outputError{0};  // the first failed write to standard output

void NoteOutputError(int err) {
  int none = 0;
  g_outputError.compare_exchange_strong(none, err != 0 ? err : EIO);
}

// A closed standard stream would let the first file the tool opens take its number, and
// progress lines would then be written into that file. A closed standard output is also
// remembered: nothing the run reports could be seen.
bool EnsureStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1) continue;
    if (fd == 1) g_outputClosed = true;
    int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened != fd) return false;
  }
  return true;
}

void ReportOutputFailure(const char* tool, int err) {
  std::fprintf(stderr, "%s: cannot write standard output: %s\n", tool, std::strerror(err));
}

}  // namespace

bool InitProgram() { return EnsureStandardStreams() && InstallInterruptHandlers(); }

const char* ProgramName() { return g_programName; }

// Standard output lives here, beside the start-up that checks it: a failed write is
// remembered for RunProgram to report.
void WriteOutput(std::string_view text) {
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) NoteOutputError(errno);
}

void WriteError(std::string_view text) {
  FlushOutput();
  std::fwrite(text.data(), 1, text.size(), stderr);
}

bool FlushOutput() {
  if (std::fflush(stdout) == 0) return true;
  NoteOutputError(errno);
  return false;
}

int RunProgram(const char* tool, int argc, char** argv, const std::function<bool()>& init,
               const std::function<int(int, char**)>& body) {
  g_programName = tool;
  if (!init()) {
    std::cerr << "Fatal Error: MFC initialization failed" << std::endl;
    return 1;
  }
  if (g_outputClosed) {
    ReportOutputFailure(tool, EBADF);
    return 1;
  }
  int code = body(argc, argv);
  if (FlushOutput() && std::ferror(stdout)) NoteOutputError(EIO);
  if (g_outputError.load() != 0) {
    ReportOutputFailure(tool, g_outputError.load());
    code = 1;
  }
  return code;
}

}  // namespace platform
