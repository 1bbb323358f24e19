#include "platform/posix/inode_flags.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <string>

namespace platform {

InodeFlags FlagsOf(int fd) {
  int flags = 0;
  InodeFlags result;
  if (ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) return result;
  result.immutable = (flags & FS_IMMUTABLE_FL) != 0;
  result.append_only = (flags & FS_APPEND_FL) != 0;
  return result;
}

InodeFlags FolderFlagsOf(const ParentAnchor& anchor) {
  std::string folder = anchor.folder();
  // The folder held open is the one: its descriptor was opened for reading.
  if (anchor.dir_fd() != AT_FDCWD && folder == ".") return FlagsOf(anchor.dir_fd());
  int fd = openat(anchor.dir_fd(), folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return {};
  InodeFlags flags = FlagsOf(fd);
  close(fd);
  return flags;
}

}  // namespace platform
