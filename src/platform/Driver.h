// Driver device objects ("\\.\" + name): synchronous control exchanges where one buffer is
// input and output, and overlapped control reads that end on completion or on a stop event.
// Errors are system error codes (SysError).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "rtl/ManualResetEvent.h"

namespace platform {

struct TControlReadResult {
  // 0, or the error that ended the call: 995 when the stop event or Cancel ended it, 258 when
  // a stopped call was not finished by the driver within two seconds (it is then left to
  // finish on memory of its own), the driver's own errors otherwise.
  uint32_t Error = 0;
  uint32_t BytesReturned = 0;
  // The stop event ended the wait (or was set before the call was issued: nothing was sent).
  bool Stopped = false;
};

// One open device object; closed when destroyed, and it may outlive the service that opened
// it. It must not be destroyed while a call on it runs: Cancel, or set the stop event, and
// let the call return first. Cancel may come from any thread; the other calls from one thread
// at a time each.
class IDriverHandle {
public:
  virtual ~IDriverHandle() = default;
  // Any thread; on a handle opened without AOverlapped; blocks until the driver answers.
  // ABuffer goes in and comes back; ACount is both sizes. 0, or the error the call left;
  // ABytesReturned is what the driver wrote.
  virtual uint32_t Control(uint32_t ACode, void* ABuffer, uint32_t ACount,
                           uint32_t& ABytesReturned) = 0;
  // A reader thread, one call at a time per handle, on a handle opened with AOverlapped.
  // Sends AIn and blocks without cost until the call completes, Cancel ends it, or AStop is
  // set (then the call is cancelled and waited for, up to two seconds, before this returns).
  // AOut holds BytesReturned bytes and is not written after this returns.
  virtual TControlReadResult ControlRead(uint32_t ACode, const void* AIn, uint32_t AInSize,
                                         void* AOut, uint32_t AOutSize,
                                         const rtl::TManualResetEvent& AStop) = 0;
  // Any thread; never blocks. Ends a ControlRead in progress on this handle with 995
  // (Stopped false); nothing when none is. A Cancel that comes before the read is issued is
  // lost: to end reads for good, set their stop event.
  virtual void Cancel() = 0;
};

class IDriverDevices {
public:
  virtual ~IDriverDevices() = default;
  // Any thread; blocks while the system opens the object. Opens "\\.\name" for reading and
  // writing, sharing both, existing only; the caller owns the handle. Null with AError on
  // failure (FileNotFound when the driver is not loaded). May throw when the process runs out
  // of memory or handles (the simulated world throws std::runtime_error on demand): callers
  // catch.
  virtual std::unique_ptr<IDriverHandle> OpenDeviceObject(const std::string& APath,
                                                          bool AOverlapped, uint32_t& AError) = 0;
};

} // namespace platform
