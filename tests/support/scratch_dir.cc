#include "tests/support/scratch_dir.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace testsupport {

ScratchDir::ScratchDir() {
  std::string base = fs::temp_directory_path() / "treetools-test-XXXXXX";
  if (mkdtemp(base.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
  path_ = base;
}

ScratchDir::~ScratchDir() {
  if (testing::Test::HasFailure()) {
    std::cerr << "scratch directory kept: " << path_ << "\n";
    return;
  }
  // rm works at any depth and makes no assumption about modes but the top's; give every
  // directory back its owner's permissions first so that removal never stops halfway.
  std::string quoted = "'" + path_ + "'";
  std::string command = "find " + quoted + " -type d ! -perm -u=rwx -exec chmod u+rwx {} + " +
                        "2>/dev/null; rm -rf " + quoted;
  if (std::system(command.c_str()) != 0) std::cerr << "cannot remove " << path_ << "\n";
}

std::string ScratchDir::Path(std::string_view relative) const {
  return path_ + "/" + std::string(relative);
}

void ScratchDir::Write(std::string_view relative, std::string_view bytes) const {
  fs::path file = Path(relative);
  fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) ADD_FAILURE() << "cannot write " << file;
}

std::string ScratchDir::Read(std::string_view relative) const {
  return ReadFileOrDie(Path(relative));
}

void ScratchDir::MakeDir(std::string_view relative) const {
  fs::create_directories(Path(relative));
}

void ScratchDir::GiveTo(unsigned uid, unsigned gid) const {
  if (lchown(path_.c_str(), uid, gid) != 0) ADD_FAILURE() << "cannot chown " << path_;
  for (const auto& entry : fs::recursive_directory_iterator(path_)) {
    if (lchown(entry.path().c_str(), uid, gid) != 0) ADD_FAILURE() << "cannot chown " << entry;
  }
}

bool ScratchDir::HoldsUserAttributes() const {
  const std::string probe = Path(".attribute-probe");
  Write(".attribute-probe", "");
  bool holds = setxattr(probe.c_str(), "user.probe", "1", 1, 0) == 0;
  fs::remove(probe);
  return holds;
}

std::string NowAsDeletionDate() {
  time_t now = time(nullptr);
  tm local;
  localtime_r(&now, &local);
  char text[32];
  strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  return text;
}

std::string ReadFileOrDie(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) ADD_FAILURE() << "cannot read " << path;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

}  // namespace testsupport
