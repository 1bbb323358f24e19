#include "common/path_util.h"
#include "platform/file_io.h"
#include "stampwell/resource_script.h"
#include "stampwell/stampwell.h"

thread_local std::vector<std::string> g_rcLines;

int ProcessResourceFile(const std::string& path, CReporter& reporter) {
  std::string bytes;
  platform::FileFailure failure;
  if (!platform::ReadRegularFile(path, &bytes, &failure) ||
      !platform::CheckWritable(path, &failure)) {
    reporter.Fail(failure.what, path, failure.reason);
    return 0;
  }
  std::string rewritten, reason;
  if (!RewriteScript(bytes, g_strProductVersion, g_strFileVersion, g_rcLines, &rewritten,
                     &reason)) {
    reporter.Fail("left alone", path, reason);
    return 0;
  }
  if (rewritten != bytes && !platform::ReplaceFile(path, rewritten, &failure)) {
    reporter.Fail(failure.what, path, failure.reason);
    return 0;
  }
  return 1;
}

int PreviewResourceFile(const std::string& path, CReporter& reporter) {
  std::string bytes, reason;
  platform::FileFailure failure;
  if (!platform::ReadRegularFile(path, &bytes, &failure)) {
    reporter.Fail(failure.what, path, failure.reason);
    return 0;
  }
  std::vector<LineChange> changes;
  if (!PreviewScript(bytes, g_strProductVersion, g_strFileVersion, &changes, &reason)) {
    reporter.Fail("left alone", path, reason);
    return 0;
  }
  std::string listing;
  for (const LineChange& change : changes) {
    listing += "  - " + change.before + "\n  + " + change.after + "\n";
  }
  reporter.Print(listing);
  return 1;
}

bool IsResourceScript(std::string_view path) {
  return EqualsIgnoreCase(FindExtension(path), ".rc");
}

void StampFile(const std::string& path, CReporter& reporter) {
  if (!IsResourceScript(path)) return;
  if (g_bDryRun) {
    reporter.Print("Would stamp file '" + path + "'\n");
    PreviewResourceFile(path, reporter);
    return;
  }
  reporter.Print("Resource File '" + path + "' done\n");
  ProcessResourceFile(path, reporter);
}
