#include "backend/win32/Win32Platform.h"

namespace platform::win32 {

struct TWin32Platform::TServices {
  std::unique_ptr<IRegistry> Registry = CreateRegistry();
  std::unique_ptr<IFileSystem> Files = CreateFileSystem();
  std::unique_ptr<IEnvironment> Environment = CreateEnvironment();
  std::unique_ptr<IClock> Clock = CreateClock();
  std::unique_ptr<IDialogs> Dialogs = CreateDialogs();
  std::unique_ptr<IDebugOutput> Debug = CreateDebugOutput();
  std::unique_ptr<ILocale> Locale = CreateLocale();
  std::unique_ptr<IHid> Hid = CreateHid();
  std::unique_ptr<IDesktop> Desktop = CreateDesktopService(*Debug);
  std::unique_ptr<IDriverDevices> Drivers = CreateDriverDevices();
  std::unique_ptr<ILibraries> Libraries = CreateLibraries();
  std::unique_ptr<IKeyboardState> Keyboard = CreateKeyboardState();
  std::unique_ptr<IShell> Shell = CreateShell();
  std::unique_ptr<IAudio> Audio = CreateAudio(*Debug);
  std::unique_ptr<IDeviceSetup> Devices = CreateDeviceSetup();
  std::unique_ptr<IServiceControl> Services = CreateServiceControl();
  std::unique_ptr<ISystemInfo> System = CreateSystemInfo();
};

TWin32Platform::TWin32Platform() : FServices(std::make_unique<TServices>()) {}
TWin32Platform::~TWin32Platform() = default;

TPlatform TWin32Platform::Platform() {
  return {*FServices->Registry, *FServices->Files,   *FServices->Environment, *FServices->Clock,
          *FServices->Dialogs,  *FServices->Debug,   *FServices->Locale,      *FServices->Hid,
          *FServices->Desktop,  *FServices->Drivers, *FServices->Libraries,   *FServices->Keyboard,
          *FServices->Shell,    *FServices->Audio,   *FServices->Devices,     *FServices->Services,
          *FServices->System};
}

} // namespace platform::win32
