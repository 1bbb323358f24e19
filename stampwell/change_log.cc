#include "stampwell/change_log.h"

#include "platform/clock.h"
#include "platform/file_create.h"
#include "platform/file_io.h"
#include "platform/output.h"
#include "platform/path_separator.h"
#include "stampwell/line_file.h"

namespace {

constexpr size_t kRuleLength = 79;

std::string HeaderLine(const ChangeLogEntry& entry) {
  return entry.date + " - v. " + entry.productVersion + "  build " + entry.fileVersion;
}

}  // namespace

std::string FormatLogDate(std::time_t moment) {
  // The program never sets LC_TIME, so %b gives the C locale's month names.
  std::tm fields{};
  int err = 0;
  char text[64];
  if (!platform::LocalCalendar(moment, &fields, &err) ||
      std::strftime(text, sizeof text, "%d-%b-%Y", &fields) == 0) {
    return "";
  }
  return text;
}

std::string ChangeLogPath(const std::string& workDir) {
  std::string path = workDir;
  if (path.empty() || path.back() != platform::kPathSeparator) path += platform::kPathSeparator;
  return path + "Version.txt";
}

bool WriteChangeLog(const std::string& log_path, const ChangeLogEntry& entry, CReporter& reporter) {
  // A log that is a link (to a log shared by several trees, say) is kept where it leads.
  const std::string path = platform::FollowFileLinks(log_path);
  platform::FileFailure failure;
  if (platform::EnsureFileExists(path, &failure)) {
    CLineFile log(path, 1);
    log.InsertLine(0, std::string(kRuleLength, '-'));
    log.InsertLine(1, HeaderLine(entry));
    log.InsertLine(2, "");
    log.InsertText(3, entry.comment);
    if (log.Save() == 1) return true;
    failure = log.LastFailure();
  }
  // Whatever kept the entry out (the log or its folder read-only, no room for a temporary file,
  // bytes no encoding holds), the user sees the same line, and the reason on standard error.
  platform::WriteOutput("Error creating version.txt file!\n");
  reporter.Fail(failure.what, path, failure.reason);
  return false;
}
