#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/file_ref.h"
#include "platform/path_anchor.h"

namespace platform {
namespace {

// Opened for reading, so that the folder can be listed from the same descriptor.
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// The walk keeps a folder open per level and the queued work a few more, while the usual soft
// limit is 1024 descriptors: the soft limit is raised to the hard one once, and the walk keeps
// well below what remains.
size_t DescriptorRoom() {
  rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1024;
  if (limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    getrlimit(RLIMIT_NOFILE, &limit);
  }
  return limit.rlim_cur == RLIM_INFINITY ? 1 << 20 : static_cast<size_t>(limit.rlim_cur);
}

}  // namespace

FolderPtr Folder::Adopt(intptr_t native, int* err) {
  if (native < 0) {
    *err = errno;
    return nullptr;
  }
  struct stat st;
  if (fstat(static_cast<int>(native), &st) != 0) {
    *err = errno;
    close(static_cast<int>(native));
    return nullptr;
  }
  return FolderPtr(new Folder(native, st.st_dev, st.st_ino));
}

FolderPtr Folder::Open(const std::string& path, int* err) {
  ParentAnchor anchor(path);
  if (anchor.error() != 0) {
    *err = anchor.error();
    return nullptr;
  }
  return Adopt(openat(anchor.dir_fd(), anchor.name(), kFolderFlags), err);
}

FolderPtr Folder::OpenChild(std::string_view name, int* err) const {
  std::string child(name);
  return Adopt(openat(static_cast<int>(native_), child.c_str(), kFolderFlags), err);
}

FolderPtr Folder::OpenParent(int* err) const {
  return Adopt(openat(static_cast<int>(native_), "..", kFolderFlags), err);
}

size_t Folder::MaxOpenDepth() {
  static const size_t depth = std::min<size_t>(DescriptorRoom() / 4, 4096);
  return depth;
}

Folder::~Folder() { close(static_cast<int>(native_)); }

std::string_view FileRef::name() const {
  std::string_view whole = path;
  return whole.substr(whole.rfind('/') + 1);
}

}  // namespace platform
