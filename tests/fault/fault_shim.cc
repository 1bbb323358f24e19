// A preloaded library that makes chosen system calls fail, for the fault tests.
//
// Set in the environment of the program under test:
//   FAULT_CALL   which call: write, openat, renameat, renameat2, unlinkat, fchmod, close, mkdirat,
//                fsetxattr
//   FAULT_NTH    the first call (counting from 1) that is affected
//   FAULT_COUNT  how many calls from there are affected (default: all that follow)
//   FAULT_ERRNO  the error to fail with: ENOSPC, EIO, EACCES, ENOENT, EROFS, EXDEV, EPERM
//   FAULT_KILL   when "1", the process kills itself with SIGKILL instead of failing
//   FAULT_MATCH  only calls whose path contains this text count (openat, renameat, renameat2,
//                unlinkat; the attribute's name for fsetxattr); with a leading '=', only calls
//                whose path is exactly the rest (a name relative to a folder descriptor)
//   FAULT_APPEND_TO, FAULT_APPEND  instead of failing, the call first appends the text
//                FAULT_APPEND to the file FAULT_APPEND_TO, as another process writing at that
//                moment would, then goes on
// A write that fails part-way first writes half of what it was given.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

struct Plan {
  const char* call = nullptr;
  long nth = 0;
  long count = -1;
  int error = EIO;
  bool kill = false;
  const char* match = nullptr;
  const char* append_to = nullptr;
  const char* append = "";
};

int ErrorNamed(const char* name) {
  static const struct {
    const char* name;
    int value;
  } kErrors[] = {{"ENOSPC", ENOSPC}, {"EIO", EIO},       {"EACCES", EACCES}, {"ENOENT", ENOENT},
                 {"EROFS", EROFS},   {"EXDEV", EXDEV},   {"EPERM", EPERM},   {"EBUSY", EBUSY}};
  for (const auto& e : kErrors) {
    if (name != nullptr && std::strcmp(name, e.name) == 0) return e.value;
  }
  return EIO;
}

const Plan& GetPlan() {
  static const Plan plan = [] {
    Plan p;
    p.call = std::getenv("FAULT_CALL");
    if (const char* nth = std::getenv("FAULT_NTH")) p.nth = std::atol(nth);
    if (const char* count = std::getenv("FAULT_COUNT")) p.count = std::atol(count);
    p.error = ErrorNamed(std::getenv("FAULT_ERRNO"));
    const char* kill = std::getenv("FAULT_KILL");
    p.kill = kill != nullptr && std::strcmp(kill, "1") == 0;
    p.match = std::getenv("FAULT_MATCH");
    p.append_to = std::getenv("FAULT_APPEND_TO");
    if (const char* append = std::getenv("FAULT_APPEND")) p.append = append;
    return p;
  }();
  return plan;
}

std::atomic<long> g_calls{0};

// Appends as another process would, with system calls that do not pass through this library.
void AppendAsAnotherWriter(const Plan& plan) {
  long fd = syscall(SYS_openat, AT_FDCWD, plan.append_to, O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) return;
  syscall(SYS_write, fd, plan.append, std::strlen(plan.append));
  syscall(SYS_close, fd);
}

// True when this call of `name` on `path` is to fail (or kill).
bool Hit(const char* name, const char* path) {
  const Plan& plan = GetPlan();
  if (plan.call == nullptr || std::strcmp(plan.call, name) != 0) return false;
  if (plan.match != nullptr &&
      (path == nullptr || (plan.match[0] == '=' ? std::strcmp(path, plan.match + 1) != 0
                                                : std::strstr(path, plan.match) == nullptr))) {
    return false;
  }
  long n = ++g_calls;
  if (n < plan.nth || (plan.count >= 0 && n >= plan.nth + plan.count)) return false;
  if (plan.kill) kill(getpid(), SIGKILL);
  if (plan.append_to != nullptr) {
    AppendAsAnotherWriter(plan);
    return false;
  }
  errno = plan.error;
  return true;
}

template <typename F>
F Next(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

ssize_t write(int fd, const void* buf, size_t n) {
  static auto real = Next<ssize_t (*)(int, const void*, size_t)>("write");
  if (fd > 2 && Hit("write", nullptr)) {
    int error = errno;
    if (n > 1) real(fd, buf, n / 2);
    errno = error;
    return -1;
  }
  return real(fd, buf, n);
}

int openat(int dir, const char* path, int flags, ...) {
  static auto real = Next<int (*)(int, const char*, int, ...)>("openat");
  mode_t mode = 0;
  if (flags & (O_CREAT | O_TMPFILE)) {
    va_list args;
    va_start(args, flags);
    mode = static_cast<mode_t>(va_arg(args, int));
    va_end(args);
  }
  if (Hit("openat", path)) return -1;
  return real(dir, path, flags, mode);
}

int renameat(int from_dir, const char* from, int to_dir, const char* to) {
  static auto real = Next<int (*)(int, const char*, int, const char*)>("renameat");
  if (Hit("renameat", to)) return -1;
  return real(from_dir, from, to_dir, to);
}

int renameat2(int from_dir, const char* from, int to_dir, const char* to, unsigned flags) {
  static auto real = Next<int (*)(int, const char*, int, const char*, unsigned)>("renameat2");
  if (Hit("renameat2", to)) return -1;
  return real(from_dir, from, to_dir, to, flags);
}

int unlinkat(int dir, const char* path, int flags) {
  static auto real = Next<int (*)(int, const char*, int)>("unlinkat");
  if (Hit("unlinkat", path)) return -1;
  return real(dir, path, flags);
}

int mkdirat(int dir, const char* path, mode_t mode) {
  static auto real = Next<int (*)(int, const char*, mode_t)>("mkdirat");
  if (Hit("mkdirat", path)) return -1;
  return real(dir, path, mode);
}

int fchmod(int fd, mode_t mode) {
  static auto real = Next<int (*)(int, mode_t)>("fchmod");
  if (Hit("fchmod", nullptr)) return -1;
  return real(fd, mode);
}

int fsetxattr(int fd, const char* name, const void* value, size_t size, int flags) {
  static auto real = Next<int (*)(int, const char*, const void*, size_t, int)>("fsetxattr");
  if (Hit("fsetxattr", name)) return -1;
  return real(fd, name, value, size, flags);
}

int close(int fd) {
  static auto real = Next<int (*)(int)>("close");
  if (fd > 2 && Hit("close", nullptr)) {
    real(fd);
    return -1;
  }
  return real(fd);
}

}  // extern "C"
