#include "platform/error_text.h"

#include <windows.h>

#include "platform/windows/wide.h"

namespace platform {

std::string ErrorText(int err) {
  wchar_t* text = nullptr;
  DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK;
  DWORD length = FormatMessageW(flags, nullptr, static_cast<DWORD>(err),
                                MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring wide(text != nullptr ? text : L"", length);
  LocalFree(text);
  // The system's sentences end in a full stop and blanks; the message line goes on after it.
  while (!wide.empty() && (wide.back() == L' ' || wide.back() == L'.' || wide.back() == L'\r' ||
                           wide.back() == L'\n')) {
    wide.pop_back();
  }
  if (wide.empty()) return "error " + std::to_string(static_cast<unsigned long>(err));
  return ToUtf8(wide);
}

}  // namespace platform
