// Reaching a path of any length with the *at() system calls.
#pragma once

#include <string>

#include "platform/file_ref.h"

namespace platform {

// The parent directory and last component of an absolute path, ready for the *at() calls.
// Paths shorter than the system's limit are used as they are (relative to AT_FDCWD); longer
// ones are reached by opening their parent directory a few components at a time, so trees
// deeper than the limit can be worked on. The descriptor is valid until the next anchor of a
// long path on the same thread.
class ParentAnchor {
 public:
  explicit ParentAnchor(const std::string& path);
  // The file's own folder and name when it has a folder; else its path, as above.
  explicit ParentAnchor(const FileRef& file);
  ~ParentAnchor();
  ParentAnchor(const ParentAnchor&) = delete;
  ParentAnchor& operator=(const ParentAnchor&) = delete;

  // 0 when the parent could be reached, else the error number.
  int error() const { return error_; }
  int dir_fd() const { return dir_fd_; }
  // The path relative to dir_fd(): the whole path, or its last component.
  const char* name() const { return name_; }
  // The folder name() lies in, relative to dir_fd(): "." for a last component alone.
  std::string folder() const;

 private:
  void AnchorLong(const std::string& path);

  int dir_fd_;  // AT_FDCWD, or a descriptor that stays open until the next long path
  int error_ = 0;
  std::string leaf_;
  const char* name_;
};

}  // namespace platform
