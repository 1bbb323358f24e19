#include "platform/trash.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <unordered_set>
#include <vector>

#include "platform/interrupt.h"
#include "platform/path_anchor.h"
#include "platform/posix/trash_dirs.h"
#include "platform/trash_info.h"

namespace platform {
namespace {

// One name as it is, then names unique to the run; a clash among those means the run's tag
// was chosen by another run too, so it is drawn again.
constexpr int kNameAttempts = 4;

// One file system as the trash sees it.
struct Volume {
  dev_t dev = 0;
  std::string topdir;
  bool home = false;
  bool opened = false;
  TrashDir dir;
  std::string unusable;  // why nothing can be trashed here, once that is known
  // Names this run has given in this trash: a file with one of them goes straight to a
  // unique name, since by-products of the same name come back in many folders.
  std::unordered_set<std::string> given;
};

bool IsWithin(const std::string& path, const std::string& dir) {
  if (dir == "/") return true;
  return path.compare(0, dir.size(), dir) == 0 &&
         (path.size() == dir.size() || path[dir.size()] == '/');
}

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

std::string RandomTag() {
  static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char random[6];
  if (getrandom(random, sizeof random, 0) != sizeof random) {
    unsigned seed = static_cast<unsigned>(time(nullptr)) ^ static_cast<unsigned>(getpid());
    for (unsigned char& r : random)
      r = static_cast<unsigned char>(seed = seed * 1103515245 + 12345);
  }
  std::string tag;
  for (unsigned char r : random) tag += kAlphabet[r % (sizeof kAlphabet - 1)];
  return tag;
}

int WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t put = write(fd, bytes.data(), bytes.size());
    if (put < 0 && errno != EINTR) return errno;
    if (put > 0) bytes.remove_prefix(static_cast<size_t>(put));
  }
  return 0;
}

// Renames without ever replacing an existing entry: EEXIST when `to` is taken.
int RenameNoReplace(int from_fd, const char* from, int to_fd, const char* to) {
  if (renameat2(from_fd, from, to_fd, to, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // A file system without that kind of rename: look before renaming.
  struct stat st;
  if (fstatat(to_fd, to, &st, AT_SYMLINK_NOFOLLOW) == 0) return EEXIST;
  return renameat(from_fd, from, to_fd, to) == 0 ? 0 : errno;
}

// Creates `name` in `dir_fd` holding `text`, never replacing an entry: EEXIST when the name is
// taken. The text is written first into a file without a name, which is then linked into place,
// so the entry appears whole or not at all, even when the process is killed. Sets `unsupported`
// when the file system (or a missing /proc) does not allow that.
int LinkUnnamed(int dir_fd, const std::string& name, std::string_view text, bool* unsupported) {
  int fd = openat(dir_fd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (fd < 0) {
    *unsupported = errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL;
    return errno;
  }
  int err = WriteAll(fd, text);
  if (err == 0) {
    std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (linkat(AT_FDCWD, self.c_str(), dir_fd, name.c_str(), AT_SYMLINK_FOLLOW) != 0) err = errno;
    *unsupported = err == ENOENT && faccessat(AT_FDCWD, "/proc/self/fd", F_OK, 0) != 0;
  }
  close(fd);
  return err;
}

// The same through a file with a temporary name beside it, for file systems without unnamed
// files. A kill can leave that file, but never a partial entry under `name`.
int LinkNamed(int dir_fd, const std::string& name, std::string_view text) {
  std::string temp = "." + RandomTag() + ".trashinfo.tmp";
  int fd = openat(dir_fd, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return errno;
  int err = WriteAll(fd, text);
  if (close(fd) != 0 && err == 0) err = errno;
  if (err == 0 && linkat(dir_fd, temp.c_str(), dir_fd, name.c_str(), 0) != 0) err = errno;
  // A file system without hard links can still rename without replacing.
  if (err == EPERM || err == EOPNOTSUPP) {
    err = RenameNoReplace(dir_fd, temp.c_str(), dir_fd, name.c_str());
    if (err == 0) return 0;
  }
  unlinkat(dir_fd, temp.c_str(), 0);
  return err;
}

int CreateWhole(int dir_fd, const std::string& name, std::string_view text) {
  bool unsupported = false;
  int err = LinkUnnamed(dir_fd, name, text, &unsupported);
  return unsupported ? LinkNamed(dir_fd, name, text) : err;
}

// Puts the entry `source` into the trash under `name`: info entry first, then the entry itself.
// EEXIST when the name is taken; nothing is left behind on any failure.
int Place(const TrashDir& dir, const ParentAnchor& source, const std::string& name,
          std::string_view info_text) {
  std::string info = name + ".trashinfo";
  int err = CreateWhole(dir.info_fd, info, info_text);
  if (err != 0) return err;
  err = RenameNoReplace(source.dir_fd(), source.name(), dir.files_fd, name.c_str());
  if (err != 0) unlinkat(dir.info_fd, info.c_str(), 0);
  return err;
}

}  // namespace

struct Trash::State {
  unsigned uid = 0;
  HomeTrash home;
  std::vector<std::unique_ptr<Volume>> volumes;
  // The directory of the previous file, and what was found out about it.
  std::string last_dir;
  Volume* last_volume = nullptr;
  bool last_in_trash = false;
  std::string tag = RandomTag();
  uint64_t counter = 0;
  time_t date_second = -1;
  std::string date;

  ~State() {
    for (auto& volume : volumes) volume->dir.Close();
  }

  Volume* VolumeOf(const std::string& dir, dev_t dev) {
    for (auto& volume : volumes) {
      if (volume->dev == dev && IsWithin(dir, volume->topdir)) return volume.get();
    }
    auto volume = std::make_unique<Volume>();
    volume->dev = dev;
    volume->topdir = TopDirectory(dir, dev);
    volume->home = home.known && home.dev == dev;
    volumes.push_back(std::move(volume));
    return volumes.back().get();
  }

  bool InTrash(const std::string& dir, const Volume& volume) const {
    if (home.known && IsWithin(dir, home.real_path)) return true;
    if (dir.size() <= volume.topdir.size()) return false;  // the top directory itself
    std::string_view below(dir);
    below.remove_prefix(volume.topdir == "/" ? 1 : volume.topdir.size() + 1);
    std::string_view first = below.substr(0, below.find('/'));
    return first == ".Trash" || first.starts_with(".Trash-");
  }

  // Finds the file system of the directory holding `file`, once per directory: that of the
  // folder held open, or else of the path.
  Volume* Lookup(const FileRef& file, int* err) {
    std::string dir = DirectoryOf(file.path);
    if (last_volume != nullptr && dir == last_dir) return last_volume;
    struct stat st;
    bool found = file.folder != nullptr ? fstat(static_cast<int>(file.folder->native()), &st) == 0
                                        : StatPath(dir, &st);
    if (!found) {
      *err = errno;
      last_volume = nullptr;
      return nullptr;
    }
    last_dir = std::move(dir);
    last_volume = VolumeOf(last_dir, st.st_dev);
    last_in_trash = InTrash(last_dir, *last_volume);
    return last_volume;
  }

  bool Open(Volume* volume) {
    if (!volume->opened) {
      volume->opened = true;
      bool ok = volume->home
                    ? OpenHomeTrash(home.path, &volume->dir, &volume->unusable)
                    : OpenVolumeTrash(volume->topdir, uid, &volume->dir, &volume->unusable);
      if (ok) volume->unusable.clear();
    }
    return volume->unusable.empty();
  }

  const std::string& Date() {
    time_t now = time(nullptr);
    if (now != date_second) {
      tm local;
      char text[32];
      localtime_r(&now, &local);
      strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
      date = text;
      date_second = now;
    }
    return date;
  }

  // The path as the info entry names it: absolute in the home trash, else from the top
  // directory of the file system.
  static std::string InfoPath(const Volume& volume, const std::string& path) {
    if (volume.home) return path;
    return path.substr(volume.topdir == "/" ? 1 : volume.topdir.size() + 1);
  }

  int Move(Volume& volume, const FileRef& file) {
    std::string info_text = TrashInfoText(InfoPath(volume, file.path), Date());
    std::string leaf(file.name());
    ParentAnchor source(file);
    if (source.error() != 0) return source.error();
    InterruptShield shield;  // never an info entry without its file, or the reverse
    int err = EEXIST;
    bool own_name_free = leaf.size() <= kMaxTrashName && !volume.given.contains(leaf);
    for (int attempt = own_name_free ? 0 : 1; attempt < kNameAttempts && err == EEXIST; ++attempt) {
      if (attempt == kNameAttempts - 1) tag = RandomTag();
      std::string name = attempt == 0 ? leaf : UniqueTrashName(leaf, tag, ++counter);
      err = Place(volume.dir, source, name, info_text);
    }
    if (own_name_free) volume.given.insert(leaf);
    return err;
  }
};

Trash::Trash() : Trash(CurrentDataHome(), CurrentUserId()) {}

Trash::Trash(std::string data_home, unsigned uid) : state_(std::make_unique<State>()) {
  state_->uid = uid;
  state_->home = LocateHomeTrash(data_home);
}

Trash::~Trash() = default;

bool Trash::Holds(const FileRef& file) {
  int err = 0;
  return state_->Lookup(file, &err) != nullptr && state_->last_in_trash;
}

bool Trash::MoveToTrash(const FileRef& file, FileFailure* failure) {
  failure->what = "cannot move to trash";
  int err = 0;
  Volume* volume = state_->Lookup(file, &err);
  if (volume == nullptr) {
    failure->reason = std::strerror(err);
    return false;
  }
  if (!state_->Open(volume)) {
    failure->reason = volume->unusable;
    return false;
  }
  err = state_->Move(*volume, file);
  if (err == EEXIST) failure->reason = "no free name in the trash";
  if (err != 0 && err != EEXIST) failure->reason = std::strerror(err);
  return err == 0;
}

}  // namespace platform
