#include "platform/interrupt.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstring>
#include <ctime>

namespace platform {
namespace {

// One temporary-file mark per thread that writes them. A slot moves from free to writing (its
// name being copied) to creating (the file being created) to armed, and back to free. The
// handler takes an armed slot for itself before it reads the name, so it never reads one half
// copied, and it waits for the creations of other threads to end before it removes anything.
enum SlotState : int { kFree, kWriting, kCreating, kArmed, kCleaning };
struct TempSlot {
  std::atomic<bool> owned{false};  // by a living thread
  std::atomic<int> state{kFree};
  int dir_fd = AT_FDCWD;
  char name[PATH_MAX];
};
constexpr int kSlots = 32;
TempSlot g_slots[kSlots];

// The calling thread's slot, given back when the thread ends.
struct SlotLease {
  TempSlot* slot = nullptr;
  ~SlotLease() {
    if (slot == nullptr) return;
    slot->state.store(kFree);
    slot->owned.store(false);
  }
};
thread_local SlotLease t_lease;
// The same slot, readable by a signal handler: a plain pointer needs no thread-local setup.
thread_local TempSlot* t_slot = nullptr;

std::atomic<bool> g_deferring{false};
std::atomic<bool> g_ending{false};  // a handler is ending the process: no more temporary files
std::atomic<int> g_shields{0};  // InterruptShields alive on any thread
std::atomic<int> g_pending{0};  // read by other threads too
std::atomic<int> g_second{0};
void (*volatile g_hook)() = nullptr;

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};

static_assert(std::atomic<int>::is_always_lock_free, "slot states are used by signal handlers");

TempSlot* ThreadSlot() {
  for (int i = 0; t_lease.slot == nullptr && i < kSlots; ++i) {
    bool owned = false;
    if (g_slots[i].owned.compare_exchange_strong(owned, true)) t_lease.slot = &g_slots[i];
  }
  t_slot = t_lease.slot;
  return t_slot;
}

// Removes the temporary files of every thread. The interrupted thread's own file may be in
// creation: that thread will not go on, so the name is removed whether the file exists or not.
void RemoveTempFiles() {
  for (TempSlot& slot : g_slots) {
    int armed = kArmed;
    int creating = kCreating;
    if (slot.state.compare_exchange_strong(armed, kCleaning) ||
        (&slot == t_slot && slot.state.compare_exchange_strong(creating, kCleaning))) {
      unlinkat(slot.dir_fd, slot.name, 0);
    }
  }
}

// True while another thread may still create a file it has armed for.
bool OtherThreadCreating() {
  for (const TempSlot& slot : g_slots) {
    if (&slot != t_slot && slot.state.load() == kCreating) return true;
  }
  return false;
}

// Waits, within reason, for the shields of other threads to end and for their temporary files
// in creation to exist or fail: threads that start later see g_ending and create nothing.
void WaitForOtherThreads() {
  timespec start, now;
  clock_gettime(CLOCK_MONOTONIC, &start);
  while (g_shields.load() > 0 || OtherThreadCreating()) {
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (now.tv_sec - start.tv_sec >= 2) return;
    timespec pause = {0, 1000000};
    nanosleep(&pause, nullptr);
  }
}

[[noreturn]] void EndBy(int sig) {
  g_ending.store(true);
  WaitForOtherThreads();
  RemoveTempFiles();
  if (g_hook) g_hook();
  signal(sig, SIG_DFL);
  sigset_t unblock;
  sigemptyset(&unblock);
  sigaddset(&unblock, sig);
  pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
  raise(sig);
  _exit(128 + sig);
}

void OnInterrupt(int sig) {
  if (g_deferring.load()) {
    int none = 0;
    if (g_pending.compare_exchange_strong(none, sig)) return;
    none = 0;
    if (g_second.compare_exchange_strong(none, sig)) return;
  }
  EndBy(sig);
}

sigset_t InterruptSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : kSignals) sigaddset(&set, sig);
  return set;
}

}  // namespace

bool InstallInterruptHandlers() {
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  action.sa_mask = InterruptSignals();
  // A held-back interruption returns to the work, whose system calls then go on as if
  // nothing had happened.
  action.sa_flags = SA_RESTART;
  for (int sig : kSignals) {
    // A signal the caller ignores (nohup, a background job, trap '' HUP) stays ignored.
    struct sigaction inherited = {};
    if (sigaction(sig, nullptr, &inherited) != 0) return false;
    if (inherited.sa_handler == SIG_IGN) continue;
    if (sigaction(sig, &action, nullptr) != 0) return false;
  }
  return true;
}

void SetInterruptHook(void (*hook)()) { g_hook = hook; }

bool ArmTempCleanup(int dir_fd, const char* name) {
  TempSlot* slot = ThreadSlot();
  if (slot == nullptr) return !g_ending.load();
  int expected = kFree;
  // A slot not free is being cleaned by an ending process.
  if (!slot->state.compare_exchange_strong(expected, kWriting)) return false;
  slot->dir_fd = dir_fd;
  std::strncpy(slot->name, name, sizeof slot->name - 1);
  slot->name[sizeof slot->name - 1] = '\0';
  slot->state.store(kCreating);
  if (!g_ending.load()) return true;
  slot->state.store(kFree);
  return false;
}

void TempCreated(bool created) {
  TempSlot* slot = ThreadSlot();
  if (slot == nullptr) return;
  int creating = kCreating;
  slot->state.compare_exchange_strong(creating, created ? kArmed : kFree);
}

void DisarmTempCleanup() {
  TempSlot* slot = ThreadSlot();
  if (slot == nullptr) return;
  int armed = kArmed;
  slot->state.compare_exchange_strong(armed, kFree);
}

void DeferInterrupts(bool defer) { g_deferring.store(defer); }

int PendingInterrupt() { return g_pending.load(); }

int SecondInterrupt() { return g_second.load(); }

void BeginEnding() {
  g_ending.store(true);
  WaitForOtherThreads();
  RemoveTempFiles();
}

bool Ending() { return g_ending.load(); }

void EndByPendingInterrupt() {
  int sig = g_pending.load();
  EndBy(sig != 0 ? sig : SIGINT);
}

static_assert(sizeof(InterruptShield) >= sizeof(sigset_t) && alignof(sigset_t) <= 8,
              "room for a signal mask");

InterruptShield::InterruptShield() {
  sigset_t all;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, reinterpret_cast<sigset_t*>(previous_));
  g_shields.fetch_add(1);
}

InterruptShield::~InterruptShield() {
  g_shields.fetch_sub(1);
  pthread_sigmask(SIG_SETMASK, reinterpret_cast<sigset_t*>(previous_), nullptr);
}

void BlockInterruptsInThisThread(bool keep_broken_pipe) {
  sigset_t set = InterruptSignals();
  if (keep_broken_pipe) sigdelset(&set, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

}  // namespace platform
