#include "platform/output.h"

#include <windows.h>

#include <algorithm>
#include <mutex>
#include <string>

#include "platform/windows/output_error.h"
#include "platform/windows/wide.h"

// A console gets wide characters through WriteConsoleW, whatever its code page; a file or a
// pipe gets UTF-8. Either way "\n" becomes CR LF, as the C runtime's text mode would make it.
// The C runtime's own streams are not used: they would pass the bytes through the console's
// code page.

namespace platform {
namespace {

// The errors of a write to a pipe whose reader went away (as "| more" quit with q), which ends
// the run as a broken pipe does on other systems.
bool IsClosedPipe(DWORD error) {
  return error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED;
}

class Stream {
 public:
  explicit Stream(DWORD id) : id_(id) {}

  // Writes `text` at once: a line reported is a line written, even if the run ends right after.
  void Write(std::string_view text) {
    std::lock_guard lock(mutex_);
    std::string bytes;
    bytes.reserve(text.size() + 8);
    for (char c : text) {
      if (c == '\n') bytes += '\r';
      bytes += c;
    }
    Follow();
    bool ok = console_ ? WriteWide(bytes) : WriteBytes(bytes);
    if (ok || error_ != 0) return;
    error_ = GetLastError() != 0 ? GetLastError() : ERROR_WRITE_FAULT;
    if (IsClosedPipe(error_)) EndOnClosedOutput();
  }

  // The system's error code of the first failed write, or 0.
  DWORD Error() {
    std::lock_guard lock(mutex_);
    return error_;
  }

 private:
  // Takes the stream's handle anew, in case it was redirected, and learns whether it is a
  // console when it changed.
  void Follow() {
    HANDLE handle = GetStdHandle(id_);
    if (handle == handle_) return;
    handle_ = handle;
    DWORD mode = 0;
    console_ = Usable() && GetConsoleMode(handle_, &mode) != 0;
  }

  bool Usable() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }

  bool WriteBytes(std::string_view rest) {
    if (!Usable()) return true;  // a program started without the stream writes nowhere
    while (!rest.empty()) {
      DWORD put = 0;
      DWORD chunk = static_cast<DWORD>(std::min<size_t>(rest.size(), 1 << 20));
      if (!WriteFile(handle_, rest.data(), chunk, &put, nullptr) || put == 0) return false;
      rest.remove_prefix(put);
    }
    return true;
  }

  bool WriteWide(std::string_view bytes) {
    std::wstring wide = ToWide(bytes);
    std::wstring_view rest = wide;
    while (!rest.empty()) {
      DWORD put = 0;
      DWORD chunk = static_cast<DWORD>(WholeCharacters(rest, 8192));
      if (!WriteConsoleW(handle_, rest.data(), chunk, &put, nullptr) || put == 0) return false;
      rest.remove_prefix(put);
    }
    return true;
  }

  DWORD id_;
  std::mutex mutex_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  bool console_ = false;
  DWORD error_ = 0;
};

Stream& Out() {
  static Stream stream(STD_OUTPUT_HANDLE);
  return stream;
}

Stream& Err() {
  static Stream stream(STD_ERROR_HANDLE);
  return stream;
}

}  // namespace

void WriteOutput(std::string_view text) { Out().Write(text); }

// Nothing is held back, so standard error's lines need no flush to keep their place.
void WriteError(std::string_view text) { Err().Write(text); }

bool FlushOutput() { return Out().Error() == 0; }

unsigned long OutputError() { return Out().Error(); }

}  // namespace platform
