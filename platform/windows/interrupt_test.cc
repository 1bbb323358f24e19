#include "platform/interrupt.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/error_text.h"
#include "platform/file_io.h"
#include "platform/windows/system_calls.h"
#include "platform/windows/temp_cleanup.h"
#include "platform/windows/wide.h"

#undef ReplaceFile  // the system's macro would rename the function under test

namespace platform {
namespace {

std::atomic<bool> g_in_shield;
// A rename that has begun under its shield and ends only once the end is marked.
NTSTATUS NTAPI RenameOnceEnding(HANDLE file, PIO_STATUS_BLOCK io, PVOID info, ULONG size,
                                FILE_INFORMATION_CLASS kind) {
  g_in_shield = true;
  while (PendingInterrupt() == 0) std::this_thread::yield();
  return ::NtSetInformationFile(file, io, info, size, kind);
}
std::string Read(const std::filesystem::path& path) {
  std::ifstream in(path);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST(Interrupt, AClosingConsoleLetsReplacementsFinishAndLeavesNoTemporaryFile) {
  ScopedSystemCalls restore;
  Sys().NtSetInformationFile = RenameOnceEnding;
  auto dir = std::filesystem::temp_directory_path() /
             ("interrupt_win" + std::to_string(GetCurrentProcessId()));
  std::string script = ToUtf8((dir / "App.rc").wstring());
  for (DWORD event : {CTRL_CLOSE_EVENT, CTRL_LOGOFF_EVENT, CTRL_SHUTDOWN_EVENT}) {
    SCOPED_TRACE(event);
    ForgetEndForTesting();
    g_in_shield = false;
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "App.rc") << "old";
    FileIdentity read;
    FileFailure failure, late;
    ASSERT_TRUE(InspectRegularFile(script, &read, &failure));
    std::thread worker([&] { EXPECT_TRUE(ReplaceFile(script, "new", read, &failure)); });
    while (!g_in_shield) std::this_thread::yield();
    EXPECT_EQ(HandleControlEvent(event), TRUE);
    EXPECT_EQ(Read(dir / "App.rc"), "new");  // before the handler returned
    worker.join();
    EXPECT_FALSE(ArmTempFile());
    ASSERT_TRUE(InspectRegularFile(script, &read, &late));
    EXPECT_FALSE(ReplaceFile(script, "late", read, &late));
    EXPECT_NE(late.reason.find(ErrorText(ERROR_OPERATION_ABORTED)), std::string::npos);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);  // App.rc only
    std::filesystem::remove_all(dir);
  }
}

// Log-off and shutdown come as messages to the hidden window, not to the console handler.
TEST(Interrupt, TheEndOfTheSessionEndsTheRunAsAClosingConsoleDoes) {
  ForgetEndForTesting();
  ASSERT_TRUE(InstallInterruptHandlers());
  DeferInterrupts(true);  // the window lives while work is deferred
  HWND window = nullptr;
  DWORD process = 0;
  do {
    window = FindWindowExW(nullptr, window, kEndSessionWindowClass, nullptr);
  } while (window != nullptr && GetWindowThreadProcessId(window, &process) != 0 &&
           process != GetCurrentProcessId());
  ASSERT_NE(window, nullptr) << "no window: " << GetLastError();
  EXPECT_EQ(SendMessageW(window, WM_QUERYENDSESSION, 0, 0), TRUE);
  EXPECT_FALSE(Ending());
  SendMessageW(window, WM_ENDSESSION, FALSE, 0);  // the end was cancelled
  EXPECT_FALSE(Ending());
  SendMessageW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  EXPECT_TRUE(Ending());  // before the message returned
  EXPECT_EQ(PendingInterrupt(), CTRL_LOGOFF_EVENT + 1);
  EXPECT_FALSE(ArmTempFile());
  DeferInterrupts(false);
  ForgetEndForTesting();
}

}  // namespace
}  // namespace platform
