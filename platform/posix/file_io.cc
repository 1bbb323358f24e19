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
#include "platform/posix/extended_attributes.h"
#include "platform/posix/inode_flags.h"
#include "platform/program.h"
#include "platform/temp_names.h"

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

FileIdentity IdentityOf(const struct stat& st) {
  FileIdentity identity;
  identity.device = st.st_dev;
  identity.inode = st.st_ino;
  identity.size = static_cast<unsigned long long>(st.st_size);
  identity.modified_ns = st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
  identity.changed_ns = st.st_ctim.tv_sec * 1000000000LL + st.st_ctim.tv_nsec;
  return identity;
}

// Looks at the entry itself, without following a link, so that links, FIFOs, sockets and
// devices are refused before anything opens them.
bool CheckRegular(const ParentAnchor& anchor, struct stat* st, FileFailure* failure) {
  if (fstatat(anchor.dir_fd(), anchor.name(), st, AT_SYMLINK_NOFOLLOW) != 0) {
    return Fail(failure, "cannot read", errno);
  }
  if (S_ISLNK(st->st_mode)) {
    return Fail(failure, "left alone", "symbolic link, not followed");
  }
  if (!S_ISREG(st->st_mode)) return Fail(failure, "left alone", "not a regular file");
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
  // A cut never splits a UTF-8 character: its continuation bytes go with it.
  if (leaf.size() > room) {
    while (room > 0 && (static_cast<unsigned char>(leaf[room]) & 0xC0) == 0x80) --room;
  }
  return std::string(leaf.substr(0, room)) + suffix;
}

// Creates a new temporary file beside the target, armed for removal on interruption.
int CreateTemp(const ParentAnchor& anchor, std::string* temp) {
  std::string_view name = anchor.name();
  size_t leaf_start = name.rfind('/') + 1;  // 0 when the name has no directory part
  std::string_view dir = name.substr(0, leaf_start);
  std::string_view leaf = name.substr(leaf_start);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = TempName(leaf);
    NoteOwnTempName(name);
    *temp = std::string(dir) + name;
    if (!ArmTempCleanup(anchor.dir_fd(), temp->c_str())) {
      errno = EINTR;  // the process is ending
      return -1;
    }
    int fd = openat(anchor.dir_fd(), temp->c_str(),
                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    int err = errno;
    TempCreated(fd >= 0);
    if (fd >= 0) return fd;
    if (err != EEXIST) {
      errno = err;
      return -1;
    }
  }
  return -1;
}

// Gives the new file the old one's owner, extended attributes and permission bits, in that
// order: a change of owner may drop attributes, and setting an access control list changes
// the permission bits. A failed change of owner is not an error (only the superuser may give
// files away; a member of the group may still keep the group); the attributes and the
// permission bits must be kept.
bool CopyAttributes(int original_fd, const struct stat& original, int fd, FileFailure* failure) {
  if (original.st_uid != geteuid() || original.st_gid != getegid()) {
    if (fchown(fd, original.st_uid, original.st_gid) != 0 &&
        fchown(fd, static_cast<uid_t>(-1), original.st_gid) != 0) {
      // Owner and group kept as they are; go on with the attributes.
    }
  }
  std::string name;
  if (!CopyExtendedAttributes(original_fd, fd, &name)) {
    int err = errno;
    return Fail(failure, "cannot replace",
                ("cannot keep extended attribute '" + name + "': " + std::strerror(err)).c_str());
  }
  return fchmod(fd, original.st_mode & 07777) == 0 || Fail(failure, "cannot replace", errno);
}

// True when the entry at the anchor is still the file `read`.
bool StillTheSame(const ParentAnchor& anchor, const FileIdentity& read) {
  struct stat st;
  return fstatat(anchor.dir_fd(), anchor.name(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISREG(st.st_mode) && IdentityOf(st) == read;
}

bool ChangedWhileStamping(FileFailure* failure) {
  return Fail(failure, "left alone", "changed while stamping");
}

// Writes `bytes` to the new file `fd` with the attributes of the original, and renames it over
// the original if that is still the file read. The new file is closed either way.
bool WriteAndRename(const ParentAnchor& anchor, int original_fd, const struct stat& original,
                    const FileIdentity& read, int fd, const std::string& temp,
                    std::string_view bytes, FileFailure* failure) {
  bool ok = WriteAll(fd, bytes) || Fail(failure, "cannot replace", errno);
  ok = ok && CopyAttributes(original_fd, original, fd, failure);
  if (close(fd) != 0 && ok) ok = Fail(failure, "cannot replace", errno);
  if (ok && !StillTheSame(anchor, read)) ok = ChangedWhileStamping(failure);
  if (ok && renameat(anchor.dir_fd(), temp.c_str(), anchor.dir_fd(), anchor.name()) != 0) {
    ok = Fail(failure, "cannot replace", errno);
  }
  return ok;
}

bool IsReadOnlyForEveryone(const struct stat& st) { return (st.st_mode & 0222) == 0; }

bool ReadOnlyForEveryone(FileFailure* failure) {
  return Fail(failure, "cannot write", "read-only file, no one may write it");
}

}  // namespace

bool InspectRegularFile(const FileRef& file, FileIdentity* identity, FileFailure* failure) {
  ParentAnchor anchor(file);
  if (anchor.error() != 0) return Fail(failure, "cannot read", anchor.error());
  struct stat st;
  if (!CheckRegular(anchor, &st, failure)) return false;
  *identity = IdentityOf(st);
  return true;
}

bool ReadRegularFile(const FileRef& file, std::string* bytes, FileIdentity* identity,
                     FileFailure* failure) {
  ParentAnchor anchor(file);
  if (anchor.error() != 0) return Fail(failure, "cannot read", anchor.error());
  struct stat st;
  if (!CheckRegular(anchor, &st, failure)) return false;
  int fd = openat(anchor.dir_fd(), anchor.name(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Fail(failure, "cannot read", errno);
  bool ok = fstat(fd, &st) == 0;
  if (ok && !S_ISREG(st.st_mode)) {
    close(fd);
    return Fail(failure, "left alone", "not a regular file");
  }
  // Taken before the reading, so that a write during it shows as a change.
  *identity = IdentityOf(st);
  ok = ok && ReadAll(fd, bytes, static_cast<size_t>(st.st_size));
  int err = errno;
  close(fd);
  return ok || Fail(failure, "cannot read", err);
}

bool CheckWritable(const FileRef& file, FileFailure* failure) {
  ParentAnchor anchor(file);
  if (anchor.error() != 0) return Fail(failure, "cannot write", anchor.error());
  int fd = openat(anchor.dir_fd(), anchor.name(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Fail(failure, "cannot write", errno);
  struct stat st;
  bool ok = fstat(fd, &st) == 0 || Fail(failure, "cannot write", errno);
  close(fd);
  return ok && (!IsReadOnlyForEveryone(st) || ReadOnlyForEveryone(failure));
}

bool ReplaceFile(const FileRef& file, std::string_view bytes, const FileIdentity& read,
                 FileFailure* failure) {
  ParentAnchor anchor(file);
  if (anchor.error() != 0) return Fail(failure, "cannot replace", anchor.error());
  // The original stays open while its attributes are carried over.
  int original_fd =
      openat(anchor.dir_fd(), anchor.name(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (original_fd < 0) {
    return errno == ENOENT || errno == ELOOP ? ChangedWhileStamping(failure)
                                             : Fail(failure, "cannot replace", errno);
  }
  struct stat original;
  bool ok = fstat(original_fd, &original) == 0 || Fail(failure, "cannot replace", errno);
  if (ok && IdentityOf(original) != read) ok = ChangedWhileStamping(failure);
  if (ok && IsReadOnlyForEveryone(original)) ok = ReadOnlyForEveryone(failure);
  // An append-only folder takes the temporary file but refuses the rename, and then keeps the
  // temporary file too: nothing is made there.
  if (ok && FolderFlagsOf(anchor).append_only) ok = Fail(failure, "cannot replace", EPERM);
  std::string temp;
  int fd = -1;
  if (ok) {
    fd = CreateTemp(anchor, &temp);
    if (fd < 0) ok = Fail(failure, "cannot create temporary file for", errno);
  }
  if (ok && !WriteAndRename(anchor, original_fd, original, read, fd, temp, bytes, failure)) {
    if (unlinkat(anchor.dir_fd(), temp.c_str(), 0) != 0 && errno != ENOENT) {
      // An append-only folder, for one, keeps it: the user must know which file is not theirs.
      int err = errno;
      std::string leaf = temp.substr(temp.rfind('/') + 1);
      failure->reason += "; '" + file.path.substr(0, file.path.rfind('/') + 1) + leaf +
                         "' stays: " + std::strerror(err);
    }
    ok = false;
  }
  if (fd >= 0) DisarmTempCleanup();
  close(original_fd);
  return ok;
}

std::string FollowFileLinks(const std::string& path) {
  std::string at = path;
  for (int hops = 0; hops < 40; ++hops) {
    ParentAnchor anchor(at);
    if (anchor.error() != 0) return at;
    char target[PATH_MAX];
    ssize_t size = readlinkat(anchor.dir_fd(), anchor.name(), target, sizeof target);
    if (size < 0 || static_cast<size_t>(size) == sizeof target) return at;
    std::string next(target, static_cast<size_t>(size));
    if (next.empty()) return at;
    if (next[0] != '/') next = at.substr(0, at.rfind('/') + 1) + next;
    at = next;
  }
  return at;
}

}  // namespace platform
