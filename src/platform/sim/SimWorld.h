// The simulated world: every platform service in the same process, under a test's control.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/sim/SimAudio.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimDriver.h"
#include "platform/sim/SimFileSystem.h"
#include "platform/sim/SimHid.h"
#include "platform/sim/SimHookLibrary.h"
#include "platform/sim/SimRegistry.h"

namespace platform::sim {

// A temporary folder that stands in for the executable's folder and for Documents; its name
// carries non-ASCII characters so that every test crosses them. Removed when destroyed.
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

private:
  std::string FRootFolder;
  std::string FModuleFolder;
  std::string FDocumentsFolder;
  TOsVersion FOsVersion{10, 0, 19045};
};

// A virtual clock: time moves only when a test advances it or the system sleeps.
class TSimClock : public IClock {
public:
  uint64_t TickCount() override;
  rtl::TDateTime Now() override;
  void SleepMs(uint32_t AMilliseconds) override;

  void Advance(uint64_t AMilliseconds);
  void SetNow(rtl::TDateTime ANow);
  // Milliseconds slept through SleepMs.
  uint64_t SleptMs() const;

private:
  mutable std::mutex FLock;
  uint64_t FTicks = 1000;
  uint64_t FSlept = 0;
  rtl::TDateTime FNow = 46023.5; // 2026-01-01 12:00
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
  std::vector<TSimMessageBox> MessageBoxes() const;
  std::vector<std::string> DebugLines() const;

private:
  mutable std::mutex FLock;
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
  mutable std::mutex FLock;
  std::string FAbbrevLanguage = "ENU";
  std::string FAbbrevCountry = "USA";
  uint16_t FSystemLangID = 0x0409;
  std::vector<TLocaleEntry> FLocales;
};

class TSimWorld {
public:
  TSimWorld();
  TSimRegistry Registry;
  TSimFileSystem Files;
  TSimEnvironment Environment;
  TSimClock Clock;
  TSimDialogs Dialogs;
  TSimLocale Locale;
  TSimDesktop Desktop{Clock, Dialogs};
  // The virtual mouse; plugging and unplugging notify the desktop's registered windows.
  TSimHid Hid;
  TSimFilterDriver Drivers;
  // The hook library (and the keyboard state the recorders read).
  TSimHookLibrary HookLibrary{Environment.ModuleFolder()};
  // The microphone and the legacy mixer.
  TSimAudio Audio{Desktop, Environment, Dialogs};

  TPlatform Platform() {
    return {Registry, Files,   Environment, Clock,       Dialogs,     Dialogs, Locale,
            Hid,      Desktop, Drivers,     HookLibrary, HookLibrary, Audio};
  }
};

} // namespace platform::sim
