// The services of one backend, handed down by reference from the edge that chose it.
//
// How the interfaces' contracts read: each method says, as far as it applies and in this
// order, who calls it and on which thread; whether it blocks and on what; what failure looks
// like; and who owns what it hands back and how long that lives.
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

// References only: the backend object made at the program's entry (the Win32 platform in the
// programs, a simulated world in tests and the simulator) owns every service, and a TPlatform
// is valid while that object lives. Whatever a service hands out (a device, a key, an
// endpoint, a node list) ends before that object does: some backends allow more, none
// promises it. The services live on no thread of their own; each method says where it may be
// called.
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
