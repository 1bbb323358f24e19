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

class Stream {
 public:
  explicit Stream(DWORD id) : id_(id) {}

  // Adds `text`; a console, and standard error, get it at once.
  void Write(std::string_view text) {
    std::lock_guard lock(mutex_);
    Open();
    for (char c : text) {
      if (c == '\n') pending_ += '\r';
      pending_ += c;
    }
    if (console_ || id_ == STD_ERROR_HANDLE || pending_.size() >= kBuffer) Drain();
  }

  bool Flush() {
    std::lock_guard lock(mutex_);
    Open();
    Drain();
    return !failed_;
  }

  DWORD Error() {
    std::lock_guard lock(mutex_);
    return error_;
  }

 private:
  static constexpr size_t kBuffer = 64 * 1024;

  void Open() {
    if (opened_) return;
    opened_ = true;
    handle_ = GetStdHandle(id_);
    DWORD mode = 0;
    console_ = handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE &&
               GetConsoleMode(handle_, &mode) != 0;
  }

  void Drain() {
    if (pending_.empty()) return;
    bool ok = console_ ? WriteWide() : WriteBytes();
    if (!ok && !failed_) {
      failed_ = true;
      error_ = GetLastError();
    }
    pending_.clear();
  }

  bool WriteBytes() {
    if (handle_ == nullptr || handle_ == INVALID_HANDLE_VALUE) return true;  // no stream at all
    std::string_view rest = pending_;
    while (!rest.empty()) {
      DWORD put = 0;
      DWORD chunk = static_cast<DWORD>(std::min<size_t>(rest.size(), 1 << 20));
      if (!WriteFile(handle_, rest.data(), chunk, &put, nullptr) || put == 0) return false;
      rest.remove_prefix(put);
    }
    return true;
  }

  bool WriteWide() {
    std::wstring wide = ToWide(pending_);
    std::wstring_view rest = wide;
    while (!rest.empty()) {
      DWORD put = 0;
      DWORD chunk = static_cast<DWORD>(std::min<size_t>(rest.size(), 8192));
      if (!WriteConsoleW(handle_, rest.data(), chunk, &put, nullptr) || put == 0) return false;
      rest.remove_prefix(put);
    }
    return true;
  }

  DWORD id_;
  std::mutex mutex_;
  bool opened_ = false;
  HANDLE handle_ = nullptr;
  bool console_ = false;
  bool failed_ = false;
  DWORD error_ = 0;
  std::string pending_;
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

void WriteError(std::string_view text) {
  Out().Flush();
  Err().Write(text);
}

bool FlushOutput() { return Out().Flush(); }

unsigned long OutputError() { return Out().Error(); }

}  // namespace platform
