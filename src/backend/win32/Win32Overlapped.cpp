#include "backend/win32/Win32Overlapped.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/SysError.h"
#include "rtl/Mutex.h"

namespace platform::win32 {

namespace {

// Owns a call's event; the call is not freed before the system is done with it.
struct TOwnedCall : TOverlappedCall {
  ~TOwnedCall() {
    if (Record.hEvent != nullptr) {
      CloseHandle(Record.hEvent);
    }
  }
};

rtl::TMutex GAbandonedLock;
std::vector<std::unique_ptr<TOwnedCall>> GAbandoned MONITOR_GUARDED_BY(GAbandonedLock);

// Frees the abandoned calls that have completed since.
void ReleaseCompleted() {
  rtl::TLockGuard Guard(GAbandonedLock);
  GAbandoned.erase(std::remove_if(GAbandoned.begin(), GAbandoned.end(),
                                  [](const std::unique_ptr<TOwnedCall>& ACall) {
                                    return HasOverlappedIoCompleted(&ACall->Record);
                                  }),
                   GAbandoned.end());
}

} // namespace

TStopMirror::TStopMirror(const rtl::TManualResetEvent& AStop, HANDLE AEvent)
    : FStop(const_cast<rtl::TManualResetEvent&>(AStop)) {
  ResetEvent(AEvent);
  FToken = FStop.AddSetListener([AEvent] { SetEvent(AEvent); });
  if (FStop.IsSet()) {
    SetEvent(AEvent);
  }
}

TStopMirror::~TStopMirror() {
  FStop.RemoveSetListener(FToken);
}

std::size_t AbandonedOverlappedCalls() {
  ReleaseCompleted();
  rtl::TLockGuard Guard(GAbandonedLock);
  return GAbandoned.size();
}

TOverlappedOutcome RunOverlapped(HANDLE AHandle, HANDLE AStopEvent,
                                 const rtl::TManualResetEvent& AStop, std::size_t ADataSize,
                                 const void* AIn, std::size_t AInSize, void* AOut,
                                 std::size_t AOutSize,
                                 const std::function<BOOL(TOverlappedCall&)>& AIssue) {
  ReleaseCompleted();
  TOverlappedOutcome Outcome;
  if (AStopEvent == nullptr) {
    Outcome.Error = SysError::InvalidHandle;
    Outcome.StartFailed = true;
    return Outcome;
  }
  const TStopMirror Stop(AStop, AStopEvent);
  if (Stop.Stopped()) {
    Outcome.Stopped = true;
    Outcome.Error = SysError::OperationAborted;
    return Outcome;
  }
  auto Call = std::make_unique<TOwnedCall>();
  Call->Record.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (Call->Record.hEvent == nullptr) {
    Outcome.Error = GetLastError();
    Outcome.StartFailed = true;
    return Outcome;
  }
  Call->Data.assign(std::max(ADataSize, AInSize), 0);
  if (AInSize > 0) {
    std::memcpy(Call->Data.data(), AIn, AInSize);
  }
  SetLastError(0);
  if (!AIssue(*Call)) {
    const DWORD Error = GetLastError();
    if (Error != ERROR_IO_PENDING) {
      Outcome.Error = Error;
      Outcome.StartFailed = true;
      return Outcome;
    }
  }
  const HANDLE Waits[2] = {Call->Record.hEvent, AStopEvent};
  DWORD Bytes = 0;
  // Anything but the call's completion (the stop, or a wait that failed) ends the call.
  if (WaitForMultipleObjects(2, Waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
    CancelIoEx(AHandle, &Call->Record);
    Outcome.Stopped = true;
    Outcome.Error = SysError::OperationAborted;
    if (WaitForSingleObject(Call->Record.hEvent, cCancelledCallWaitMs) != WAIT_OBJECT_0) {
      // The driver keeps the cancelled call: it keeps its memory until it completes.
      Outcome.Error = WAIT_TIMEOUT;
      rtl::TLockGuard Guard(GAbandonedLock);
      GAbandoned.push_back(std::move(Call));
      return Outcome;
    }
    GetOverlappedResult(AHandle, &Call->Record, &Bytes, FALSE);
    return Outcome;
  }
  if (GetOverlappedResult(AHandle, &Call->Record, &Bytes, FALSE)) {
    Outcome.Bytes = Bytes;
  } else {
    Outcome.Error = GetLastError();
  }
  // What was returned, also with an error that still returns data (ERROR_MORE_DATA).
  const std::size_t Returned = std::min<std::size_t>({Bytes, AOutSize, Call->Data.size()});
  if (Returned > 0 && AOut != nullptr) {
    std::memcpy(AOut, Call->Data.data(), Returned);
  }
  return Outcome;
}

} // namespace platform::win32
