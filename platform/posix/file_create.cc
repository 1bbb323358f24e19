#include "platform/file_create.h"

#include <fcntl.h>
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
      close(fd);
      return true;
    }
    err = errno;
  }
  failure->what = "cannot create or open";
  failure->reason = std::strerror(err);
  return false;
}

}  // namespace platform
