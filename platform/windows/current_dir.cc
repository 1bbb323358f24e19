#include "platform/current_dir.h"

#include <windows.h>

#include "platform/windows/wide.h"

namespace platform {

bool GetCurrentDir(std::string* dir, int* err) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    DWORD got = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (got == 0) {
      *err = static_cast<int>(GetLastError());
      return false;
    }
    if (got < buffer.size()) {
      buffer.resize(got);
      // Set with the "\\?\" prefix, the directory is given back with it.
      *dir = ToUtf8(WithoutLongPrefix(buffer));
      return true;
    }
    buffer.resize(got);  // the size needed, terminating zero included
  }
}

}  // namespace platform
