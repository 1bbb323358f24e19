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
#include "platform/path_anchor.h"

namespace platform {
namespace {

bool Fail(FileFailure* failure, const char* what, std::string reason) {
  *failure = {what, std::move(reason)};
  return false;
}

// The folder of `path`, which may be a name alone, relative to the anchor's folder.
std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

bool PredictWritable(const FileRef& file, FileFailure* failure) {
  ParentAnchor anchor(file);
  if (anchor.error() != 0) return Fail(failure, "cannot write", ErrorText(anchor.error()));
  struct stat st;
  // The effective user is the one that opens the file in a real run.
  if (fstatat(anchor.dir_fd(), anchor.name(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
      faccessat(anchor.dir_fd(), anchor.name(), W_OK, AT_EACCESS) != 0) {
    return Fail(failure, "cannot write", ErrorText(errno));
  }
  // No write permission bit at all is refused even to the superuser, as CheckWritable does.
  if ((st.st_mode & 0222) == 0) {
    return Fail(failure, "cannot write", "read-only file, no one may write it");
  }
  return true;
}

bool PredictReplaceable(const FileRef& file, FileFailure* failure) {
  if (!PredictWritable(file, failure)) return false;
  ParentAnchor anchor(file);
  if (anchor.error() != 0) {
    return Fail(failure, "cannot create temporary file for", ErrorText(anchor.error()));
  }
  if (faccessat(anchor.dir_fd(), FolderOf(anchor.name()).c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
    return Fail(failure, "cannot create temporary file for", ErrorText(errno));
  }
  return true;
}

}  // namespace platform
