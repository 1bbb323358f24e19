#include "tests/support/folder_swap.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#ifndef RENAME_EXCHANGE
#define RENAME_EXCHANGE (1 << 1)
#endif

namespace testsupport {
namespace {

// Long enough for Wine to start a program in a fresh prefix.
constexpr int kTimeoutMs = 180 * 1000;

std::string Failed(const std::string& what) { return what + ": " + std::strerror(errno); }

}  // namespace

FolderSwap::FolderSwap(const std::string& folder, const std::string& link,
                       const std::string& target) {
  if (symlink(target.c_str(), link.c_str()) != 0) {
    failure_ = Failed("cannot make the link " + link);
    return;
  }
  inotify_fd_ = inotify_init1(IN_CLOEXEC);
  stop_fd_ = eventfd(0, EFD_CLOEXEC);
  if (inotify_fd_ < 0 || stop_fd_ < 0) {
    failure_ = Failed("cannot watch");
    return;
  }
  // A directory's listing raises IN_ACCESS at each read; a program that lists it and keeps the
  // descriptor open raises nothing more, one that closes it raises IN_CLOSE_NOWRITE.
  if (inotify_add_watch(inotify_fd_, folder.c_str(),
                        IN_ACCESS | IN_CLOSE_NOWRITE | IN_ONLYDIR | IN_DONT_FOLLOW) < 0) {
    failure_ = Failed("cannot watch " + folder);
    return;
  }
  thread_ = std::thread(&FolderSwap::Watch, this, folder, link);
}

FolderSwap::~FolderSwap() {
  Stop();
  if (inotify_fd_ >= 0) close(inotify_fd_);
  if (stop_fd_ >= 0) close(stop_fd_);
}

std::string FolderSwap::Stop() {
  if (thread_.joinable()) {
    uint64_t one = 1;
    if (write(stop_fd_, &one, sizeof one) != sizeof one) failure_ = Failed("cannot stop");
    thread_.join();
  }
  return failure_;
}

void FolderSwap::Watch(std::string folder, std::string link) {
  // Woken ahead of the program's own threads where the system allows it (as root), so that a
  // busy machine does not let the program finish the folder before the swap.
  sched_param priority = {};
  priority.sched_priority = sched_get_priority_min(SCHED_FIFO);
  pthread_setschedparam(pthread_self(), SCHED_FIFO, &priority);
  pollfd fds[2] = {{inotify_fd_, POLLIN, 0}, {stop_fd_, POLLIN, 0}};
  for (;;) {
    int ready = poll(fds, 2, kTimeoutMs);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) {
      failure_ = Failed("poll");
      return;
    }
    if (ready == 0) {
      failure_ = "no one read " + folder + " within the time-out";
      return;
    }
    if (fds[1].revents != 0) return;  // stopped before any read
    alignas(inotify_event) char buffer[4096];
    ssize_t got = read(inotify_fd_, buffer, sizeof buffer);
    if (got <= 0) {
      failure_ = Failed("cannot read the watch");
      return;
    }
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof *event + event->len);
      if (event->len != 0) continue;  // about an entry, not the folder itself
      if (syscall(SYS_renameat2, AT_FDCWD, folder.c_str(), AT_FDCWD, link.c_str(),
                  RENAME_EXCHANGE) != 0) {
        failure_ = Failed("cannot exchange " + folder + " and " + link);
        return;
      }
      swapped_ = true;
      return;
    }
  }
}

}  // namespace testsupport
