// The week report: today's date and the number of Sundays of the year so far.
#pragma once

#include <ctime>
#include <string>

// The number of Sundays from 1 January to the calendar day of `local`, both included: weeks run
// from Sunday to Saturday, and the days before the year's first Sunday are week 0. Reads only
// tm_yday and tm_wday, so each day counts from its first local moment, whatever the clock does.
int CountSundays(const std::tm& local);

// The date of `local` as "%d %B %Y" (07 December 2026), month names from the current locale.
std::string FormatDate(const std::tm& local);

// The report line for `local`: "Today is '<date>' Week # <count>\n".
std::string WeekLine(const std::tm& local);

// The report line for `moment` in the local zone. False, with `*err` set to the system's error
// number, when the moment has no local date.
bool WeekLineAt(std::time_t moment, std::string* line, int* err);
