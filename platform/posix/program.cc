#include "platform/program.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "platform/interrupt.h"

namespace platform {
namespace {

const char* g_programName = "treetools";

// A closed standard stream would let the first file the tool opens take its number, and
// progress lines would then be written into that file.
bool EnsureStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1) continue;
    int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened != fd) return false;
  }
  return true;
}

}  // namespace

bool InitProgram() { return EnsureStandardStreams() && InstallInterruptHandlers(); }

const char* ProgramName() { return g_programName; }

int RunProgram(const char* tool, int argc, char** argv, const std::function<bool()>& init,
               const std::function<int(int, char**)>& body) {
  g_programName = tool;
  if (!init()) {
    std::cerr << "Fatal Error: MFC initialization failed" << std::endl;
    return 1;
  }
  int code = body(argc, argv);
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "%s: cannot write standard output: %s\n", tool, std::strerror(errno));
    code = 1;
  }
  return code;
}

}  // namespace platform
