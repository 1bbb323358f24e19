#include "platform/interrupt.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include "platform/windows/temp_cleanup.h"

// Ctrl-C, Ctrl-Break and the closing of the console reach a handler that the system runs on a
// thread of its own. It keeps the promises of the other systems' signal handlers: the first
// interruption, while work in flight is allowed to finish, is only recorded; otherwise the
// process ends at once, with the exit code of a process ended by Ctrl-C. The temporary files
// being written are marked delete-on-close from their creation on: they go as the ending
// process's handles close.
//
// The closing of the console, log-off and shutdown cannot be held back: the system ends the
// process as soon as the handler returns, and about five seconds after a close whatever the
// handler does. The handler then marks the end, so that no worker starts a temporary file,
// waits for the replacements and creations in flight (a file is marked as soon as it is made;
// its mark is off only during a replacement's shielded steps) and only then returns. A process
// that has loaded user32.dll, as the shell's functions do, is not told of log-off and shutdown
// by this handler: a hidden window, open while the work runs, hears of them instead, and ends
// the run the same way.

namespace platform {
namespace {

// Whether each thread's temporary file, from just before its creation until it is put in place
// or removed, has been made (and marked) yet.
std::mutex g_tempMutex;
std::map<DWORD, bool>* g_temps = new std::map<DWORD, bool>;  // by thread id

std::atomic<bool> g_deferring{false};
std::atomic<bool> g_ending{false};  // the end is marked: no more temporary files
std::atomic<int> g_shields{0};
std::atomic<int> g_pending{0};  // the control event plus one, or 0
std::atomic<int> g_second{0};   // likewise for a second Ctrl-C while deferring
std::atomic<bool> g_endClaimed{false};  // one caller ends the process
std::atomic<void (*)()> g_hook{nullptr};

// How long an ending waits for shielded steps in flight. Ctrl-C has no system time-out, and a
// shielded step is a rename retried for about a second at most; a console close is ended by the
// system about five seconds after the event.
constexpr std::chrono::seconds kInterruptWait{10};
constexpr std::chrono::seconds kCloseWait{3};

// Never waits on the lock: its holder may be a thread the ending process has already stopped.
bool CreationInFlight() {
  std::unique_lock lock(g_tempMutex, std::try_to_lock);
  if (!lock.owns_lock()) return true;  // look again in a moment
  for (const auto& [thread, created] : *g_temps) {
    if (!created) return true;
  }
  return false;
}

// Waits, at most `limit`, for the shielded steps and the creations of temporary files in flight.
void WaitForWorkInFlight(std::chrono::milliseconds limit) {
  auto start = std::chrono::steady_clock::now();
  while ((g_shields.load() > 0 || CreationInFlight()) &&
         std::chrono::steady_clock::now() - start < limit) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// Marks the end and lets the work in flight finish. A creation still in flight then finds its
// file given up (TempFileMade), and closes it.
void EndWork(std::chrono::milliseconds limit) {
  g_ending.store(true);
  WaitForWorkInFlight(limit);
  std::unique_lock lock(g_tempMutex, std::try_to_lock);
  if (lock.owns_lock()) g_temps->clear();
}

// The first caller ends the process; any other (the handler thread, the thread passing the
// output on, the main thread) waits here for it to do so.
[[noreturn]] void EndNow() {
  if (g_endClaimed.exchange(true)) {
    for (;;) Sleep(INFINITE);
  }
  EndWork(kInterruptWait);
  if (void (*hook)() = g_hook.load()) hook();
  TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
  ExitProcess(STATUS_CONTROL_C_EXIT);
}

BOOL WINAPI OnControl(DWORD event) { return HandleControlEvent(event); }

// The process may be ended as soon as WM_ENDSESSION returns, so the run ends before.
LRESULT CALLBACK OnSessionMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      if (wparam) {
        HandleControlEvent((lparam & ENDSESSION_LOGOFF) ? CTRL_LOGOFF_EVENT : CTRL_SHUTDOWN_EVENT);
      }
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

// Creates the hidden window and serves its messages until it is told to quit; sets `ready` once
// the window exists or cannot be made (no desktop).
void ServeSessionWindow(HANDLE ready) {
  WNDCLASSW type = {};
  type.lpfnWndProc = OnSessionMessage;
  type.hInstance = GetModuleHandleW(nullptr);
  type.lpszClassName = kEndSessionWindowClass;
  // Registered by an earlier run of work in this process, the class serves again.
  bool registered = RegisterClassW(&type) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  HWND window = !registered
                    ? nullptr
                    : CreateWindowExW(0, kEndSessionWindowClass, L"", WS_OVERLAPPED, 0, 0, 0, 0,
                                      nullptr, nullptr, type.hInstance, nullptr);
  SetEvent(ready);
  if (window == nullptr) return;
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  DestroyWindow(window);
}

// The window lives while work is deferred, the long part of a run: a thread in the window
// system when the process exits is a risk a run that only prints its usage need not take.
struct SessionWindow {
  HANDLE thread = nullptr;
  DWORD id = 0;
};
SessionWindow g_session;

DWORD WINAPI SessionThread(void* ready) {
  ServeSessionWindow(static_cast<HANDLE>(ready));
  return 0;
}

void OpenSessionWindow() {
  if (g_session.thread != nullptr) return;
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (ready == nullptr) return;
  g_session.thread = CreateThread(nullptr, 0, SessionThread, ready, 0, &g_session.id);
  if (g_session.thread == nullptr) {
    CloseHandle(ready);
    return;
  }
  // Not forever: a desktop that never answers must not hold the run up. The event is then
  // left to the window's thread.
  if (WaitForSingleObject(ready, 2000) == WAIT_OBJECT_0) CloseHandle(ready);
}

void CloseSessionWindow() {
  if (g_session.thread == nullptr) return;
  PostThreadMessageW(g_session.id, WM_QUIT, 0, 0);
  WaitForSingleObject(g_session.thread, 2000);
  CloseHandle(g_session.thread);
  g_session = {};
}

}  // namespace

BOOL HandleControlEvent(DWORD event) {
  int none = 0;
  int code = static_cast<int>(event) + 1;
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      if (g_deferring.load()) {
        if (g_pending.compare_exchange_strong(none, code)) return TRUE;
        // The second goes to the work, which ends the run once it has said what was done.
        none = 0;
        if (g_second.compare_exchange_strong(none, code)) return TRUE;
      }
      if (g_endClaimed.load()) return TRUE;  // already ending
      EndNow();
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      // Held-back work stops starting pieces, and may end the process first, just as cleanly.
      g_pending.compare_exchange_strong(none, code);
      EndWork(kCloseWait);
      return TRUE;
    default:
      return FALSE;
  }
}

void ForgetEndForTesting() {
  g_ending.store(false);
  g_pending.store(0);
  g_second.store(0);
  g_endClaimed.store(false);
}

bool InstallInterruptHandlers() { return SetConsoleCtrlHandler(OnControl, TRUE) != 0; }

void SetInterruptHook(void (*hook)()) { g_hook.store(hook); }

bool ArmTempFile() {
  std::lock_guard lock(g_tempMutex);
  if (g_ending.load()) return false;
  (*g_temps)[GetCurrentThreadId()] = false;
  return true;
}

bool TempFileMade(bool created) {
  std::lock_guard lock(g_tempMutex);
  auto temp = g_temps->find(GetCurrentThreadId());
  if (temp == g_temps->end()) return false;  // removed by an ending run
  if (created) {
    temp->second = true;
  } else {
    g_temps->erase(temp);
  }
  return true;
}

void DisarmTempFile() {
  std::lock_guard lock(g_tempMutex);
  g_temps->erase(GetCurrentThreadId());
}

void DeferInterrupts(bool defer) {
  g_deferring.store(defer);
  if (defer) {
    OpenSessionWindow();
  } else {
    CloseSessionWindow();
  }
}

int PendingInterrupt() { return g_pending.load(); }

int SecondInterrupt() { return g_second.load(); }

// The temporary files in flight are marked delete-on-close: they go with the ending process.
void BeginEnding() { EndWork(std::chrono::seconds(2)); }

bool Ending() { return g_ending.load(); }

void EndByPendingInterrupt() { EndNow(); }

// Counted before the end is looked at, so that an ending run either waits for these steps or
// is seen here: steps not begun once the end is marked never begin, and the thread waits for the
// process to end, its temporary file going with its handle.
InterruptShield::InterruptShield() {
  g_shields.fetch_add(1);
  if (!g_ending.load()) return;
  g_shields.fetch_sub(1);
  Sleep(INFINITE);
}

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
