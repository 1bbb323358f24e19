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
  // The script's lines, one list per call: scripts are processed on several threads at once.
  std::vector<std::string> rcLines;
  std::string rewritten, reason;
  if (!RewriteScript(bytes, g_strProductVersion, g_strFileVersion, rcLines, &rewritten, &reason)) {
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
