#include "tests/support/tree_model.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "tests/support/scratch_dir.h"

namespace testsupport {
namespace {

#ifdef TREETOOLS_SORTED_LISTING
constexpr bool kSortedListing = true;
#else
constexpr bool kSortedListing = false;
#endif

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool LessIgnoringCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(Upper(x)) < static_cast<unsigned char>(Upper(y));
  });
}

}  // namespace

std::string ExpectedWalk(const std::string& root,
                         const std::function<std::string(const std::string&)>& file_line) {
  std::string lines;
  DIR* dir = opendir(root.c_str());
  if (dir == nullptr) return lines;
  std::vector<std::string> names;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  if (kSortedListing) std::sort(names.begin(), names.end(), LessIgnoringCase);
  for (const std::string& name : names) {
    std::string path = root + "/" + name;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      lines += "Processing directory '" + name + "'\n";
      lines += ExpectedWalk(path, file_line);
    } else if (S_ISLNK(st.st_mode) && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      continue;
    } else {
      lines += file_line(path);
    }
  }
  return lines;
}

std::set<std::string> PathsInLines(const std::string& output, const std::string& prefix,
                                   const std::string& suffix) {
  std::set<std::string> paths;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    if (line.size() < prefix.size() + suffix.size()) continue;
    if (!line.starts_with(prefix) || !line.ends_with(suffix)) continue;
    paths.insert(line.substr(prefix.size(), line.size() - prefix.size() - suffix.size()));
  }
  return paths;
}

std::map<std::string, std::string> Snapshot(const std::string& root) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file() && !entry.is_symlink()) {
      files[fs::relative(entry.path(), root).string()] = ReadFileOrDie(entry.path().string());
    }
  }
  return files;
}

}  // namespace testsupport
