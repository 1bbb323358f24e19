#include "platform/current_dir.h"

#include <unistd.h>

#include <cerrno>

namespace platform {

bool GetCurrentDir(std::string* dir, int* err) {
  std::string buffer(256, '\0');
  for (;;) {
    if (getcwd(buffer.data(), buffer.size()) != nullptr) {
      buffer.resize(buffer.find('\0'));
      *dir = std::move(buffer);
      return true;
    }
    if (errno != ERANGE) {
      *err = errno;
      return false;
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace platform
