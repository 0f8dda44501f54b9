#include "backend/sim/SimWorld.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <random>
#include <set>
#include <stdexcept>
#include <thread>

#include "backend/sim/SimProcess.h"
#include "backend/sim/SimRecord.h"
#include "platform/WindowMessages.h"
#include "rtl/Component.h"
#include "rtl/Mutex.h"
#include "rtl/Paths.h"

namespace platform::sim {

namespace fs = std::filesystem;

namespace {
std::string PathToUtf8(const fs::path& APath) {
  const std::u8string Text = APath.u8string();
  return std::string(Text.begin(), Text.end());
}

// A world's folder is named after the process that made it, so that what a killed process
// left behind can be told from what a running one uses.
const std::string cFolderPrefix = "monitor-sim-\xC3\xA9\xE4\xB8\xAD-";

rtl::TMutex GFoldersLock;
// Set once the folders in use were removed for a signal that ends the process.
bool GFoldersRemoved = false;
std::set<std::string>& FoldersInUse() {
  static std::set<std::string> Folders;
  return Folders;
}

// The process that made a world's folder, from its name; 0 for another name.
long FolderOwner(const std::string& AName) {
  if (AName.rfind(cFolderPrefix, 0) != 0) {
    return 0;
  }
  const std::string Rest = AName.substr(cFolderPrefix.size());
  const std::size_t Dash = Rest.find('-');
  if (Dash == 0 || Dash == std::string::npos || Dash > 9 ||
      !std::all_of(Rest.begin(), Rest.begin() + static_cast<std::ptrdiff_t>(Dash),
                   [](char C) { return C >= '0' && C <= '9'; })) {
    return 0;
  }
  return std::stol(Rest.substr(0, Dash));
}
} // namespace

void RemoveLeftoverWorldFolders() {
  std::error_code Error;
  for (fs::directory_iterator Entry(fs::temp_directory_path(), Error), End; !Error && Entry != End;
       Entry.increment(Error)) {
    const long Owner = FolderOwner(PathToUtf8(Entry->path().filename()));
    if (Owner > 0 && SimProcessEnded(Owner)) {
      std::error_code Ignored;
      fs::remove_all(Entry->path(), Ignored);
    }
  }
}

void RemoveWorldFoldersInUse() {
  rtl::TLockGuard Guard(GFoldersLock);
  GFoldersRemoved = true;
  for (const std::string& Folder : FoldersInUse()) {
    // The process's other threads go on until the signal ends it: a file they write into the
    // folder meanwhile makes a removal fail, so it is tried again until the folder is gone.
    constexpr int cAttempts = 50;
    std::error_code Ignored;
    for (int Attempt = 0; Attempt < cAttempts && fs::exists(Utf8Path(Folder), Ignored); ++Attempt) {
      fs::remove_all(Utf8Path(Folder), Ignored);
      if (fs::exists(Utf8Path(Folder), Ignored)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    }
  }
}

TSimEnvironment::TSimEnvironment() {
  static std::once_flag Cleaned;
  std::call_once(Cleaned, RemoveLeftoverWorldFolders);
  std::random_device Seed;
  std::mt19937_64 Random(
      Seed() ^ static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
  // Made and counted in use under one lock, so that a signal's removal of the folders in use
  // either finds it or comes before it (and then no more are made).
  rtl::TLockGuard Guard(GFoldersLock);
  if (GFoldersRemoved) {
    throw std::runtime_error("the process is ending: no new simulated world");
  }
  for (int Attempt = 0; Attempt < 100 && FRootFolder.empty(); ++Attempt) {
    const fs::path Candidate =
        fs::temp_directory_path() / Utf8Path(cFolderPrefix + std::to_string(SimProcessId()) + "-" +
                                             std::to_string(Random() % 100000000));
    std::error_code Error;
    if (fs::create_directory(Candidate, Error)) {
      FRootFolder = PathToUtf8(Candidate);
    }
  }
  if (FRootFolder.empty()) {
    throw std::runtime_error("cannot create the simulated world's folder");
  }
  FoldersInUse().insert(FRootFolder);
  FModuleFolder = rtl::IncludeTrailingPathDelimiter(FRootFolder + rtl::PathDelim + "app");
  FDocumentsFolder = FRootFolder + rtl::PathDelim + "Documents";
  fs::create_directory(Utf8Path(FModuleFolder));
  fs::create_directory(Utf8Path(FDocumentsFolder));
}

TSimEnvironment::~TSimEnvironment() {
  rtl::TLockGuard Guard(GFoldersLock);
  std::error_code Error;
  fs::remove_all(Utf8Path(FRootFolder), Error);
  FoldersInUse().erase(FRootFolder);
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
    rtl::TMutex Lock;
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
        rtl::TLockGuard Guard(SetAside->Lock);
        SetAside->Interfaces.insert(SetAside->Interfaces.end(), Gone.begin(), Gone.end());
        return true;
      },
      [this, SetAside](const std::vector<std::string>& APaths) {
        std::vector<TSimHidInterface> Back;
        {
          rtl::TLockGuard Guard(SetAside->Lock);
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
  rtl::TLockGuard Guard(FLock);
  return FTicks;
}

rtl::TDateTime TSimClock::Now() {
  rtl::TLockGuard Guard(FLock);
  return FNow;
}

void TSimClock::Advance(uint64_t AMilliseconds) {
  rtl::TLockGuard Guard(FLock);
  FTicks += AMilliseconds;
  FNow += static_cast<double>(AMilliseconds) / 86400000.0;
}

void TSimClock::SleepMs(uint32_t AMilliseconds) {
  {
    rtl::TLockGuard Guard(FLock);
    FSlept += AMilliseconds;
  }
  Advance(AMilliseconds);
}

void TSimClock::SetNow(rtl::TDateTime ANow) {
  rtl::TLockGuard Guard(FLock);
  FNow = ANow;
}

uint64_t TSimClock::SleptMs() const {
  rtl::TLockGuard Guard(FLock);
  return FSlept;
}

void TSimDialogs::ShowMessageBox(const std::string& AText, const std::string& ACaption,
                                 TMessageBoxIcon AIcon) {
  rtl::TLockGuard Guard(FLock);
  FMessageBoxes.push_back({AText, ACaption, AIcon});
}

void TSimDialogs::DebugOutput(const std::string& AText) {
  rtl::TLockGuard Guard(FLock);
  FDebugLines.push_back(AText);
}

std::vector<TSimMessageBox> TSimDialogs::MessageBoxes(std::size_t AFrom) const {
  rtl::TLockGuard Guard(FLock);
  return RecordFrom(FMessageBoxes, AFrom);
}

std::vector<std::string> TSimDialogs::DebugLines(std::size_t AFrom) const {
  rtl::TLockGuard Guard(FLock);
  return RecordFrom(FDebugLines, AFrom);
}

TSimLocale::TSimLocale()
    : FLocales{{0x0409, "English", "English", "USA", true},
               {0x0407, "German", "Deutsch", "DEU", true},
               {0x0804, "Chinese (Simplified)",
                "\xE4\xB8\xAD\xE6\x96\x87(\xE7\xAE\x80\xE4\xBD\x93)", "CHN", true},
               {0x0404, "Chinese (Traditional)",
                "\xE4\xB8\xAD\xE6\x96\x87(\xE7\xB9\x81\xE9\xAB\x94)", "TWN", true}} {}

std::string TSimLocale::UserAbbrevLanguageName() {
  rtl::TLockGuard Guard(FLock);
  return FAbbrevLanguage;
}

std::string TSimLocale::UserAbbrevCountryName() {
  rtl::TLockGuard Guard(FLock);
  return FAbbrevCountry;
}

uint16_t TSimLocale::SystemDefaultLangID() {
  rtl::TLockGuard Guard(FLock);
  return FSystemLangID;
}

std::vector<TLocaleEntry> TSimLocale::SupportedLocales() {
  rtl::TLockGuard Guard(FLock);
  return FLocales;
}

void TSimLocale::SetUserLocale(const std::string& AAbbrevLanguage,
                               const std::string& AAbbrevCountry) {
  rtl::TLockGuard Guard(FLock);
  FAbbrevLanguage = AAbbrevLanguage;
  FAbbrevCountry = AAbbrevCountry;
}

void TSimLocale::SetSystemDefaultLangID(uint16_t ALangID) {
  rtl::TLockGuard Guard(FLock);
  FSystemLangID = ALangID;
}

void TSimLocale::SetSupportedLocales(std::vector<TLocaleEntry> ALocales) {
  rtl::TLockGuard Guard(FLock);
  FLocales = std::move(ALocales);
}

} // namespace platform::sim
