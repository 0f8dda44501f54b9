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
  uint32_t Error = 0;
  uint32_t BytesReturned = 0;
  // The stop event ended the wait; the call was cancelled and has completed.
  bool Stopped = false;
};

// One open device object; closed when destroyed. Cancel may come from any thread.
class IDriverHandle {
public:
  virtual ~IDriverHandle() = default;
  // ABuffer goes in and comes back; ACount is both sizes.
  virtual uint32_t Control(uint32_t ACode, void* ABuffer, uint32_t ACount,
                           uint32_t& ABytesReturned) = 0;
  // Needs a handle opened for overlapped I/O; blocks without cost until the call completes or
  // AStop is set (then the call is cancelled and waited for before this returns).
  virtual TControlReadResult ControlRead(uint32_t ACode, const void* AIn, uint32_t AInSize,
                                         void* AOut, uint32_t AOutSize,
                                         const rtl::TManualResetEvent& AStop) = 0;
  // Ends a call in progress on this handle with 995.
  virtual void Cancel() = 0;
};

class IDriverDevices {
public:
  virtual ~IDriverDevices() = default;
  // Opens "\\.\name" for reading and writing, sharing both, existing only; null with AError.
  virtual std::unique_ptr<IDriverHandle> OpenDeviceObject(const std::string& APath,
                                                          bool AOverlapped, uint32_t& AError) = 0;
};

} // namespace platform
