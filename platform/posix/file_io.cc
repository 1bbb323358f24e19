#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/interrupt.h"
#include "platform/path_anchor.h"
#include "platform/program.h"

namespace platform {
namespace {

bool Fail(FileFailure* failure, const char* what, int err) {
  failure->what = what;
  failure->reason = std::strerror(err);
  return false;
}

bool Fail(FileFailure* failure, const char* what, const char* reason) {
  failure->what = what;
  failure->reason = reason;
  return false;
}

// Looks at the entry itself, without following a link, so that links, FIFOs, sockets and
// devices are refused before anything opens them.
bool CheckRegular(const ParentAnchor& anchor, FileFailure* failure) {
  struct stat st;
  if (fstatat(anchor.dir_fd(), anchor.name(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    return Fail(failure, "cannot read", errno);
  }
  if (S_ISLNK(st.st_mode)) {
    return Fail(failure, "left alone", "symbolic link, not followed");
  }
  if (!S_ISREG(st.st_mode)) return Fail(failure, "left alone", "not a regular file");
  return true;
}

bool ReadAll(int fd, std::string* bytes, size_t size_hint) {
  bytes->clear();
  bytes->resize(size_hint + 1);
  size_t used = 0;
  for (;;) {
    if (used == bytes->size()) bytes->resize(bytes->size() * 2);
    ssize_t got = read(fd, bytes->data() + used, bytes->size() - used);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) break;
    used += static_cast<size_t>(got);
  }
  bytes->resize(used);
  return true;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t put = write(fd, bytes.data(), bytes.size());
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(put));
  }
  return true;
}

// "<leaf>.<program>-XXXXXX.tmp", the leaf shortened where the whole would exceed a name's limit.
std::string TempName(std::string_view leaf) {
  static const char kAlphabet[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  unsigned char random[6];
  if (getrandom(random, sizeof random, 0) != sizeof random) {
    for (unsigned char& r : random) r = static_cast<unsigned char>(std::rand());
  }
  std::string suffix = std::string(".") + ProgramName() + "-";
  for (unsigned char r : random) suffix += kAlphabet[r % (sizeof kAlphabet - 1)];
  suffix += ".tmp";
  size_t room = NAME_MAX - suffix.size();
  return std::string(leaf.substr(0, room)) + suffix;
}

// Creates a new temporary file beside the target, armed for removal on interruption. The mark
// is set before the file exists, so no interruption can fall between the two unnoticed.
int CreateTemp(const ParentAnchor& anchor, std::string* temp) {
  std::string_view name = anchor.name();
  size_t leaf_start = name.rfind('/') + 1;  // 0 when the name has no directory part
  std::string_view dir = name.substr(0, leaf_start);
  std::string_view leaf = name.substr(leaf_start);
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temp = std::string(dir) + TempName(leaf);
    ArmTempCleanup(anchor.dir_fd(), temp->c_str());
    int fd = openat(anchor.dir_fd(), temp->c_str(),
                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    int err = errno;
    DisarmTempCleanup();
    if (err != EEXIST) {
      errno = err;
      return -1;
    }
  }
  return -1;
}

// Gives the new file the old one's owner and permission bits. A failed change of owner is not
// an error (only the superuser may give files away); the permission bits must be kept.
bool CopyAttributes(int fd, const struct stat& original) {
  if (original.st_uid != geteuid() || original.st_gid != getegid()) {
    if (fchown(fd, original.st_uid, original.st_gid) != 0) {
      // Owner kept as it is; fall through to the permission bits.
    }
  }
  return fchmod(fd, original.st_mode & 07777) == 0;
}

}  // namespace

bool ReadRegularFile(const std::string& path, std::string* bytes, FileFailure* failure) {
  ParentAnchor anchor(path);
  if (anchor.error() != 0) return Fail(failure, "cannot read", anchor.error());
  if (!CheckRegular(anchor, failure)) return false;
  int fd = openat(anchor.dir_fd(), anchor.name(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Fail(failure, "cannot read", errno);
  struct stat st;
  bool ok = fstat(fd, &st) == 0;
  if (ok && !S_ISREG(st.st_mode)) {
    close(fd);
    return Fail(failure, "left alone", "not a regular file");
  }
  ok = ok && ReadAll(fd, bytes, static_cast<size_t>(st.st_size));
  int err = errno;
  close(fd);
  return ok || Fail(failure, "cannot read", err);
}

bool CheckWritable(const std::string& path, FileFailure* failure) {
  ParentAnchor anchor(path);
  if (anchor.error() != 0) return Fail(failure, "cannot write", anchor.error());
  int fd = openat(anchor.dir_fd(), anchor.name(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Fail(failure, "cannot write", errno);
  close(fd);
  return true;
}

bool ReplaceFile(const std::string& path, std::string_view bytes, FileFailure* failure) {
  ParentAnchor anchor(path);
  if (anchor.error() != 0) return Fail(failure, "cannot replace", anchor.error());
  struct stat original;
  if (fstatat(anchor.dir_fd(), anchor.name(), &original, AT_SYMLINK_NOFOLLOW) != 0) {
    return Fail(failure, "cannot replace", errno);
  }
  if (!S_ISREG(original.st_mode)) return Fail(failure, "left alone", "not a regular file");
  std::string temp;
  int fd = CreateTemp(anchor, &temp);
  if (fd < 0) return Fail(failure, "cannot create temporary file for", errno);
  bool ok = WriteAll(fd, bytes) && CopyAttributes(fd, original);
  int err = errno;
  if (close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && renameat(anchor.dir_fd(), temp.c_str(), anchor.dir_fd(), anchor.name()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) unlinkat(anchor.dir_fd(), temp.c_str(), 0);
  DisarmTempCleanup();
  return ok || Fail(failure, "cannot replace", err);
}

}  // namespace platform
