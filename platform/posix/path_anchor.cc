#include "platform/path_anchor.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <climits>
#include <string_view>

namespace platform {
namespace {

constexpr size_t kChunk = PATH_MAX - 256;

// Opens `rest`, a relative path of any length, below the directory `fd` (which it closes),
// in chunks that each fit the limit.
int OpenInChunks(int fd, std::string_view rest, int* err) {
  while (fd >= 0 && !rest.empty()) {
    size_t end = rest.size();
    if (end > kChunk) {
      end = rest.rfind('/', kChunk);
      if (end == std::string_view::npos || end == 0) {
        close(fd);
        *err = ENAMETOOLONG;
        return -1;
      }
    }
    std::string chunk(rest.substr(0, end));
    int next = openat(fd, chunk.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    int saved = errno;
    close(fd);
    errno = saved;
    fd = next;
    rest.remove_prefix(std::min(end + 1, rest.size()));
  }
  if (fd < 0) *err = errno;
  return fd;
}

// The last long directory opened, kept open: a walk goes down one level at a time and works
// on many files of one directory, so most long paths continue the previous one and cost one
// step instead of a descent from the root.
struct LongDirCache {
  std::string dir;
  int fd = -1;
  ~LongDirCache() {
    if (fd >= 0) close(fd);
  }
};
thread_local LongDirCache t_cache;

// Opens the directory `dir` (absolute, longer than the system's limit); the descriptor
// belongs to the cache.
int OpenLongDirectory(const std::string& dir, int* err) {
  std::string_view rest = dir;
  int start = -1;
  if (t_cache.fd >= 0 && dir.starts_with(t_cache.dir) &&
      (dir.size() == t_cache.dir.size() || dir[t_cache.dir.size()] == '/')) {
    if (dir.size() == t_cache.dir.size()) return t_cache.fd;
    start = fcntl(t_cache.fd, F_DUPFD_CLOEXEC, 0);
    rest.remove_prefix(t_cache.dir.size() + 1);
  } else {
    start = open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    rest.remove_prefix(1);
  }
  if (start < 0) {
    *err = errno;
    return -1;
  }
  int fd = OpenInChunks(start, rest, err);
  if (fd < 0) return -1;
  if (t_cache.fd >= 0) close(t_cache.fd);
  t_cache.dir = dir;
  t_cache.fd = fd;
  return fd;
}

}  // namespace

ParentAnchor::ParentAnchor(const std::string& path) : dir_fd_(AT_FDCWD), name_(path.c_str()) {
  AnchorLong(path);
}

void ParentAnchor::AnchorLong(const std::string& path) {
  if (path.size() < PATH_MAX - 1 || path.empty() || path[0] != '/') return;
  size_t slash = path.rfind('/');
  leaf_ = path.substr(slash + 1);
  name_ = leaf_.c_str();
  dir_fd_ = OpenLongDirectory(path.substr(0, slash), &error_);
}

ParentAnchor::ParentAnchor(const FileRef& file) : dir_fd_(AT_FDCWD), name_(file.path.c_str()) {
  if (file.folder == nullptr) {
    AnchorLong(file.path);
    return;
  }
  dir_fd_ = static_cast<int>(file.folder->native());
  leaf_ = file.name();
  name_ = leaf_.c_str();
}

ParentAnchor::~ParentAnchor() = default;

std::string ParentAnchor::folder() const {
  std::string_view name = name_;
  size_t slash = name.rfind('/');
  if (slash == std::string_view::npos) return ".";
  return slash == 0 ? "/" : std::string(name.substr(0, slash));
}

}  // namespace platform
