#include "platform/path_anchor.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace platform {
namespace {

constexpr size_t kChunk = PATH_MAX - 256;

// Opens the directory `dir` (absolute, longer than the system's limit) by walking down from
// the root in chunks that each fit the limit.
int OpenLongDirectory(const std::string& dir, int* err) {
  int fd = open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
  size_t pos = 1;
  while (fd >= 0 && pos < dir.size()) {
    size_t end = dir.size();
    if (end - pos > kChunk) {
      end = dir.rfind('/', pos + kChunk);
      if (end == std::string::npos || end <= pos) {
        close(fd);
        *err = ENAMETOOLONG;
        return -1;
      }
    }
    std::string chunk = dir.substr(pos, end - pos);
    int next = openat(fd, chunk.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    int saved = errno;
    close(fd);
    errno = saved;
    fd = next;
    pos = end + 1;
  }
  if (fd < 0) *err = errno;
  return fd;
}

}  // namespace

ParentAnchor::ParentAnchor(const std::string& path) : dir_fd_(AT_FDCWD), name_(path.c_str()) {
  if (path.size() < PATH_MAX - 1 || path.empty() || path[0] != '/') return;
  size_t slash = path.rfind('/');
  leaf_ = path.substr(slash + 1);
  name_ = leaf_.c_str();
  dir_fd_ = OpenLongDirectory(path.substr(0, slash), &error_);
  owns_fd_ = dir_fd_ >= 0;
}

ParentAnchor::~ParentAnchor() {
  if (owns_fd_) close(dir_fd_);
}

}  // namespace platform
