#include "common/process_directory.h"

#include <vector>

#include "platform/current_dir.h"
#include "platform/dir_listing.h"
#include "platform/output.h"
#include "platform/path_separator.h"

namespace {

struct Frame {
  platform::DirListing listing;
  size_t next = 0;
  size_t prefix_length = 0;  // the directory's path, to which "/<name>" is appended
};

// Lists the directory at `path` onto the stack. A listing that fails part-way is reported and
// what it read is still worked through.
bool Enter(const std::string& path, std::vector<Frame>* stack, const ListFailure& on_failure) {
  Frame frame;
  // A root ("/", "C:\\") already ends in a separator.
  bool root = !path.empty() && path.back() == platform::kPathSeparator;
  frame.prefix_length = root ? path.size() - 1 : path.size();
  int err = 0;
  bool ok = platform::ListDirectory(path, &frame.listing, &err);
  if (!ok && on_failure) on_failure(path, err);
  if (frame.listing.size() > 0) stack->push_back(std::move(frame));
  return ok;
}

}  // namespace

int ProcessDirectory(const std::string& directory, const FileAction& action,
                     const ListFailure& on_list_failure, const ProgressOutput& output) {
  std::vector<Frame> stack;
  if (!Enter(directory, &stack, on_list_failure) && stack.empty()) return 0;
  // Holds the path of the deepest directory on the stack; every frame's prefix is a prefix of it.
  std::string path = directory;
  std::string line;
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.next == top.listing.size()) {
      stack.pop_back();
      continue;
    }
    size_t i = top.next++;
    std::string_view name = top.listing.name(i);
    path.resize(top.prefix_length);
    path.append(1, platform::kPathSeparator).append(name);
    switch (top.listing.type(i)) {
      case platform::EntryType::kDirectory:
        line.assign("Processing directory '").append(name).append("'\n");
        if (output) {
          output(line);
        } else {
          platform::WriteOutput(line);
        }
        Enter(path, &stack, on_list_failure);
        break;
      case platform::EntryType::kLinkToDirectory:
        break;
      case platform::EntryType::kOther:
        action(path);
        break;
    }
  }
  return 1;
}

bool ReadCurrentDirectory(std::string* directory, CReporter& reporter) {
  int err = 0;
  if (platform::GetCurrentDir(directory, &err)) return true;
  reporter.Print("Error reading current directory!\n");
  reporter.FailErrno("cannot read current directory", ".", err);
  return false;
}

void WalkCurrentDirectory(const FileAction& action, CReporter& reporter) {
  std::string directory;
  if (!ReadCurrentDirectory(&directory, reporter)) return;
  ProcessDirectory(
      directory, action,
      [&](const std::string& path, int err) {
        reporter.FailErrno("cannot list directory", path, err);
      },
      [&](std::string_view line) { reporter.Print(line); });
}
