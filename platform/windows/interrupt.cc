#include "platform/interrupt.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "platform/windows/temp_cleanup.h"

// Ctrl-C, Ctrl-Break and the closing of the console reach a handler that the system runs on a
// thread of its own. It keeps the promises of the other systems' signal handlers: the first
// interruption, while work in flight is allowed to finish, is only recorded; otherwise the
// temporary files being written are removed and the process ends at once, with the exit code
// of a process ended by Ctrl-C.

namespace platform {
namespace {

std::mutex g_tempMutex;
std::map<DWORD, std::wstring>* g_temps = new std::map<DWORD, std::wstring>;  // by thread id

std::atomic<bool> g_deferring{false};
std::atomic<int> g_shields{0};
std::atomic<int> g_pending{0};  // the control event plus one, or 0
std::atomic<void (*)()> g_hook{nullptr};

void WaitForShields() {
  auto start = std::chrono::steady_clock::now();
  while (g_shields.load() > 0 &&
         std::chrono::steady_clock::now() - start < std::chrono::seconds(2)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void RemoveArmedTempFiles() {
  std::lock_guard lock(g_tempMutex);
  for (const auto& [thread, path] : *g_temps) DeleteFileW(path.c_str());
  g_temps->clear();
}

[[noreturn]] void EndNow() {
  WaitForShields();
  RemoveArmedTempFiles();
  if (void (*hook)() = g_hook.load()) hook();
  TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
  ExitProcess(STATUS_CONTROL_C_EXIT);
}

BOOL WINAPI OnControl(DWORD event) {
  int none = 0;
  int code = static_cast<int>(event) + 1;
  if (g_deferring.load() && g_pending.compare_exchange_strong(none, code)) return TRUE;
  EndNow();
}

}  // namespace

bool InstallInterruptHandlers() { return SetConsoleCtrlHandler(OnControl, TRUE) != 0; }

void SetInterruptHook(void (*hook)()) { g_hook.store(hook); }

void ArmTempFile(const std::wstring& path) {
  std::lock_guard lock(g_tempMutex);
  (*g_temps)[GetCurrentThreadId()] = path;
}

void DisarmTempFile() {
  std::lock_guard lock(g_tempMutex);
  g_temps->erase(GetCurrentThreadId());
}

void DeferInterrupts(bool defer) { g_deferring.store(defer); }

int PendingInterrupt() { return g_pending.load(); }

void EndByPendingInterrupt() { EndNow(); }

InterruptShield::InterruptShield() { g_shields.fetch_add(1); }

InterruptShield::~InterruptShield() { g_shields.fetch_sub(1); }

// The handler runs on a thread of its own: no thread needs to keep it away.
void BlockInterruptsInThisThread(bool /*keep_broken_pipe*/) {}

// A closed output ends the run as Ctrl-C does, but as a failed run: exit code 1, which the hook
// that runs last, once the temporary files are removed, gives.
namespace {

std::atomic<bool> g_outputClosed{false};
std::atomic<void (*)()> g_hookBeforeClosedOutput{nullptr};

void EndAsFailedRun() {
  if (void (*hook)() = g_hookBeforeClosedOutput.load()) hook();
  TerminateProcess(GetCurrentProcess(), 1);
  ExitProcess(1);
}

}  // namespace

void EndOnClosedOutput() {
  if (g_outputClosed.exchange(true)) return;
  g_hookBeforeClosedOutput.store(g_hook.exchange(EndAsFailedRun));
  if (!g_deferring.load()) EndNow();
  int none = 0;
  g_pending.compare_exchange_strong(none, -1);  // no control event: the output closed
}

}  // namespace platform
