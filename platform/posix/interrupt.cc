#include "platform/interrupt.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <climits>
#include <cstring>

namespace platform {
namespace {

volatile sig_atomic_t g_armed = 0;
int g_tempDirFd = AT_FDCWD;
char g_tempName[NAME_MAX + 1 > PATH_MAX ? NAME_MAX + 1 : PATH_MAX];
void (*volatile g_hook)() = nullptr;

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};

void OnInterrupt(int sig) {
  if (g_armed) {
    unlinkat(g_tempDirFd, g_tempName, 0);
    g_armed = 0;
  }
  if (g_hook) g_hook();
  signal(sig, SIG_DFL);
  raise(sig);
}

}  // namespace

bool InstallInterruptHandlers() {
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  for (int sig : kSignals) sigaddset(&action.sa_mask, sig);
  for (int sig : kSignals) {
    if (sigaction(sig, &action, nullptr) != 0) return false;
  }
  return true;
}

void SetInterruptHook(void (*hook)()) { g_hook = hook; }

void ArmTempCleanup(int dir_fd, const char* name) {
  g_armed = 0;
  g_tempDirFd = dir_fd;
  std::strncpy(g_tempName, name, sizeof g_tempName - 1);
  g_tempName[sizeof g_tempName - 1] = '\0';
  g_armed = 1;
}

void DisarmTempCleanup() { g_armed = 0; }

}  // namespace platform
