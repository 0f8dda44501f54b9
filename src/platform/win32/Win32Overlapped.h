// Waiting for an overlapped call or a stop event, whichever comes first, without polling; a
// stopped call is cancelled and waited for, so its buffers can go when this returns.
#pragma once

#include <windows.h>

#include <cstdint>

#include "rtl/ManualResetEvent.h"

namespace platform::win32 {

struct TOverlappedOutcome {
  uint32_t Error = 0;
  uint32_t Bytes = 0;
  bool Stopped = false;
};

// Mirrors a portable stop event into a Win32 event for the life of one call.
class TStopMirror {
public:
  TStopMirror(const rtl::TManualResetEvent& AStop, HANDLE AEvent);
  ~TStopMirror();
  TStopMirror(const TStopMirror&) = delete;
  TStopMirror& operator=(const TStopMirror&) = delete;
  bool Stopped() const { return FStop.IsSet(); }

private:
  rtl::TManualResetEvent& FStop;
  int FToken;
};

// AIssued is the result of the call that was given AOverlapped (whose hEvent is its own).
TOverlappedOutcome AwaitOverlapped(HANDLE AHandle, OVERLAPPED& AOverlapped, BOOL AIssued,
                                   HANDLE AStopEvent);

} // namespace platform::win32
