// Finding and opening trash directories (used by trash.cc only).
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>

namespace platform {

// An open trash directory: its "files" and "info" subdirectories.
struct TrashDir {
  int files_fd = -1;
  int info_fd = -1;
  void Close();
};

// Where the home trash is, whether or not it exists yet.
struct HomeTrash {
  std::string path;       // "<data home>/Trash" as given
  std::string real_path;  // the same with links resolved, for comparing with walked paths
  dev_t dev = 0;          // the file system it is (or will be made) on
  bool known = false;     // false when there is no home trash
};

// The data directory of the user running the program: XDG_DATA_HOME when it is an absolute
// path, else HOME/.local/share; empty when neither the environment nor the user database
// names a home directory.
std::string CurrentDataHome();
unsigned CurrentUserId();

HomeTrash LocateHomeTrash(const std::string& data_home);

// Reads the file status of `path` (absolute, of any length), following a final link. On
// failure errno says why.
bool StatPath(const std::string& path, struct stat* st);

// The top directory of the file system `dev` that holds the directory `dir`: the highest of
// `dir` and its parents still on that file system.
std::string TopDirectory(const std::string& dir, dev_t dev);

// Opens the home trash, making it and its parents (mode 0700) where missing. On failure
// fills `reason`.
bool OpenHomeTrash(const std::string& path, TrashDir* dir, std::string* reason);

// Opens the trash of user `uid` at the top directory `topdir` of a file system, making it
// where missing. On failure fills `reason`.
bool OpenVolumeTrash(const std::string& topdir, unsigned uid, TrashDir* dir, std::string* reason);

}  // namespace platform
