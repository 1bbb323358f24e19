#include "platform/file_remove.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/path_anchor.h"

namespace platform {

bool RemoveFile(const FileRef& file, FileFailure* failure) {
  ParentAnchor anchor(file);
  int err = anchor.error();
  if (err == 0 && unlinkat(anchor.dir_fd(), anchor.name(), 0) == 0) return true;
  if (err == 0) err = errno;
  failure->what = "cannot delete";
  failure->reason = std::strerror(err);
  return false;
}

}  // namespace platform
