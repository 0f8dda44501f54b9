// The real platform: every service on Win32 wide APIs.
#pragma once

#include <memory>

#include "platform/Platform.h"

namespace platform::win32 {

class TWin32Platform {
public:
  TWin32Platform();
  ~TWin32Platform();
  TWin32Platform(const TWin32Platform&) = delete;
  TWin32Platform& operator=(const TWin32Platform&) = delete;

  TPlatform Platform();

private:
  struct TServices;
  std::unique_ptr<TServices> FServices;
};

std::unique_ptr<IRegistry> CreateRegistry();
std::unique_ptr<IFileSystem> CreateFileSystem();
std::unique_ptr<IEnvironment> CreateEnvironment();
std::unique_ptr<IClock> CreateClock();
std::unique_ptr<IDialogs> CreateDialogs();
std::unique_ptr<IDebugOutput> CreateDebugOutput();
std::unique_ptr<ILocale> CreateLocale();
std::unique_ptr<IHid> CreateHid();
std::unique_ptr<IDriverDevices> CreateDriverDevices();
std::unique_ptr<ILibraries> CreateLibraries();
std::unique_ptr<IKeyboardState> CreateKeyboardState();
std::unique_ptr<IShell> CreateShell();
std::unique_ptr<IDeviceSetup> CreateDeviceSetup();
std::unique_ptr<IServiceControl> CreateServiceControl();
std::unique_ptr<ISystemInfo> CreateSystemInfo();
// ADebug takes what change handlers throw.
std::unique_ptr<IAudio> CreateAudio(IDebugOutput& ADebug);
// On the thread that will run the message loop; ADebug takes what window procedures throw.
std::unique_ptr<IDesktop> CreateDesktopService(IDebugOutput& ADebug);

} // namespace platform::win32
