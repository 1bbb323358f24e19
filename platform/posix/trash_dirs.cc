#include "platform/posix/trash_dirs.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/path_anchor.h"

namespace platform {
namespace {

// Directory handles serve only as anchors for the *at() calls, so no read permission is needed.
constexpr int kDirFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

std::string ParentOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

std::string UserDatabaseHome() {
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::string buffer(size > 0 ? static_cast<size_t>(size) : 16384, '\0');
  passwd entry;
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found) {
    return {};
  }
  return found->pw_dir != nullptr && found->pw_dir[0] == '/' ? found->pw_dir : "";
}

// Opens the directory `name` below `parent_fd`, making it (mode 0700) when it is missing. A
// symbolic link is never followed.
int OpenOrMakeDir(int parent_fd, const char* name, int* err) {
  if (mkdirat(parent_fd, name, 0700) != 0 && errno != EEXIST) {
    *err = errno;
    return -1;
  }
  int fd = openat(parent_fd, name, kDirFlags);
  if (fd < 0) *err = errno;
  return fd;
}

// Makes `path` and its missing parents (mode 0700); returns the first error, or 0.
int MakeDirs(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    if (mkdir(path.substr(0, slash).c_str(), 0700) != 0 && errno != EEXIST) return errno;
    if (slash == std::string::npos) return 0;
  }
}

bool OpenFilesAndInfo(int trash_fd, TrashDir* dir, int* err) {
  dir->files_fd = OpenOrMakeDir(trash_fd, "files", err);
  if (dir->files_fd >= 0) dir->info_fd = OpenOrMakeDir(trash_fd, "info", err);
  if (dir->info_fd >= 0) return true;
  dir->Close();
  return false;
}

// Opens the trash directory `name` below `parent_fd`, which must be the user's own.
bool OpenOwnTrash(int parent_fd, const char* name, unsigned uid, TrashDir* dir,
                  std::string* reason) {
  int err = 0;
  int fd = OpenOrMakeDir(parent_fd, name, &err);
  if (fd < 0) {
    *reason = std::strerror(err);
    return false;
  }
  struct stat st;
  bool ok = fstat(fd, &st) == 0 && st.st_uid == uid;
  if (!ok) *reason = "owned by another user";
  if (ok && !OpenFilesAndInfo(fd, dir, &err)) {
    ok = false;
    *reason = std::strerror(err);
  }
  close(fd);
  return ok;
}

// "<top>/.Trash/<uid>", usable only when ".Trash" is a real directory with the sticky bit, so
// that no other user can remove or replace what a user keeps there.
bool OpenSharedTrash(int top_fd, unsigned uid, TrashDir* dir) {
  int shared = openat(top_fd, ".Trash", kDirFlags);
  if (shared < 0) return false;
  struct stat st;
  std::string ignored;
  bool ok = fstat(shared, &st) == 0 && (st.st_mode & S_ISVTX) != 0 &&
            OpenOwnTrash(shared, std::to_string(uid).c_str(), uid, dir, &ignored);
  close(shared);
  return ok;
}

}  // namespace

void TrashDir::Close() {
  if (files_fd >= 0) close(files_fd);
  if (info_fd >= 0) close(info_fd);
  files_fd = info_fd = -1;
}

std::string CurrentDataHome() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg != nullptr && xdg[0] == '/') return xdg;
  const char* env_home = std::getenv("HOME");
  std::string home = env_home != nullptr && env_home[0] == '/' ? env_home : UserDatabaseHome();
  return home.empty() ? home : home + "/.local/share";
}

unsigned CurrentUserId() { return geteuid(); }

bool StatPath(const std::string& path, struct stat* st) {
  ParentAnchor anchor(path);
  if (anchor.error() == 0) return fstatat(anchor.dir_fd(), anchor.name(), st, 0) == 0;
  errno = anchor.error();
  return false;
}

HomeTrash LocateHomeTrash(const std::string& data_home) {
  HomeTrash home;
  if (data_home.empty()) return home;
  home.path = data_home + "/Trash";
  // The nearest part of the path that exists tells the file system the trash is or will be on.
  std::string existing = home.path;
  struct stat st;
  while (!StatPath(existing, &st)) {
    if (existing == "/") return home;
    existing = ParentOf(existing);
  }
  home.dev = st.st_dev;
  home.known = true;
  char* real = realpath(existing.c_str(), nullptr);
  home.real_path = real != nullptr ? real : existing;
  std::free(real);
  if (home.real_path == "/") home.real_path.clear();
  home.real_path += home.path.substr(existing.size());
  return home;
}

std::string TopDirectory(const std::string& dir, dev_t dev) {
  std::string top = dir;
  while (top != "/") {
    std::string parent = ParentOf(top);
    struct stat st;
    if (!StatPath(parent, &st) || st.st_dev != dev) break;
    top = parent;
  }
  return top;
}

bool OpenHomeTrash(const std::string& path, TrashDir* dir, std::string* reason) {
  int made_err = MakeDirs(path);
  // The home trash itself may be a link the user made to keep it elsewhere.
  int fd = open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  int err = made_err != 0 ? made_err : errno;
  bool ok = fd >= 0 && OpenFilesAndInfo(fd, dir, &err);
  if (fd >= 0) close(fd);
  if (!ok) *reason = "cannot use the trash '" + path + "': " + std::strerror(err);
  return ok;
}

bool OpenVolumeTrash(const std::string& topdir, unsigned uid, TrashDir* dir, std::string* reason) {
  std::string own = ".Trash-" + std::to_string(uid);
  ParentAnchor anchor(topdir);
  int top_fd = anchor.error() == 0 ? openat(anchor.dir_fd(), anchor.name(), kDirFlags) : -1;
  std::string why = top_fd < 0 ? std::strerror(anchor.error() ? anchor.error() : errno) : "";
  bool ok = top_fd >= 0 && (OpenSharedTrash(top_fd, uid, dir) ||
                            OpenOwnTrash(top_fd, own.c_str(), uid, dir, &why));
  if (top_fd >= 0) close(top_fd);
  if (!ok) {
    std::string place = (topdir == "/" ? "" : topdir) + "/" + own;
    *reason = "no trash can be used on its file system ('" + place + "': " + why + ")";
  }
  return ok;
}

}  // namespace platform
