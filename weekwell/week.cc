#include "weekwell/week.h"

#include <cstdio>

#include "platform/clock.h"

int CountSundays(const std::tm& local) {
  // The latest Sunday on or before today is day (yday - wday) of the year; the days 0 to 6
  // before the first Sunday make the quotient 0.
  return (local.tm_yday - local.tm_wday + 7) / 7;
}

std::string FormatDate(const std::tm& local) {
  char text[64];
  size_t length = std::strftime(text, sizeof text, "%d %B %Y", &local);
  return std::string(text, length);
}

std::string WeekLine(const std::tm& local) {
  return "Today is '" + FormatDate(local) + "' Week # " + std::to_string(CountSundays(local)) +
         "\n";
}

bool WeekLineAt(std::time_t moment, std::string* line, int* err) {
  std::tm local{};
  if (!platform::LocalCalendar(moment, &local, err)) return false;
  *line = WeekLine(local);
  return true;
}
