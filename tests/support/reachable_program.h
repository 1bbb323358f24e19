// Programs that the tests run as user 65534, wherever the build stands.
#pragma once

#include <string>

namespace testsupport {

// `program` as user 65534 can run it: the program itself when that user may reach it, otherwise
// a copy in a folder of the temporary directory open to every user, made once per test process
// and removed at its end. A build below a folder closed to others (root's home is 0700) cannot
// be run by that user from where it stands. Empty, with `why` set, when the tests do not run as
// root or even the copy is out of that user's reach.
std::string ReachableCopy(const std::string& program, std::string* why = nullptr);

// Skips the test, saying why, unless `program` can be run as user 65534.
#define SKIP_UNLESS_RUNNABLE_AS_NOBODY(program)                       \
  if (std::string why_not_runnable;                                   \
      testsupport::ReachableCopy(program, &why_not_runnable).empty()) \
  GTEST_SKIP() << why_not_runnable

}  // namespace testsupport
