#include "common/process_directory.h"

#include <cerrno>
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
  // Held while the walk works in this folder; given up, far above the deepest folder, to stay
  // within the limit of open folders, and opened again from below on the way back.
  platform::FolderPtr folder;
  unsigned long long device = 0, index = 0;
};

class Walk {
 public:
  Walk(const std::string& directory, const FileAction& action, const ListFailure& on_failure,
       const ProgressOutput& output)
      : directory_(directory), action_(action), on_failure_(on_failure), output_(output) {}

  int Run() {
    int err = 0;
    platform::FolderPtr root = platform::Folder::Open(directory_, &err);
    if (root == nullptr) {
      if (on_failure_) on_failure_(directory_, err);
      return 0;
    }
    // A root ("/", "C:\\") already ends in a separator.
    bool is_root = !directory_.empty() && directory_.back() == platform::kPathSeparator;
    if (!Enter(directory_, is_root ? directory_.size() - 1 : directory_.size(), root) &&
        stack_.empty()) {
      return 0;
    }
    path_ = directory_;
    while (!stack_.empty()) Step();
    return 1;
  }

 private:
  // Lists the folder onto the stack. A listing that fails part-way is reported and what it read
  // is still worked through.
  bool Enter(const std::string& path, size_t prefix_length, platform::FolderPtr folder) {
    Frame frame;
    frame.prefix_length = prefix_length;
    int err = 0;
    bool ok = platform::ListDirectory(*folder, &frame.listing, &err);
    if (!ok && on_failure_) on_failure_(path, err);
    if (frame.listing.size() == 0) return ok;
    frame.device = folder->device();
    frame.index = folder->index();
    frame.folder = std::move(folder);
    stack_.push_back(std::move(frame));
    size_t max_open = platform::Folder::MaxOpenDepth();
    if (stack_.size() > max_open) stack_[stack_.size() - 1 - max_open].folder.reset();
    return ok;
  }

  void Step() {
    Frame& top = stack_.back();
    if (top.next == top.listing.size()) {
      Leave();
      return;
    }
    size_t i = top.next++;
    std::string_view name = top.listing.name(i);
    path_.resize(top.prefix_length);
    path_.append(1, platform::kPathSeparator).append(name);
    switch (top.listing.type(i)) {
      case platform::EntryType::kDirectory:
        EnterChild(top, name);
        break;
      case platform::EntryType::kLinkToDirectory:
        break;
      case platform::EntryType::kOther:
        action_(platform::FileRef(top.folder, path_));
        break;
    }
  }

  void EnterChild(const Frame& parent, std::string_view name) {
    line_.assign("Processing directory '").append(name).append("'\n");
    if (output_) {
      output_(line_);
    } else {
      platform::WriteOutput(line_);
    }
    int err = 0;
    platform::FolderPtr child = parent.folder->OpenChild(name, &err);
    if (child == nullptr) {
      if (on_failure_) on_failure_(path_, err);
      return;
    }
    Enter(path_, path_.size(), std::move(child));
  }

  // Pops the finished folder; its parent, if it was given up, is opened again from it and must
  // be the very folder it was, or the rest of it is reported and skipped.
  void Leave() {
    platform::FolderPtr below = std::move(stack_.back().folder);
    stack_.pop_back();
    if (stack_.empty() || stack_.back().folder != nullptr) return;
    Frame& parent = stack_.back();
    int err = ENOENT;
    platform::FolderPtr again = below == nullptr ? nullptr : below->OpenParent(&err);
    if (again != nullptr && again->device() == parent.device && again->index() == parent.index) {
      parent.folder = std::move(again);
      return;
    }
    if (on_failure_) {
      on_failure_(parent.prefix_length == 0 ? directory_ : path_.substr(0, parent.prefix_length),
                  again == nullptr ? err : ENOENT);
    }
    parent.next = parent.listing.size();
  }

  const std::string& directory_;
  const FileAction& action_;
  const ListFailure& on_failure_;
  const ProgressOutput& output_;
  std::vector<Frame> stack_;
  // The path of the entry at hand; every frame's prefix is a prefix of it.
  std::string path_;
  std::string line_;
};

}  // namespace

int ProcessDirectory(const std::string& directory, const FileAction& action,
                     const ListFailure& on_list_failure, const ProgressOutput& output) {
  return Walk(directory, action, on_list_failure, output).Run();
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

