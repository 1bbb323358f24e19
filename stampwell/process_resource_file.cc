#include <cctype>
#include <mutex>
#include <optional>

#include "common/path_util.h"
#include "platform/file_io.h"
#include "platform/program.h"
#include "platform/temp_names.h"
#include "stampwell/resource_script.h"
#include "stampwell/stampwell.h"
#include "stampwell/version_macros.h"
#include "stampwell/version_resources.h"

namespace {

// A script takes about twice its size in memory while it is stamped. Scripts this large are
// stamped one at a time, whatever the number of workers; smaller ones go on beside them.
constexpr unsigned long long kVeryLargeScript = 16ull << 20;
std::mutex g_veryLargeScriptTurn;

// Names each version resource of the script that the line rules stamp only in part or not at
// all; a warning, as the script itself was processed as asked.
void WarnHalfStamped(const std::string& path, std::string_view bytes, CReporter& reporter) {
  for (const ResourceWarning& warning :
       FindHalfStampedResources(bytes, g_strProductVersion, g_strFileVersion, g_bStampMacros))
    reporter.Warn(warning.what, path, warning.reason);
}

bool Stamp(const platform::FileRef& file, CReporter& reporter) {
  const std::string& path = file.path;
  std::string bytes;
  platform::FileIdentity read;
  platform::FileFailure failure;
  if (!platform::ReadRegularFile(file, &bytes, &read, &failure) ||
      !platform::CheckWritable(file, &failure)) {
    reporter.Fail(failure.what, path, failure.reason);
    return false;
  }
  std::string rewritten, reason;
  if (!RewriteScript(bytes, g_strProductVersion, g_strFileVersion, &rewritten, &reason)) {
    reporter.Fail("left alone", path, reason);
    return false;
  }
  std::optional<CVersionMacros> macros;
  if (g_bStampMacros) {
    macros.emplace(path, bytes, g_strProductVersion, g_strFileVersion, reporter);
    if (!macros->ScriptEdits().empty())
      RewriteScript(bytes, g_strProductVersion, g_strFileVersion, &rewritten, &reason,
                    &macros->ScriptEdits());
  }
  const bool written = rewritten == bytes || platform::ReplaceFile(file, rewritten, read, &failure);
  if (!written) reporter.Fail(failure.what, path, failure.reason);
  std::string().swap(rewritten);  // the check needs the text as read only
  if (macros) macros->StampHeaders(false);
  if (written) WarnHalfStamped(path, bytes, reporter);
  return written;
}

bool Preview(const platform::FileRef& file, CReporter& reporter) {
  const std::string& path = file.path;
  std::string bytes, rewritten, reason;
  platform::FileIdentity read;
  platform::FileFailure failure;
  // A script the real run would refuse is reported as that run would report it, in its order:
  // the file is checked before its text, the folder only when there is something to write.
  if (!platform::ReadRegularFile(file, &bytes, &read, &failure) ||
      !platform::PredictWritable(file, &failure)) {
    reporter.Fail(failure.what, path, failure.reason);
    return false;
  }
  if (!RewriteScript(bytes, g_strProductVersion, g_strFileVersion, &rewritten, &reason)) {
    reporter.Fail("left alone", path, reason);
    return false;
  }
  std::optional<CVersionMacros> macros;
  const LineEdits* edits = nullptr;
  if (g_bStampMacros) {
    macros.emplace(path, bytes, g_strProductVersion, g_strFileVersion, reporter);
    edits = &macros->ScriptEdits();
    if (!edits->empty())
      RewriteScript(bytes, g_strProductVersion, g_strFileVersion, &rewritten, &reason, edits);
  }
  const bool rewrites = rewritten != bytes;
  std::string().swap(rewritten);  // the listing needs the text as read only
  if (rewrites && !platform::PredictReplaceable(file, &failure)) {
    reporter.Fail(failure.what, path, failure.reason);
    if (macros) macros->StampHeaders(true);
    return false;
  }
  // Each change goes out as it is found: the listing of a large script is larger than it.
  bool listed = false;
  ForEachScriptChange(
      bytes, g_strProductVersion, g_strFileVersion,
      [&](const LineChange& change) {
        reporter.Print("  - " + change.before + "\n  + " + change.after + "\n");
        listed = true;
      },
      edits);
  // A script is written with CR LF line breaks throughout; that alone is a change too.
  if (rewrites && !listed) reporter.Print("  line breaks become CR LF\n");
  if (macros) macros->StampHeaders(true);
  WarnHalfStamped(path, bytes, reporter);
  return true;
}

// Runs `work` on the script `file`, very large scripts one at a time.
int InTurn(const platform::FileRef& file, CReporter& reporter,
           bool (*work)(const platform::FileRef&, CReporter&)) {
  const std::string& path = file.path;
  platform::FileIdentity found;
  platform::FileFailure failure;
  if (!platform::InspectRegularFile(file, &found, &failure)) {
    reporter.Fail(failure.what, path, failure.reason);
    return 0;
  }
  std::unique_lock turn(g_veryLargeScriptTurn, std::defer_lock);
  if (found.size >= kVeryLargeScript) {
    // Never wait for an earlier script's macros while holding what that script may wait for.
    if (g_bStampMacros) WaitForMacroTurn();
    turn.lock();
  }
  return work(file, reporter) ? 1 : 0;
}

}  // namespace

int ProcessResourceFile(const platform::FileRef& file, CReporter& reporter) {
  return InTurn(file, reporter, Stamp);
}

int PreviewResourceFile(const platform::FileRef& file, CReporter& reporter) {
  return InTurn(file, reporter, Preview);
}

// Projects keep their version resource in an ".rc2" file that the resource editor leaves alone
// and the ".rc" includes; those are stamped only on request, so a run without it stays as it was.
bool IsResourceScript(std::string_view path) {
  std::string_view extension = FindExtension(path);
  return EqualsIgnoreCase(extension, ".rc") || (g_bStampRc2 && EqualsIgnoreCase(extension, ".rc2"));
}

namespace {

// The name of the script whose temporary file or backup `name` is
// ("<script>.<program>-XXXXXX.tmp" or ".bak"), or empty when it is none.
std::string_view LeftoverOf(std::string_view name, bool* backup) {
  std::string infix = std::string(".") + platform::ProgramName() + "-";
  constexpr size_t kTail = 6 + 4;  // "XXXXXX.tmp"
  if (name.size() < infix.size() + kTail) return {};
  std::string_view tail = name.substr(name.size() - kTail);
  *backup = tail.ends_with(".bak");
  if (!*backup && !tail.ends_with(".tmp")) return {};
  for (char c : tail.substr(0, 6)) {
    if (!std::isalnum(static_cast<unsigned char>(c))) return {};
  }
  std::string_view head = name.substr(0, name.size() - kTail);
  if (!head.ends_with(infix)) return {};
  return head.substr(0, head.size() - infix.size());
}

bool ReportLeftover(const platform::FileRef& file, CReporter& reporter) {
  bool backup = false;
  std::string_view script = LeftoverOf(file.name(), &backup);
  if (script.empty() || platform::IsOwnTempName(file.name())) return false;
  std::string sibling = file.path.substr(0, file.path.size() - file.name().size());
  sibling += script;
  platform::FileIdentity found;
  platform::FileFailure failure;
  const char* text = backup ? "old" : "new";
  if (platform::InspectRegularFile(platform::FileRef(file.folder, sibling), &found, &failure)) {
    reporter.Warn("left behind by a run that was stopped", file.path,
                  "'" + sibling + "' beside it is whole; delete this file");
  } else {
    reporter.Warn("left behind by a run that was stopped", file.path,
                  std::string("it holds the ") + text + " text of '" + sibling +
                      "', which is missing; rename it to that name");
  }
  return true;
}

}  // namespace

bool IsLeftover(std::string_view name) {
  bool backup = false;
  // One this run is writing at this moment is no leftover.
  return !LeftoverOf(name, &backup).empty() && !platform::IsOwnTempName(name);
}

void StampFile(const platform::FileRef& file, CReporter& reporter) {
  if (ReportLeftover(file, reporter)) return;
  const std::string& path = file.path;
  if (!IsResourceScript(path)) return;
  if (g_bDryRun) {
    reporter.Print("Would stamp file '" + path + "'\n");
    PreviewResourceFile(file, reporter);
    return;
  }
  reporter.Print("Resource File '" + path + "' done\n");
  ProcessResourceFile(file, reporter);
}
