#include "platform/clock.h"

#include <cerrno>

namespace platform {

std::time_t CurrentTime() { return std::time(nullptr); }

bool LocalCalendar(std::time_t moment, std::tm* fields, int* err) {
  // localtime_r need not look at TZ again by itself; tzset makes a changed zone take effect.
  tzset();
  errno = 0;
  if (localtime_r(&moment, fields) != nullptr) return true;
  *err = errno != 0 ? errno : EOVERFLOW;
  return false;
}

}  // namespace platform
