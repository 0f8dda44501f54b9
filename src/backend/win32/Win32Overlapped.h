// Waiting for an overlapped call or a stop event, whichever comes first, without polling; a
// stopped call is cancelled and waited for, a bounded time. The record and the memory the
// system writes into belong to the call, not to the caller: a cancelled call that a driver
// does not complete in time keeps them (and its event) until it does, so nothing is ever
// written into memory that has gone.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "rtl/ManualResetEvent.h"

namespace platform::win32 {

struct TOverlappedOutcome {
  uint32_t Error = 0;
  uint32_t Bytes = 0;
  bool Stopped = false;
  // The call failed as it was issued (or could not be issued); nothing was outstanding.
  bool StartFailed = false;
};

// One call's record, its completion event and the memory it reads into and sends from.
struct TOverlappedCall {
  OVERLAPPED Record{};
  std::vector<uint8_t> Data;
};

// How long a cancelled call is waited for before it is left to finish on its own.
inline constexpr DWORD cCancelledCallWaitMs = 2000;

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

// Issues one overlapped call on AHandle unless AStop is already set (AIssue gets the call,
// with ADataSize bytes of Data, AIn copied to its start), and waits for it or for the stop.
// What the call returned is copied to AOut (up to AOutSize bytes).
TOverlappedOutcome RunOverlapped(HANDLE AHandle, HANDLE AStopEvent,
                                 const rtl::TManualResetEvent& AStop, std::size_t ADataSize,
                                 const void* AIn, std::size_t AInSize, void* AOut,
                                 std::size_t AOutSize,
                                 const std::function<BOOL(TOverlappedCall&)>& AIssue);

// Calls that were cancelled and have not completed yet (they keep their memory).
std::size_t AbandonedOverlappedCalls();

} // namespace platform::win32
