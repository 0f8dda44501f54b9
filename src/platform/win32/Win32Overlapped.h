// Waiting for an overlapped call or a stop event, whichever comes first, without polling; a
// stopped call is cancelled and waited for, so its buffers can go when this returns.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

#include "rtl/ManualResetEvent.h"

namespace platform::win32 {

struct TOverlappedOutcome {
  uint32_t Error = 0;
  uint32_t Bytes = 0;
  bool Stopped = false;
  // The call failed as it was issued; nothing was outstanding.
  bool StartFailed = false;
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

// Issues one overlapped call on AHandle (AIssue gets the record, whose event is ADoneEvent)
// unless AStop is already set, and waits for it or for the stop.
TOverlappedOutcome RunOverlapped(HANDLE AHandle, HANDLE ADoneEvent, HANDLE AStopEvent,
                                 const rtl::TManualResetEvent& AStop,
                                 const std::function<BOOL(OVERLAPPED&)>& AIssue);

} // namespace platform::win32
