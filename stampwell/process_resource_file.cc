#include "common/path_util.h"
#include "platform/file_io.h"
#include "stampwell/resource_script.h"
#include "stampwell/stampwell.h"

int ProcessResourceFile(const std::string& path, CReporter& reporter) {
  std::string bytes;
  platform::FileFailure failure;
  if (!platform::ReadRegularFile(path, &bytes, &failure) ||
      !platform::CheckWritable(path, &failure)) {
    reporter.Fail(failure.what, path, failure.reason);
    return 0;
  }
  // The script's lines. Not a thread_local: with MinGW-w64 its destructor can run on storage
  // the thread has already released, which crashes the thread's exit.
  std::vector<std::string> lines;
  std::string rewritten, reason;
  if (!RewriteScript(bytes, g_strProductVersion, g_strFileVersion, lines, &rewritten, &reason)) {
    reporter.Fail("left alone", path, reason);
    return 0;
  }
  if (rewritten != bytes && !platform::ReplaceFile(path, rewritten, &failure)) {
    reporter.Fail(failure.what, path, failure.reason);
    return 0;
  }
  return 1;
}

bool IsResourceScript(std::string_view path) {
  return EqualsIgnoreCase(FindExtension(path), ".rc");
}

void StampFile(const std::string& path, CReporter& reporter) {
  if (!IsResourceScript(path)) return;
  reporter.Print("Resource File '" + path + "' done\n");
  ProcessResourceFile(path, reporter);
}
