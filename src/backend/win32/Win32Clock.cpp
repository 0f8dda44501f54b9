#include <windows.h>

#include "backend/win32/Win32Platform.h"

namespace platform::win32 {

namespace {

class TWin32Clock : public IClock {
public:
  uint64_t TickCount() override { return GetTickCount64(); }

  rtl::TDateTime Now() override {
    SYSTEMTIME Time{};
    GetLocalTime(&Time);
    return rtl::EncodeDateTime({Time.wYear, Time.wMonth, Time.wDay, Time.wHour, Time.wMinute,
                                Time.wSecond, Time.wMilliseconds});
  }

  void SleepMs(uint32_t AMilliseconds) override { Sleep(AMilliseconds); }
};

} // namespace

std::unique_ptr<IClock> CreateClock() {
  return std::make_unique<TWin32Clock>();
}

} // namespace platform::win32
