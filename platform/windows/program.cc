#include "platform/program.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <string>
#include <vector>

#include "platform/error_text.h"
#include "platform/interrupt.h"
#include "platform/output.h"
#include "platform/windows/output_error.h"
#include "platform/windows/wide.h"

namespace platform {
namespace {

const char* g_programName = "treetools";

// The arguments as the system passed them, in UTF-8: the C runtime's own argv holds them in
// the ANSI code page, where most characters cannot be written.
bool WideArguments(std::vector<std::string>* args) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return false;
  for (int i = 0; i < count; ++i) args->push_back(ToUtf8(wide[i]));
  LocalFree(wide);
  return true;
}

}  // namespace

bool InitProgram() {
  // A drive without a medium is an error for the caller, not a message box.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  return InstallInterruptHandlers();
}

const char* ProgramName() { return g_programName; }

int RunProgram(const char* tool, int /*argc*/, char** /*argv*/, const std::function<bool()>& init,
               const std::function<int(int, char**)>& body) {
  g_programName = tool;
  std::vector<std::string> args;
  if (!init() || !WideArguments(&args)) {
    WriteError("Fatal Error: MFC initialization failed\n");
    return 1;
  }
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  int code = body(static_cast<int>(args.size()), argv.data());
  if (!FlushOutput()) {
    WriteError(std::string(tool) + ": cannot write standard output: " +
               ErrorText(static_cast<int>(OutputError())) + "\n");
    code = 1;
  }
  return code;
}

}  // namespace platform
