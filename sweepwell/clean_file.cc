#include "common/path_util.h"
#include "sweepwell/sweepwell.h"

int g_bRemoveExeFiles = 0;
int g_bRemoveVsFiles = 0;
int g_bDeletePermanently = 0;
int g_bDryRun = 0;

namespace {

const char* const kByProducts[] = {".idb", ".ilk", ".obj", ".pdb", ".res", ".pch", ".aps",
                                   ".ncb", ".plg", ".pcc", ".exp", ".sbr", ".log", ".tmp"};
const char* const kExeFiles[] = {".exe", ".lib", ".ocx", ".dll", ".tlb"};
// What current Visual Studio builds and regenerates: link-time code generation's ".iobj" and
// ".ipdb", the build tracker's logs and state, ".recipe" files, browse information, and the
// IntelliSense databases and precompiled headers. Profile-guided optimisation data (".pgc",
// ".pgd") is the result of training runs and stays.
const char* const kVsFiles[] = {
    ".iobj", ".ipdb", ".tlog", ".lastbuildstate", ".unsuccessfulbuild", ".recipe",
    ".ipch", ".bsc",  ".sdf",  ".opensdf"};
// IntelliSense databases named by their last two extensions: ".db" alone is anyone's database
// (Thumbs.db, a project's own).
const char* const kVsNameEndings[] = {".VC.db", ".VC.opendb"};

template <size_t N>
bool IsListed(std::string_view extension, const char* const (&list)[N]) {
  for (const char* entry : list) {
    if (EqualsIgnoreCase(extension, entry)) return true;
  }
  return false;
}

bool EndsWithIgnoreCase(std::string_view text, std::string_view ending) {
  return text.size() >= ending.size() &&
         EqualsIgnoreCase(text.substr(text.size() - ending.size()), ending);
}

bool IsVsFile(std::string_view path, std::string_view extension) {
  if (IsListed(extension, kVsFiles)) return true;
  for (const char* ending : kVsNameEndings) {
    if (EndsWithIgnoreCase(path, ending)) return true;
  }
  return false;
}

}  // namespace

bool IsByProduct(std::string_view path) {
  std::string_view extension = FindExtension(path);
  return IsListed(extension, kByProducts) ||
         (g_bRemoveExeFiles && IsListed(extension, kExeFiles)) ||
         (g_bRemoveVsFiles && IsVsFile(path, extension));
}

void CleanFile(const platform::FileRef& file, CRemover& remover, CReporter& reporter) {
  const std::string& path = file.path;
  if (!IsByProduct(path) || remover.Protects(file)) return;
  if (g_bDryRun) {
    reporter.Print("Would delete file '" + path + "'\n");
    return;
  }
  reporter.Print("Deleting file '" + path + "' done\n");
  platform::FileFailure failure;
  if (!remover.Remove(file, &failure)) reporter.Fail(failure.what, path, failure.reason);
}
