#include "platform/file_create.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/path_anchor.h"

namespace platform {

bool EnsureFileExists(const std::string& path, FileFailure* failure) {
  ParentAnchor anchor(path);
  int err = anchor.error();
  if (err == 0) {
    int fd = openat(anchor.dir_fd(), anchor.name(),
                    O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd >= 0) {
      // Nobody may write a file without a write permission bit, the superuser included.
      struct stat st;
      err = fstat(fd, &st) != 0 ? errno : (st.st_mode & 0222) == 0 ? -1 : 0;
      close(fd);
      if (err == 0) return true;
    } else {
      err = errno;
    }
  }
  failure->what = "cannot create or open";
  failure->reason = err < 0 ? "read-only file, no one may write it" : std::strerror(err);
  return false;
}

}  // namespace platform
