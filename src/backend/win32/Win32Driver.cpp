#include <windows.h>

#include "backend/win32/Win32Overlapped.h"
#include "backend/win32/Win32Platform.h"
#include "backend/win32/Win32Text.h"
#include "platform/SysError.h"

namespace platform::win32 {

namespace {

uint32_t LastError() {
  return static_cast<uint32_t>(GetLastError());
}

class TWin32DriverHandle : public IDriverHandle {
public:
  TWin32DriverHandle(HANDLE AHandle)
      : FHandle(AHandle), FStopEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~TWin32DriverHandle() override {
    CloseHandle(FHandle);
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
    // The call sends from and reads into memory of its own (buffered control codes).
    const TOverlappedOutcome Outcome =
        RunOverlapped(FHandle, FStopEvent, AStop, AOutSize, AIn, AInSize, AOut, AOutSize,
                      [&](TOverlappedCall& ACall) {
                        return DeviceIoControl(FHandle, ACode, ACall.Data.data(), AInSize,
                                               ACall.Data.data(), AOutSize, nullptr, &ACall.Record);
                      });
    TControlReadResult Result;
    Result.Error = Outcome.Error;
    Result.BytesReturned = Outcome.Bytes;
    Result.Stopped = Outcome.Stopped;
    return Result;
  }

  void Cancel() override { CancelIoEx(FHandle, nullptr); }

private:
  HANDLE FHandle;
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
