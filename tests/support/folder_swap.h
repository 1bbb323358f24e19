// An attacker who can write in a tree: swaps one of its folders for a symbolic link to a folder
// elsewhere, the moment a program has read the folder's listing.
#pragma once

#include <atomic>
#include <string>
#include <thread>

namespace testsupport {

// Makes `link`, a symbolic link to `target`, then watches `folder` from another thread. At the
// first read of the folder's listing (or the first close of a descriptor on it, whichever comes
// first) it exchanges `folder` and `link` in one step: `folder` then names the link, and the
// real folder stands at `link`. Both must be on one file system. The watch is in place when
// the constructor returns, so the program under attack is started after it.
class FolderSwap {
 public:
  FolderSwap(const std::string& folder, const std::string& link, const std::string& target);
  ~FolderSwap();
  FolderSwap(const FolderSwap&) = delete;
  FolderSwap& operator=(const FolderSwap&) = delete;

  // Whether the exchange is done. Read it as soon as the program has ended: a swap made later
  // came too late to attack it.
  bool swapped() const { return swapped_; }
  // Stops waiting, at once, and tells what went wrong, if anything: empty when nothing failed
  // (though the folder may not have been read, and so not swapped, yet).
  std::string Stop();

 private:
  void Watch(std::string folder, std::string link);

  int inotify_fd_ = -1;
  int stop_fd_ = -1;  // an eventfd; written to end the wait
  std::atomic<bool> swapped_{false};
  std::string failure_;
  std::thread thread_;
};

}  // namespace testsupport
