#include <windows.h>

#include "backend/win32/Win32Platform.h"
#include "backend/win32/Win32Text.h"
#include "platform/SysError.h"

namespace platform::win32 {

namespace {

uint32_t LastError() {
  return static_cast<uint32_t>(GetLastError());
}

class TWin32Service : public IService {
public:
  explicit TWin32Service(SC_HANDLE AHandle) : FHandle(AHandle) {}
  ~TWin32Service() override { CloseServiceHandle(FHandle); }
  TWin32Service(const TWin32Service&) = delete;
  TWin32Service& operator=(const TWin32Service&) = delete;

  uint32_t ChangeConfig(const TServiceConfig& AConfig) override {
    const std::wstring Binary = ToWide(AConfig.BinaryPath);
    const std::wstring Display = ToWide(AConfig.DisplayName);
    return ChangeServiceConfigW(FHandle, AConfig.ServiceType, AConfig.StartType,
                                AConfig.ErrorControl, Binary.c_str(), nullptr, nullptr, nullptr,
                                nullptr, nullptr, Display.c_str())
               ? SysError::Success
               : LastError();
  }

  uint32_t Delete() override { return DeleteService(FHandle) ? SysError::Success : LastError(); }

private:
  SC_HANDLE FHandle;
};

class TWin32ServiceManager : public IServiceManager {
public:
  explicit TWin32ServiceManager(SC_HANDLE AHandle) : FHandle(AHandle) {}
  ~TWin32ServiceManager() override { CloseServiceHandle(FHandle); }
  TWin32ServiceManager(const TWin32ServiceManager&) = delete;
  TWin32ServiceManager& operator=(const TWin32ServiceManager&) = delete;

  std::unique_ptr<IService> OpenExisting(const std::string& AName, uint32_t AAccess,
                                         uint32_t& AError) override {
    const SC_HANDLE Service = OpenServiceW(FHandle, ToWide(AName).c_str(), AAccess);
    AError = Service != nullptr ? SysError::Success : LastError();
    return Service != nullptr ? std::make_unique<TWin32Service>(Service) : nullptr;
  }

  std::unique_ptr<IService> Create(const std::string& AName, const TServiceConfig& AConfig,
                                   uint32_t AAccess, uint32_t& AError) override {
    const std::wstring Binary = ToWide(AConfig.BinaryPath);
    const std::wstring Display = ToWide(AConfig.DisplayName);
    const SC_HANDLE Service =
        CreateServiceW(FHandle, ToWide(AName).c_str(), Display.c_str(), AAccess,
                       AConfig.ServiceType, AConfig.StartType, AConfig.ErrorControl, Binary.c_str(),
                       nullptr, nullptr, nullptr, nullptr, nullptr);
    AError = Service != nullptr ? SysError::Success : LastError();
    return Service != nullptr ? std::make_unique<TWin32Service>(Service) : nullptr;
  }

private:
  SC_HANDLE FHandle;
};

class TWin32ServiceControl : public IServiceControl {
public:
  std::unique_ptr<IServiceManager> OpenManager(uint32_t AAccess, uint32_t& AError) override {
    const SC_HANDLE Manager = OpenSCManagerW(nullptr, nullptr, AAccess);
    AError = Manager != nullptr ? SysError::Success : LastError();
    return Manager != nullptr ? std::make_unique<TWin32ServiceManager>(Manager) : nullptr;
  }
};

} // namespace

std::unique_ptr<IServiceControl> CreateServiceControl() {
  return std::make_unique<TWin32ServiceControl>();
}

} // namespace platform::win32
