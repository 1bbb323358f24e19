#include "platform/dir_listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>


namespace platform {

namespace {

bool IsDotOrDotDot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Classifies an entry whose type the listing did not give, or a link, by looking it up.
EntryType LookUp(int dir_fd, const char* name, unsigned char d_type) {
  struct stat st;
  if (d_type == DT_UNKNOWN) {
    if (fstatat(dir_fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return EntryType::kOther;
    if (S_ISDIR(st.st_mode)) return EntryType::kDirectory;
    if (!S_ISLNK(st.st_mode)) return EntryType::kOther;
  }
  if (fstatat(dir_fd, name, &st, 0) == 0 && S_ISDIR(st.st_mode)) {
    return EntryType::kLinkToDirectory;
  }
  return EntryType::kOther;
}

EntryType Classify(int dir_fd, const dirent* entry) {
  switch (entry->d_type) {
    case DT_DIR:
      return EntryType::kDirectory;
    case DT_LNK:
    case DT_UNKNOWN:
      return LookUp(dir_fd, entry->d_name, entry->d_type);
    default:
      return EntryType::kOther;
  }
}

}  // namespace

bool ListDirectory(const std::string& path, DirListing* listing, int* err) {
  listing->Clear();
  FolderPtr folder = Folder::Open(path, err);
  return folder != nullptr && ListDirectory(*folder, listing, err);
}

bool ListDirectory(const Folder& folder, DirListing* listing, int* err) {
  listing->Clear();
  // A reading position of its own: the folder's descriptor stays as it is for the work after.
  int fd = openat(static_cast<int>(folder.native()), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    *err = errno;
    return false;
  }
  DIR* dir = fdopendir(fd);
  if (dir == nullptr) {
    *err = errno;
    close(fd);
    return false;
  }
  errno = 0;
  while (const dirent* entry = readdir(dir)) {
    if (!IsDotOrDotDot(entry->d_name)) listing->Add(entry->d_name, Classify(fd, entry));
    errno = 0;
  }
  int read_error = errno;
  closedir(dir);
  if (read_error != 0) {
    *err = read_error;
    return false;
  }
  return true;
}

}  // namespace platform
