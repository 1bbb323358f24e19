// The system clock and the local calendar of the zone the environment selects.
#pragma once

#include <ctime>

namespace platform {

// The current time, in seconds since 1970-01-01 00:00:00 UTC.
std::time_t CurrentTime();

// Fills `fields` with the local date and time of `moment`, under the zone rules in force now
// (on this system the TZ variable picks them, read again on every call). False, with `*err` set
// to the system's error number, when the moment has no local date the calendar fields can hold.
bool LocalCalendar(std::time_t moment, std::tm* fields, int* err);

}  // namespace platform
