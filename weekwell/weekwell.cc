#include "weekwell/weekwell.h"

#include <string>

#include "common/reporter.h"
#include "platform/clock.h"
#include "platform/output.h"
#include "weekwell/week.h"

int WeekwellMain(int /*argc*/, char** /*argv*/) {
  std::time_t now = platform::CurrentTime();
  std::string line;
  int err = 0;
  if (!WeekLineAt(now, &line, &err)) {
    CReporter("Weekwell")
        .FailErrno("cannot take the local date of the clock reading", std::to_string(now), err);
    return 1;
  }
  platform::WriteOutput(line);
  return 0;
}
