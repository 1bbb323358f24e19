#include "platform/posix/extended_attributes.h"

#include <sys/xattr.h>

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <vector>

namespace platform {
namespace {

// Calls `get(buffer, size)` (a listing or a value) until the buffer is large enough for what
// it returns; false with errno set when it fails otherwise.
template <typename Get>
bool GetGrowing(Get get, std::string* out) {
  for (;;) {
    ssize_t size = get(nullptr, 0);
    if (size < 0) return false;
    out->resize(static_cast<size_t>(size));
    ssize_t got = get(out->data(), out->size());
    if (got >= 0) {
      out->resize(static_cast<size_t>(got));
      return true;
    }
    if (errno != ERANGE) return false;  // it grew meanwhile: ask again
  }
}

// The names of the attributes of `fd`; none where the file system has none.
bool ListNames(int fd, std::vector<std::string>* names) {
  std::string list;
  if (!GetGrowing([fd](char* buf, size_t n) { return flistxattr(fd, buf, n); }, &list)) {
    if (errno != ENOTSUP) return false;
    list.clear();
  }
  names->clear();
  for (size_t at = 0; at < list.size();) {
    std::string_view name(list.data() + at);
    names->emplace_back(name);
    at += name.size() + 1;
  }
  return true;
}

bool GetValue(int fd, const std::string& name, std::string* value) {
  return GetGrowing([&](char* buf, size_t n) { return fgetxattr(fd, name.c_str(), buf, n); },
                    value);
}

bool CarryOne(int from, int to, const std::string& name) {
  std::string value, present;
  if (!GetValue(from, name, &value)) return errno == ENODATA;  // gone meanwhile
  // The same value already there (a security label given at creation) needs no permission.
  if (GetValue(to, name, &present) && present == value) return true;
  return fsetxattr(to, name.c_str(), value.data(), value.size(), 0) == 0;
}

}  // namespace

bool CopyExtendedAttributes(int from, int to, std::string* name) {
  std::vector<std::string> wanted, present;
  name->clear();
  if (!ListNames(from, &wanted)) return false;
  for (const std::string& each : wanted) {
    *name = each;
    if (!CarryOne(from, to, each)) return false;
  }
  if (!ListNames(to, &present)) return false;
  for (const std::string& each : present) {
    if (std::find(wanted.begin(), wanted.end(), each) != wanted.end()) continue;
    *name = each;
    if (fremovexattr(to, each.c_str()) != 0 && errno != ENODATA) return false;
  }
  name->clear();
  return true;
}

}  // namespace platform
