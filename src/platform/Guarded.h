// Running a handler where nothing may escape: a thread's body, a window procedure, a platform
// callback. What the handler throws becomes one line on the debugger output, in the monitor's
// quiet style, and the caller goes on.
#pragma once

#include "platform/Dialogs.h"

namespace platform {

// Any thread, inside a catch block only: writes "<AWhere>: <what the exception says>"
// ("unknown exception" for one that is not a standard exception). Never throws: a failing
// debugger output is dropped.
void ReportCaughtException(IDebugOutput& ADebug, const char* AWhere) noexcept;

// Any thread: runs AWork on the calling thread; false when it threw (the exception is
// reported and dropped).
template <class TWork>
bool Guarded(IDebugOutput& ADebug, const char* AWhere, TWork&& AWork) noexcept {
  try {
    AWork();
    return true;
  } catch (...) {
    ReportCaughtException(ADebug, AWhere);
    return false;
  }
}

} // namespace platform
