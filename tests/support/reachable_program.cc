#include "tests/support/reachable_program.h"

#include <grp.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <system_error>

namespace fs = std::filesystem;

namespace testsupport {
namespace {

constexpr uid_t kNobody = 65534;

// Whether user 65534 may execute `program` (or enter the folder), as a child process that has
// become that user finds.
bool NobodyCanRun(const std::string& program) {
  pid_t pid = fork();
  if (pid == 0) {
    bool dropped = setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0;
    _exit(dropped && access(program.c_str(), X_OK) == 0 ? 0 : 1);
  }
  int status = 0;
  return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

// A folder in the temporary directory that every user may enter, removed at the process's end.
class OpenFolder {
 public:
  OpenFolder() {
    std::string base = fs::temp_directory_path() / "treetools-programs-XXXXXX";
    if (mkdtemp(base.data()) != nullptr) path_ = base;
    if (!path_.empty() && chmod(path_.c_str(), 0755) != 0) Remove();
  }
  ~OpenFolder() { Remove(); }
  const std::string& path() const { return path_; }

 private:
  void Remove() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
    path_.clear();
  }
  std::string path_;
};

// A copy of `program`, executable by every user, in the open folder; empty when none was made.
std::string CopyToOpenFolder(const std::string& program) {
  static OpenFolder folder;
  if (folder.path().empty()) return "";
  std::string copy = folder.path() + "/" + fs::path(program).filename().string();
  std::error_code error;
  fs::copy_file(program, copy, fs::copy_options::overwrite_existing, error);
  if (error || chmod(copy.c_str(), 0755) != 0) return "";
  return copy;
}

std::string FindReachable(const std::string& program, std::string* why) {
  if (geteuid() != 0) {
    *why = "needs root to run as another user";
    return "";
  }
  // The trees the tests hand to that user stand in the temporary directory too.
  const std::string temp = fs::temp_directory_path().string();
  if (!NobodyCanRun(temp)) {
    *why = "user 65534 cannot enter the temporary directory '" + temp +
           "' (set TMPDIR to a folder every user may enter)";
    return "";
  }
  if (NobodyCanRun(program)) return program;
  std::string copy = CopyToOpenFolder(program);
  if (!copy.empty() && NobodyCanRun(copy)) return copy;
  *why = "user 65534 can run neither '" + program + "' nor a copy of it in '" + temp + "'";
  return "";
}

}  // namespace

std::string ReachableCopy(const std::string& program, std::string* why) {
  static std::map<std::string, std::pair<std::string, std::string>> found;  // path, why not
  auto [entry, fresh] = found.try_emplace(program);
  if (fresh) entry->second.first = FindReachable(program, &entry->second.second);
  if (why != nullptr) *why = entry->second.second;
  return entry->second.first;
}

}  // namespace testsupport
