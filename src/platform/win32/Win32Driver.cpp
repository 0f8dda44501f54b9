#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include "platform/SysError.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32Text.h"

namespace platform::win32 {

namespace {

uint32_t LastError() {
  return static_cast<uint32_t>(GetLastError());
}

class TWin32DriverHandle : public IDriverHandle {
public:
  TWin32DriverHandle(HANDLE AHandle)
      : FHandle(AHandle), FDoneEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        FStopEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~TWin32DriverHandle() override {
    CloseHandle(FHandle);
    CloseHandle(FDoneEvent);
    CloseHandle(FStopEvent);
  }

  uint32_t Control(uint32_t ACode, void* ABuffer, uint32_t ACount,
                   uint32_t& ABytesReturned) override {
    DWORD Returned = 0;
    SetLastError(0);
    DeviceIoControl(FHandle, ACode, ABuffer, ACount, ABuffer, ACount, &Returned, nullptr);
    // The error read right after the call: 0 when the call left none.
    const uint32_t Error = LastError();
    ABytesReturned = Returned;
    return Error;
  }

  TControlReadResult ControlRead(uint32_t ACode, const void* AIn, uint32_t AInSize, void* AOut,
                                 uint32_t AOutSize, const rtl::TManualResetEvent& AStop) override {
    TControlReadResult Result;
    auto& Stop = const_cast<rtl::TManualResetEvent&>(AStop);
    ResetEvent(FStopEvent);
    const int Token = Stop.AddSetListener([this] { SetEvent(FStopEvent); });
    OVERLAPPED Overlapped{};
    Overlapped.hEvent = FDoneEvent;
    ResetEvent(FDoneEvent);
    DWORD Returned = 0;
    if (!Stop.IsSet()) {
      SetLastError(0);
      if (!DeviceIoControl(FHandle, ACode, const_cast<void*>(AIn), AInSize, AOut, AOutSize, nullptr,
                           &Overlapped) &&
          GetLastError() != ERROR_IO_PENDING) {
        Result.Error = LastError();
        Stop.RemoveSetListener(Token);
        return Result;
      }
      const HANDLE Waits[2] = {FDoneEvent, FStopEvent};
      if (WaitForMultipleObjects(2, Waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
        CancelIoEx(FHandle, &Overlapped);
        GetOverlappedResult(FHandle, &Overlapped, &Returned, TRUE);
        Result.Stopped = true;
        Result.Error = SysError::OperationAborted;
      } else if (GetOverlappedResult(FHandle, &Overlapped, &Returned, FALSE)) {
        Result.BytesReturned = Returned;
      } else {
        Result.Error = LastError();
      }
    } else {
      Result.Stopped = true;
      Result.Error = SysError::OperationAborted;
    }
    Stop.RemoveSetListener(Token);
    return Result;
  }

  void Cancel() override { CancelIoEx(FHandle, nullptr); }

private:
  HANDLE FHandle;
  HANDLE FDoneEvent;
  HANDLE FStopEvent;
};

class TWin32DriverDevices : public IDriverDevices {
public:
  std::unique_ptr<IDriverHandle> OpenDeviceObject(const std::string& APath, bool AOverlapped,
                                                  uint32_t& AError) override {
    const HANDLE Handle =
        CreateFileW(ToWide(APath).c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | (AOverlapped ? FILE_FLAG_OVERLAPPED : 0), nullptr);
    if (Handle == INVALID_HANDLE_VALUE) {
      AError = LastError();
      return nullptr;
    }
    AError = SysError::Success;
    return std::make_unique<TWin32DriverHandle>(Handle);
  }
};

} // namespace

std::unique_ptr<IDriverDevices> CreateDriverDevices() {
  return std::make_unique<TWin32DriverDevices>();
}

} // namespace platform::win32
