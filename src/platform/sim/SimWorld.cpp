#include "platform/sim/SimWorld.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <random>
#include <stdexcept>

#include "rtl/Component.h"
#include "rtl/Paths.h"

namespace platform::sim {

namespace fs = std::filesystem;

namespace {
std::string PathToUtf8(const fs::path& APath) {
  const std::u8string Text = APath.u8string();
  return std::string(Text.begin(), Text.end());
}
} // namespace

TSimEnvironment::TSimEnvironment() {
  std::random_device Seed;
  std::mt19937_64 Random(
      Seed() ^ static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
  for (int Attempt = 0; Attempt < 100 && FRootFolder.empty(); ++Attempt) {
    const fs::path Candidate =
        fs::temp_directory_path() /
        Utf8Path("monitor-sim-\xC3\xA9\xE4\xB8\xAD-" + std::to_string(Random() % 100000000));
    std::error_code Error;
    if (fs::create_directory(Candidate, Error)) {
      FRootFolder = PathToUtf8(Candidate);
    }
  }
  if (FRootFolder.empty()) {
    throw std::runtime_error("cannot create the simulated world's folder");
  }
  FModuleFolder = rtl::IncludeTrailingPathDelimiter(FRootFolder + rtl::PathDelim + "app");
  FDocumentsFolder = FRootFolder + rtl::PathDelim + "Documents";
  fs::create_directory(Utf8Path(FModuleFolder));
  fs::create_directory(Utf8Path(FDocumentsFolder));
}

TSimEnvironment::~TSimEnvironment() {
  std::error_code Error;
  fs::remove_all(Utf8Path(FRootFolder), Error);
}

TSimWorld::TSimWorld() : TSimWorld(std::make_shared<TSimSession>()) {}

TSimWorld::TSimWorld(std::shared_ptr<TSimSession> ASession) : Session(std::move(ASession)) {
  Hid.SetDeviceChangeHook([this](uintptr_t AEvent) {
    Desktop.BroadcastDeviceChange(cHidInterfaceClass, AEvent, DBT_DEVTYP_DEVICEINTERFACE_VALUE);
  });
  Hid.SetHandleEventHook([this](uintptr_t AWindow, uintptr_t AEvent,
                                const TDevBroadcastHandle& ABroadcast) {
    // Asked from another process (a package tool restarting the node), the question is a
    // message sent to the main thread, answered only when that thread serves it.
    intptr_t Answer = 0;
    Desktop.Synchronize([&] {
      Answer = Desktop.SendDeviceChange(AWindow, AEvent, reinterpret_cast<intptr_t>(&ABroadcast));
    });
    return Answer;
  });
  // A filter loads only with a service not marked for deletion, and its service runs while a
  // stack has it loaded (so a deletion waits for the last stack to stop, as on Windows).
  Devices.SetFilterServices(
      [this](const std::string& AName) {
        const std::optional<TSimService> Service = Services.Service(AName);
        return Service && !Service->MarkedForDeletion;
      },
      [this](const std::string& AName, bool ALoaded) {
        if (Services.Service(AName)) {
          Services.SetRunning(AName, ALoaded);
        }
      });
  // A disabled node's HID interfaces wait here until it is enabled again.
  struct TSetAside {
    std::mutex Lock;
    std::vector<TSimHidInterface> Interfaces;
  };
  auto SetAside = std::make_shared<TSetAside>();
  Devices.SetInterfaceHooks(
      [this, SetAside](const std::vector<std::string>& APaths) {
        std::vector<TSimHidInterface> Gone;
        for (const std::string& Path : APaths) {
          const std::optional<TSimHidInterface> Interface = Hid.Interface(Path);
          if (!Interface) {
            continue;
          }
          if (Hid.RequestRemoval(Path) != TSimRemoval::Removed) {
            // The node runs on: what went already comes back.
            for (const TSimHidInterface& Back : Gone) {
              Hid.Plug(Back);
            }
            return false;
          }
          Gone.push_back(*Interface);
        }
        std::lock_guard<std::mutex> Guard(SetAside->Lock);
        SetAside->Interfaces.insert(SetAside->Interfaces.end(), Gone.begin(), Gone.end());
        return true;
      },
      [this, SetAside](const std::vector<std::string>& APaths) {
        std::vector<TSimHidInterface> Back;
        {
          std::lock_guard<std::mutex> Guard(SetAside->Lock);
          auto& Items = SetAside->Interfaces;
          for (const std::string& Path : APaths) {
            const auto Found = std::find_if(Items.begin(), Items.end(), [&](const auto& AItem) {
              return rtl::SameText(AItem.Path, Path);
            });
            if (Found != Items.end()) {
              Back.push_back(*Found);
              Items.erase(Found);
            }
          }
        }
        for (const TSimHidInterface& Interface : Back) {
          Hid.Plug(Interface);
        }
      });
}

uint64_t TSimClock::TickCount() {
  std::lock_guard<std::mutex> Guard(FLock);
  return FTicks;
}

rtl::TDateTime TSimClock::Now() {
  std::lock_guard<std::mutex> Guard(FLock);
  return FNow;
}

void TSimClock::Advance(uint64_t AMilliseconds) {
  std::lock_guard<std::mutex> Guard(FLock);
  FTicks += AMilliseconds;
  FNow += static_cast<double>(AMilliseconds) / 86400000.0;
}

void TSimClock::SleepMs(uint32_t AMilliseconds) {
  {
    std::lock_guard<std::mutex> Guard(FLock);
    FSlept += AMilliseconds;
  }
  Advance(AMilliseconds);
}

void TSimClock::SetNow(rtl::TDateTime ANow) {
  std::lock_guard<std::mutex> Guard(FLock);
  FNow = ANow;
}

uint64_t TSimClock::SleptMs() const {
  std::lock_guard<std::mutex> Guard(FLock);
  return FSlept;
}

void TSimDialogs::ShowMessageBox(const std::string& AText, const std::string& ACaption,
                                 TMessageBoxIcon AIcon) {
  std::lock_guard<std::mutex> Guard(FLock);
  FMessageBoxes.push_back({AText, ACaption, AIcon});
}

void TSimDialogs::DebugOutput(const std::string& AText) {
  std::lock_guard<std::mutex> Guard(FLock);
  FDebugLines.push_back(AText);
}

std::vector<TSimMessageBox> TSimDialogs::MessageBoxes() const {
  std::lock_guard<std::mutex> Guard(FLock);
  return FMessageBoxes;
}

std::vector<std::string> TSimDialogs::DebugLines() const {
  std::lock_guard<std::mutex> Guard(FLock);
  return FDebugLines;
}

TSimLocale::TSimLocale()
    : FLocales{{0x0409, "English", "English", "USA", true},
               {0x0407, "German", "Deutsch", "DEU", true},
               {0x0804, "Chinese (Simplified)",
                "\xE4\xB8\xAD\xE6\x96\x87(\xE7\xAE\x80\xE4\xBD\x93)", "CHN", true},
               {0x0404, "Chinese (Traditional)",
                "\xE4\xB8\xAD\xE6\x96\x87(\xE7\xB9\x81\xE9\xAB\x94)", "TWN", true}} {}

std::string TSimLocale::UserAbbrevLanguageName() {
  std::lock_guard<std::mutex> Guard(FLock);
  return FAbbrevLanguage;
}

std::string TSimLocale::UserAbbrevCountryName() {
  std::lock_guard<std::mutex> Guard(FLock);
  return FAbbrevCountry;
}

uint16_t TSimLocale::SystemDefaultLangID() {
  std::lock_guard<std::mutex> Guard(FLock);
  return FSystemLangID;
}

std::vector<TLocaleEntry> TSimLocale::SupportedLocales() {
  std::lock_guard<std::mutex> Guard(FLock);
  return FLocales;
}

void TSimLocale::SetUserLocale(const std::string& AAbbrevLanguage,
                               const std::string& AAbbrevCountry) {
  std::lock_guard<std::mutex> Guard(FLock);
  FAbbrevLanguage = AAbbrevLanguage;
  FAbbrevCountry = AAbbrevCountry;
}

void TSimLocale::SetSystemDefaultLangID(uint16_t ALangID) {
  std::lock_guard<std::mutex> Guard(FLock);
  FSystemLangID = ALangID;
}

void TSimLocale::SetSupportedLocales(std::vector<TLocaleEntry> ALocales) {
  std::lock_guard<std::mutex> Guard(FLock);
  FLocales = std::move(ALocales);
}

} // namespace platform::sim
