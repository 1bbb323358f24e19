// Predicting a refused write from the mode bits, the user's permissions and what else the system
// keeps beside them, for a dry run that must not open anything for writing.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <utility>

#include "platform/error_text.h"
#include "platform/file_io.h"
#include "platform/path_anchor.h"
#include "platform/posix/inode_flags.h"

namespace platform {
namespace {

bool Fail(FileFailure* failure, const char* what, std::string reason) {
  *failure = {what, std::move(reason)};
  return false;
}

// True when a running program was started from the file `st` describes: the system refuses to
// open such a file for writing.
bool IsRunningProgram(const struct stat& st) {
  if ((st.st_mode & 0111) == 0) return false;  // never started, so never running
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return false;
  bool running = false;
  while (const dirent* entry = readdir(proc)) {
    if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
    struct stat exe;
    std::string link = std::string("/proc/") + entry->d_name + "/exe";
    if (stat(link.c_str(), &exe) == 0 && exe.st_dev == st.st_dev && exe.st_ino == st.st_ino) {
      running = true;
      break;
    }
  }
  closedir(proc);
  return running;
}

// Attributes only a privileged process may set: a copy made without that privilege fails.
bool HasPrivilegedAttribute(int fd) {
  return geteuid() != 0 && fgetxattr(fd, "security.capability", nullptr, 0) >= 0;
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
  int fd = openat(anchor.dir_fd(), anchor.name(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) {
    InodeFlags flags = FlagsOf(fd);
    close(fd);
    if (flags.immutable || flags.append_only) return Fail(failure, "cannot write", ErrorText(EPERM));
  }
  if (IsRunningProgram(st)) return Fail(failure, "cannot write", ErrorText(ETXTBSY));
  return true;
}

bool PredictReplaceable(const FileRef& file, FileFailure* failure) {
  if (!PredictWritable(file, failure)) return false;
  ParentAnchor anchor(file);
  if (anchor.error() != 0) {
    return Fail(failure, "cannot create temporary file for", ErrorText(anchor.error()));
  }
  std::string folder = anchor.folder();
  struct stat dir, st;
  if (faccessat(anchor.dir_fd(), folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0 ||
      fstatat(anchor.dir_fd(), folder.c_str(), &dir, 0) != 0 ||
      fstatat(anchor.dir_fd(), anchor.name(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    return Fail(failure, "cannot create temporary file for", ErrorText(errno));
  }
  InodeFlags flags = FolderFlagsOf(anchor);
  if (flags.immutable) return Fail(failure, "cannot create temporary file for", ErrorText(EPERM));
  if (flags.append_only) return Fail(failure, "cannot replace", ErrorText(EPERM));
  int fd = openat(anchor.dir_fd(), anchor.name(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  bool privileged = fd >= 0 && HasPrivilegedAttribute(fd);
  if (fd >= 0) close(fd);
  if (privileged) {
    return Fail(failure, "cannot replace",
                "cannot keep extended attribute 'security.capability': " + ErrorText(EPERM));
  }
  // In a sticky folder only the owner of a file or of the folder may rename over it.
  uid_t user = geteuid();
  if ((dir.st_mode & S_ISVTX) && user != 0 && st.st_uid != user && dir.st_uid != user) {
    return Fail(failure, "cannot replace", ErrorText(EPERM));
  }
  return true;
}

}  // namespace platform
