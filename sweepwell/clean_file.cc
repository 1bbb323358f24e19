#include "common/path_util.h"
#include "sweepwell/sweepwell.h"

int g_bRemoveExeFiles = 0;
int g_bDeletePermanently = 0;
int g_bDryRun = 0;

namespace {

const char* const kByProducts[] = {".idb", ".ilk", ".obj", ".pdb", ".res", ".pch", ".aps",
                                   ".ncb", ".plg", ".pcc", ".exp", ".sbr", ".log", ".tmp"};
const char* const kExeFiles[] = {".exe", ".lib", ".ocx", ".dll", ".tlb"};

template <size_t N>
bool IsListed(std::string_view extension, const char* const (&list)[N]) {
  for (const char* entry : list) {
    if (EqualsIgnoreCase(extension, entry)) return true;
  }
  return false;
}

}  // namespace

bool IsByProduct(std::string_view path) {
  std::string_view extension = FindExtension(path);
  return IsListed(extension, kByProducts) || (g_bRemoveExeFiles && IsListed(extension, kExeFiles));
}

void CleanFile(const std::string& path, CRemover& remover, CReporter& reporter) {
  if (!IsByProduct(path) || remover.Protects(path)) return;
  if (g_bDryRun) {
    reporter.Print("Would delete file '" + path + "'\n");
    return;
  }
  reporter.Print("Deleting file '" + path + "' done\n");
  platform::FileFailure failure;
  if (!remover.Remove(path, &failure)) reporter.Fail(failure.what, path, failure.reason);
}
