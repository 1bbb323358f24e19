// The desktop trash, laid out the way Linux desktops, file managers and the command-line trash
// tools expect it, so that they list and restore what this program puts there.
#pragma once

#include <memory>
#include <string>

#include "platform/file_io.h"

namespace platform {

// Where trashed files go. A file on the file system of the home trash, "<data home>/Trash",
// goes there; a file on any other file system goes to the trash at that file system's top
// directory: "<top>/.Trash/<uid>" when "<top>/.Trash" is a real directory with the sticky bit,
// else "<top>/.Trash-<uid>". Missing trash directories are made (mode 0700). Each file system's
// trash is looked up once, and each directory's file system once.
class Trash {
 public:
  // The trash of the user running the program: the home trash lies in XDG_DATA_HOME, or else
  // in HOME/.local/share.
  Trash();
  // The trash of user `uid` with the home trash in `data_home` (none when it is empty).
  Trash(std::string data_home, unsigned uid);
  ~Trash();
  Trash(const Trash&) = delete;
  Trash& operator=(const Trash&) = delete;

  // True when `path` lies inside a trash directory: the home trash, or ".Trash" or a
  // ".Trash-*" directory at the top of its file system. Nothing there is trashed again.
  bool Holds(const FileRef& file);

  // Moves the entry at `path` (absolute; a file or a symbolic link, never a directory) into the
  // trash of its file system. Its info entry ("<name>.trashinfo": original path and deletion
  // date) is made first: written in full, then linked into place only where that name is free,
  // so that it never appears empty or partial; then the entry is renamed into the trash under
  // the same name, and the info entry is removed again if that fails. A name already taken in the
  // trash is never overwritten: the file then gets a name unique to the run. When no trash can
  // be used on the file's file system, the file stays where it is and the call fails.
  bool MoveToTrash(const FileRef& file, FileFailure* failure);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace platform
