// Predicting a refused write from the mode bits and the user's permissions, for a dry run that
// must not open anything for writing.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

#include "platform/error_text.h"
#include "platform/file_io.h"

namespace platform {
namespace {

bool Fail(FileFailure* failure, const char* what, std::string reason) {
  *failure = {what, std::move(reason)};
  return false;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

bool PredictWritable(const std::string& path, FileFailure* failure) {
  struct stat st;
  // The effective user is the one that opens the file in a real run.
  if (fstatat(AT_FDCWD, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
      faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) {
    return Fail(failure, "cannot write", ErrorText(errno));
  }
  // No write permission bit at all is refused even to the superuser, as CheckWritable does.
  if ((st.st_mode & 0222) == 0) {
    return Fail(failure, "cannot write", "read-only file, no one may write it");
  }
  return true;
}

bool PredictReplaceable(const std::string& path, FileFailure* failure) {
  if (!PredictWritable(path, failure)) return false;
  if (faccessat(AT_FDCWD, FolderOf(path).c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
    return Fail(failure, "cannot create temporary file for", ErrorText(errno));
  }
  return true;
}

}  // namespace platform
