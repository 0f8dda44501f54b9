// The services of one backend, handed down by reference from the edge that chose it.
#pragma once

#include "platform/Audio.h"
#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "platform/DeviceSetup.h"
#include "platform/Dialogs.h"
#include "platform/Driver.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/Hid.h"
#include "platform/Libraries.h"
#include "platform/Locale.h"
#include "platform/Registry.h"
#include "platform/Services.h"
#include "platform/Shell.h"
#include "platform/SystemInfo.h"

namespace platform {

struct TPlatform {
  IRegistry& Registry;
  IFileSystem& Files;
  IEnvironment& Environment;
  IClock& Clock;
  IDialogs& Dialogs;
  IDebugOutput& Debug;
  ILocale& Locale;
  IHid& Hid;
  IDesktop& Desktop;
  IDriverDevices& Drivers;
  ILibraries& Libraries;
  IKeyboardState& Keyboard;
  IShell& Shell;
  IAudio& Audio;
  IDeviceSetup& Devices;
  IServiceControl& Services;
  ISystemInfo& System;
};

} // namespace platform
