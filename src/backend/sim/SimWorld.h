// The simulated world: every platform service in the same process, under a test's control.
#pragma once

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "backend/sim/SimAudio.h"
#include "backend/sim/SimClock.h"
#include "backend/sim/SimDesktop.h"
#include "backend/sim/SimDeviceSetup.h"
#include "backend/sim/SimDriver.h"
#include "backend/sim/SimFileSystem.h"
#include "backend/sim/SimHid.h"
#include "backend/sim/SimHookLibrary.h"
#include "backend/sim/SimRegistry.h"
#include "backend/sim/SimSession.h"
#include "backend/sim/SimShell.h"
#include "platform/Platform.h"
#include "rtl/Mutex.h"

namespace platform::sim {

// A temporary folder that stands in for the executable's folder and for Documents; its name
// carries non-ASCII characters so that every test crosses them. Removed when destroyed.
// The folders of the simulated worlds: those whose process has ended (a kill, a crash) are
// removed by the first world a process makes; those of this process's living worlds can be
// removed on a signal that ends it (the simulator does).
void RemoveLeftoverWorldFolders();
void RemoveWorldFoldersInUse();

class TSimEnvironment : public IEnvironment {
public:
  TSimEnvironment();
  ~TSimEnvironment() override;
  std::string ModuleFolder() override { return FModuleFolder; }
  std::string DocumentsFolder() override { return FDocumentsFolder; }
  TOsVersion OsVersion() override { return FOsVersion; }
  std::string AnsiToUtf8(std::string_view AText) override { return std::string(AText); }

  const std::string& RootFolder() const { return FRootFolder; }
  void SetOsVersion(TOsVersion AVersion) { FOsVersion = AVersion; }
  // "" stands for a user whose Documents folder the platform cannot name.
  void SetDocumentsFolder(const std::string& AFolder) { FDocumentsFolder = AFolder; }

private:
  std::string FRootFolder;
  std::string FModuleFolder;
  std::string FDocumentsFolder;
  TOsVersion FOsVersion{10, 0, 19045};
};

struct TSimMessageBox {
  std::string Text;
  std::string Caption;
  TMessageBoxIcon Icon;
};

// Message boxes and debugger lines are recorded for tests to read.
class TSimDialogs : public IDialogs, public IDebugOutput {
public:
  void ShowMessageBox(const std::string& AText, const std::string& ACaption,
                      TMessageBoxIcon AIcon) override;
  void DebugOutput(const std::string& AText) override;
  // Each from the AFrom-th on.
  std::vector<TSimMessageBox> MessageBoxes(std::size_t AFrom = 0) const;
  std::vector<std::string> DebugLines(std::size_t AFrom = 0) const;

private:
  mutable rtl::TMutex FLock;
  std::vector<TSimMessageBox> FMessageBoxes;
  std::vector<std::string> FDebugLines;
};

// Locales a test sets up; by default an English (United States) system that also supports
// German and both Chinese locales.
class TSimLocale : public ILocale {
public:
  TSimLocale();
  std::string UserAbbrevLanguageName() override;
  std::string UserAbbrevCountryName() override;
  uint16_t SystemDefaultLangID() override;
  std::vector<TLocaleEntry> SupportedLocales() override;

  void SetUserLocale(const std::string& AAbbrevLanguage, const std::string& AAbbrevCountry);
  void SetSystemDefaultLangID(uint16_t ALangID);
  void SetSupportedLocales(std::vector<TLocaleEntry> ALocales);

private:
  mutable rtl::TMutex FLock;
  std::string FAbbrevLanguage = "ENU";
  std::string FAbbrevCountry = "USA";
  uint16_t FSystemLangID = 0x0409;
  std::vector<TLocaleEntry> FLocales;
};

// One simulated process with every service. Several worlds of one test may share a session
// (its windows, tray, mutexes and clock), as processes of one logon do.
class TSimWorld {
public:
  TSimWorld();
  // Another process in ASession.
  explicit TSimWorld(std::shared_ptr<TSimSession> ASession);
  std::shared_ptr<TSimSession> Session;
  TSimRegistry Registry;
  TSimFileSystem Files;
  TSimEnvironment Environment;
  TSimClock& Clock = Session->Clock;
  TSimDialogs Dialogs;
  TSimLocale Locale;
  TSimDesktop Desktop{*Session, Dialogs};
  // The virtual mouse; plugging and unplugging notify the desktop's registered windows.
  TSimHid Hid;
  TSimFilterDriver Drivers;
  // The hook library (and the keyboard state the recorders read).
  TSimHookLibrary HookLibrary{Environment.ModuleFolder()};
  TSimShell Shell{Desktop};
  // The microphone and the legacy mixer.
  TSimAudio Audio{Desktop, Environment, Dialogs};
  // The device tree, whose stacks load only filters that have a service in Services.
  TSimDeviceTree Devices;
  TSimServiceDatabase Services;
  TSimSystemInfo System{Environment};

  TPlatform Platform() {
    return {Registry, Files,       Environment, Clock, Dialogs, Dialogs, Locale,   Hid,   Desktop,
            Drivers,  HookLibrary, HookLibrary, Shell, Audio,   Devices, Services, System};
  }
};

} // namespace platform::sim
