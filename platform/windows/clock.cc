#include "platform/clock.h"

#include <windows.h>

namespace platform {
namespace {

// 100-nanosecond intervals from 1601-01-01, the start of the system's calendar, to 1970-01-01.
constexpr long long kUnixEpoch = 116444736000000000LL;
constexpr long long kPerSecond = 10000000LL;

int DayOfYear(const SYSTEMTIME& t) {
  static constexpr int kBefore[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  int year = t.wYear;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return kBefore[t.wMonth - 1] + t.wDay - 1 + (leap && t.wMonth > 2 ? 1 : 0);
}

}  // namespace

std::time_t CurrentTime() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER ticks;
  ticks.LowPart = now.dwLowDateTime;
  ticks.HighPart = now.dwHighDateTime;
  return static_cast<std::time_t>((static_cast<long long>(ticks.QuadPart) - kUnixEpoch) /
                                  kPerSecond);
}

// The zone is the system's (on Windows the TZ variable is the C runtime's business only), with
// the daylight-saving rules of the moment's own year.
bool LocalCalendar(std::time_t moment, std::tm* fields, int* err) {
  long long ticks = static_cast<long long>(moment) * kPerSecond + kUnixEpoch;
  if (moment < 0 || ticks < 0) {
    *err = ERROR_INVALID_PARAMETER;
    return false;
  }
  ULARGE_INTEGER value;
  value.QuadPart = static_cast<unsigned long long>(ticks);
  FILETIME utc_file = {value.LowPart, value.HighPart};
  SYSTEMTIME utc, local;
  if (!FileTimeToSystemTime(&utc_file, &utc) ||
      !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
    *err = static_cast<int>(GetLastError());
    return false;
  }
  *fields = std::tm{};
  fields->tm_year = local.wYear - 1900;
  fields->tm_mon = local.wMonth - 1;
  fields->tm_mday = local.wDay;
  fields->tm_hour = local.wHour;
  fields->tm_min = local.wMinute;
  fields->tm_sec = local.wSecond;
  fields->tm_wday = local.wDayOfWeek;
  fields->tm_yday = DayOfYear(local);
  fields->tm_isdst = -1;
  return true;
}

}  // namespace platform
