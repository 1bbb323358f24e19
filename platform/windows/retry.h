// Calls on a file that another program may have open for a moment.
#pragma once

#include <windows.h>

#include "platform/windows/system_calls.h"

namespace platform {

// Runs `call`, which returns true on success, again while it fails because another program has
// the file open without sharing it: virus scanners, the search indexer and sync clients open a
// fresh file for a moment. The waits start at 15 ms and double up to 480 ms, about a second in
// all. 0 when the call succeeded, else its last error.
template <typename Call>
DWORD RetryWhileShared(Call call) {
  for (DWORD wait = 15;; wait *= 2) {
    if (call()) return ERROR_SUCCESS;
    DWORD err = GetLastError();
    if ((err != ERROR_SHARING_VIOLATION && err != ERROR_LOCK_VIOLATION) || wait > 480) return err;
    Sys().Sleep(wait);
  }
}

}  // namespace platform
