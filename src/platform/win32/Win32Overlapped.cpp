#include "platform/win32/Win32Overlapped.h"

#include "platform/SysError.h"

namespace platform::win32 {

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

TOverlappedOutcome RunOverlapped(HANDLE AHandle, HANDLE ADoneEvent, HANDLE AStopEvent,
                                 const rtl::TManualResetEvent& AStop,
                                 const std::function<BOOL(OVERLAPPED&)>& AIssue) {
  TOverlappedOutcome Outcome;
  const TStopMirror Stop(AStop, AStopEvent);
  if (Stop.Stopped()) {
    Outcome.Stopped = true;
    Outcome.Error = SysError::OperationAborted;
    return Outcome;
  }
  OVERLAPPED Overlapped{};
  Overlapped.hEvent = ADoneEvent;
  ResetEvent(ADoneEvent);
  SetLastError(0);
  if (!AIssue(Overlapped)) {
    const DWORD Error = GetLastError();
    if (Error != ERROR_IO_PENDING) {
      Outcome.Error = Error;
      Outcome.StartFailed = true;
      return Outcome;
    }
  }
  const HANDLE Waits[2] = {Overlapped.hEvent, AStopEvent};
  DWORD Bytes = 0;
  if (WaitForMultipleObjects(2, Waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
    CancelIoEx(AHandle, &Overlapped);
    GetOverlappedResult(AHandle, &Overlapped, &Bytes, TRUE);
    Outcome.Stopped = true;
    Outcome.Error = SysError::OperationAborted;
  } else if (GetOverlappedResult(AHandle, &Overlapped, &Bytes, FALSE)) {
    Outcome.Bytes = Bytes;
  } else {
    Outcome.Error = GetLastError();
  }
  return Outcome;
}

} // namespace platform::win32
