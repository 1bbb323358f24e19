// A fresh directory for one test, removed afterwards unless the test failed.
#pragma once

#include <string>
#include <string_view>

namespace testsupport {

class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  // The absolute path of `relative` inside the directory.
  std::string Path(std::string_view relative) const;
  // Writes a file, creating its parent directories.
  void Write(std::string_view relative, std::string_view bytes) const;
  std::string Read(std::string_view relative) const;
  void MakeDir(std::string_view relative) const;
  // Hands the whole directory to another user, for tests that drop privileges.
  void GiveTo(unsigned uid, unsigned gid) const;
  // Whether files here can carry user extended attributes (some file systems cannot).
  bool HoldsUserAttributes() const;

 private:
  std::string path_;
};

// The local time now as a trash entry's DeletionDate: "YYYY-MM-DDThh:mm:ss".
std::string NowAsDeletionDate();

// Reads a whole file by absolute path; fails the test when it cannot.
std::string ReadFileOrDie(const std::string& path);

}  // namespace testsupport
