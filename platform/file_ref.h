// Folders held open by the walk, and files named relative to them, so that no step taken on a
// file looks its whole path up again.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

class Folder;
using FolderPtr = std::shared_ptr<const Folder>;

// A folder held open: a descriptor on Linux, a handle on Windows. Everything found in it is
// reached relative to it, so a folder above it renamed or swapped for a link meanwhile never
// leads the work anywhere else: a run stays inside the tree it started in.
class Folder {
 public:
  // Opens the folder at `path`, the top of a walk: on Linux the folder itself, not what a link
  // there leads to; on Windows, where the current directory may be reached through a junction,
  // what it leads to. Null, with the error number, when it cannot be opened.
  static FolderPtr Open(const std::string& path, int* err);
  // Opens the subfolder `name` of this one, never through a link.
  FolderPtr OpenChild(std::string_view name, int* err) const;
  // Opens this folder's parent again from this folder, when the walk gave it up to stay within
  // the limit of open folders; null where the system cannot (Windows keeps them all open).
  FolderPtr OpenParent(int* err) const;
  // How many folders a walk keeps open at most on its way down; deeper ones are given up and
  // opened again through OpenParent on the way back.
  static size_t MaxOpenDepth();

  ~Folder();
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  // The descriptor (Linux) or HANDLE (Windows).
  intptr_t native() const { return native_; }
  // Identifies the folder, so that one opened again can be told to be the same.
  unsigned long long device() const { return device_; }
  unsigned long long index() const { return index_; }

 private:
  Folder(intptr_t native, unsigned long long device, unsigned long long index)
      : native_(native), device_(device), index_(index) {}
  static FolderPtr Adopt(intptr_t native, int* err);

  intptr_t native_;
  unsigned long long device_;
  unsigned long long index_;
};

// A file to work on: the folder the walk found it in and its whole path, whose last component
// is its name in that folder. The path serves the messages (and the trash's record of where a
// file came from); every step on the file goes through the folder. Without a folder, the path
// is looked up as it stands, as for the change log in the current directory.
struct FileRef {
  FileRef(const std::string& whole_path) : path(whole_path) {}  // NOLINT: a path alone
  FileRef(const char* whole_path) : path(whole_path) {}         // NOLINT: a path alone
  FileRef(FolderPtr in, std::string whole_path)
      : folder(std::move(in)), path(std::move(whole_path)) {}

  // Where a path is expected, the path, as printed.
  operator const std::string&() const { return path; }  // NOLINT: for messages

  // The name in `folder`: the path's last component.
  std::string_view name() const;

  FolderPtr folder;
  std::string path;
};

}  // namespace platform
