#include "app/ctl/ProfileTool.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "app/ConfigProgramProtocol.h"
#include "app/ctl/StagedStore.h"
#include "app/ctl/StoreView.h"
#include "lang/LangFile.h"
#include "platform/SysError.h"
#include "profile/ApplicationList.h"
#include "profile/DMUnit.h"
#include "profile/StoreArchive.h"
#include "rtl/CommandLine.h"
#include "rtl/Component.h"
#include "rtl/DateTime.h"
#include "rtl/Exceptions.h"
#include "rtl/Paths.h"
#include "rtl/Utf.h"

#ifndef MONITOR_VERSION
#define MONITOR_VERSION "0"
#endif

namespace ctl {

namespace {

using nlohmann::json;
using profile::TDM;
using profile::TMouseProfileInfo;
namespace SysError = platform::SysError;

constexpr const char* cUsage =
    "Usage: TARNCTL [--json] [--force] COMMAND [ARGUMENTS]; TARNCTL --help tells more.\n";

constexpr const char* cHelp = R"(Usage: TARNCTL [OPTIONS] COMMAND [ARGUMENTS]

The profile tool of the gaming mouse: shows, changes, resets, backs up and restores the
profile store, the one the monitor (TARNMON.EXE) and the configuration program use. It reads
"config.ini" beside it for where the store is (a key under HKEY_CURRENT_USER and the profile
folder in Documents) and "ui.local" for the names of the languages. After a change it tells a
running monitor to reload, as the configuration program does.

Profiles are numbered 1 to 5, resolution levels 1 to 11, buttons 1 to 24.

Commands:
  show [PROFILE]                  the store: where it is, the current profile, the language,
                                  and each profile's levels, report rate, wheel, buttons and
                                  lights (or one profile's)
  export FILE                     the whole store into FILE: one file, versioned, with a
                                  checksum of every record and a readable summary at its top
  import FILE [--dry-run]         the store from an exported FILE, all checked before anything
                                  is written; --dry-run shows what would change
  reset PROFILE|all|shared        factory defaults for one profile, all five, or the shared
                                  settings (current profile, language, where profiles are)
  game PROFILE                    make PROFILE the current profile
  language INDEX|ID               the language, by its index or short ID in "ui.local"
  cpi PROFILE level N X [Y]       resolution of level N (Y as X when left out), within the
                                  profile's bounds (show lists them)
  cpi PROFILE level N on|off      use level N or leave it out
  cpi PROFILE levels COUNT        how many levels are in use
  cpi PROFILE current N           the current level
  cpi PROFILE onscreen on|off     show a new level (and a hardware profile switch) on screen
                                  for a moment, or not
  button PROFILE BUTTON mute      the button mutes and unmutes the microphone
  button PROFILE BUTTON default   the button's factory assignment
  button PROFILE BUTTON TYPE:INDEX  a raw assignment: function type 0..255, index 0..47
  apps PROFILE on|off             the profile becomes the current one while a program of
                                  its list is in front (the store's current profile returns
                                  when none is), or not
  apps PROFILE add PROGRAM        add to the list: a full path, a folder ending in \ (any
                                  program below it) or a bare name (that name anywhere)
  apps PROFILE remove ENTRY       remove entry 1 to 10 of the list
  wheel PROFILE up|down standard  the wheel direction scrolls as the system does
  wheel PROFILE up|down TYPE:INDEX  a raw assignment; while the profile is current the
                                  monitor watches that direction with its mouse hook (the
                                  scrolling itself still reaches the system)

Options (in any place):
  --json       the result as one JSON document on standard output (show: "registry_key",
               "profile_folder", "stored", "current_profile", "language" {"index", "id"},
               "profile_group" {"current", "profiles"}, "profiles": [{"profile", "stored",
               "storage" {"kind", "name", "folder"}, "current", "resolution"
               {"levels_in_use", "current_level", "min", "max", "bounds_from_profile", "on_screen",
               "levels": [{"level", "x", "y", "enabled", "in_use"}]}, "report_rate",
               "wheel" {"up", "down"}, "buttons": [{"button", "type", "index", "device_code",
               "function_id", "name"}], "light", "light_zones", "applications" {"switch",
               "entries": [{"entry", "program"}]}}]; the other commands:
               "command", "changes": [{"where", "change"}], "monitor_told", "dry_run")
  --force      change the store although the configuration program is open (it may write
               its own copy of the store over the change when it saves)
  --dry-run    with import: show what would change, write nothing
  --help       this text;  --version  the tool's version
  --           what follows is not an option

Every command first finishes a change of the store that was interrupted (a kill, a power
cut): a change is written from a journal in the profile folder, so the store is always the
old one or the new one. A change that fails half way puts back what it wrote.

Exit codes: 0 done; 1 refused or failed (the store is as it was, unless the message says
otherwise); 2 a usage error (nothing was read or written).
)";

class EUsage : public std::invalid_argument {
public:
  using std::invalid_argument::invalid_argument;
};

class EToolError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

struct TOptions {
  bool Json = false;
  bool Force = false;
  bool DryRun = false;
  bool Help = false;
  bool Version = false;
  std::vector<std::string> Operands;
};

TOptions ParseOptions(const std::vector<std::string>& AArgs) {
  TOptions Options;
  try {
    Options.Operands = rtl::SplitCommandLine(AArgs, {{{"--json"}, &Options.Json},
                                                     {{"--force"}, &Options.Force},
                                                     {{"--dry-run"}, &Options.DryRun},
                                                     {{"--help", "-h"}, &Options.Help},
                                                     {{"--version"}, &Options.Version}});
  } catch (const std::invalid_argument& AError) {
    throw EUsage(AError.what());
  }
  // The Windows way of asking for help.
  if (Options.Operands == std::vector<std::string>{"/?"}) {
    Options.Help = true;
  }
  return Options;
}

uint32_t Number(const std::string& AText, uint32_t AMin, uint32_t AMax, const std::string& AWhat) {
  if (const std::optional<uint32_t> Value = rtl::ParseWholeNumber(AText, AMin, AMax)) {
    return *Value;
  }
  throw EUsage(AWhat + " \"" + rtl::EscapeForDisplay(AText) + "\" is not a whole number from " +
               std::to_string(AMin) + " to " + std::to_string(AMax));
}

// A raw assignment "TYPE:INDEX".
std::pair<uint8_t, uint16_t> RawFunction(const std::string& AText) {
  const std::size_t Colon = AText.find(':');
  if (Colon == std::string::npos) {
    throw EUsage("\"" + rtl::EscapeForDisplay(AText) +
                 "\" is not an assignment (mute, default, standard or TYPE:INDEX)");
  }
  return {static_cast<uint8_t>(Number(AText.substr(0, Colon), 0, 255, "the function type")),
          static_cast<uint16_t>(Number(AText.substr(Colon + 1), 0,
                                       profile::cStandardFunctionCount - 1, "the function index"))};
}

// Sets a button's or wheel direction's function as the factory defaults do: the device code
// and function ID follow the index's row of the standard function table.
void Assign(profile::TBUTTONFUNCINFO& AFunction, uint8_t AType, uint16_t AIndex) {
  const profile::TStandardFunction& Row = profile::cStandardFunctions[AIndex];
  AFunction.nFunctionType = AType;
  AFunction.nFunctionIndex = AIndex;
  AFunction.nDeviceCode = Row.DeviceCode;
  AFunction.nFunctionID = Row.FunctionID;
}

// Message boxes of the data module become the errors of a command.
class TCollectedDialogs : public platform::IDialogs {
public:
  void ShowMessageBox(const std::string& AText, const std::string&,
                      platform::TMessageBoxIcon) override {
    Messages.push_back(AText);
  }
  std::vector<std::string> Messages;
};

// The store opened through a stage: the data module reads the real store and writes into
// the stage only.
struct TOpenedStore {
  TOpenedStore(const TToolServices& AServices)
      : Registry(AServices.Registry), Files(AServices.Files) {
    Open(AServices);
  }
  // A module afresh over the same stage (after records that decide where profiles are).
  void Open(const TToolServices& AServices) {
    Module.reset();
    Dialogs.Messages.clear();
    Module = std::make_unique<TDM>(
        nullptr, profile::TDMServices{Registry, Files, AServices.Environment, AServices.Clock,
                                      AServices.Locale, Dialogs});
    if (!Module->StartupError().empty()) {
      throw EToolError("the profile store cannot be read: " + Module->StartupError());
    }
  }
  TStagedRegistry Registry;
  TStagedFiles Files;
  TCollectedDialogs Dialogs;
  std::unique_ptr<TDM> Module;
};

std::string ProfileFilePath(const profile::TPROFILESETTING& ASetting) {
  return rtl::IncludeTrailingPathDelimiter(rtl::ReadFixedText(ASetting.szFilePath)) +
         rtl::ReadFixedText(ASetting.szFileName);
}

bool RealValueExists(platform::IRegistry& ARegistry, const std::string& AKey,
                     const std::string& AName) {
  uint32_t Error = SysError::Success;
  const auto Key =
      ARegistry.OpenKey(platform::RegRoot::CurrentUser, AKey, platform::TKeyAccess::Read, Error);
  uint32_t Type = 0;
  uint64_t Size = 0;
  return Key && Key->QueryValueInfo(AName, Type, Size) == SysError::Success;
}

// Saves game profile AIndex (0..4) from its stream where its storage says. The data module's
// saves give up quietly (a file whose folder cannot be made, a record without a name); here
// that is an error, since nothing staged would pass for "nothing to change".
void SaveProfileStream(TDM& AModule, int AIndex) {
  const profile::TPROFILESETTING& Setting =
      AModule.ProfileSettingGroup().ProfileSettingList[AIndex];
  const std::string Which = "profile " + std::to_string(AIndex + 1);
  if (Setting.nStorage == profile::cStorageRegistry) {
    if (!AModule.SaveProfileInfoToRegistry(AIndex)) {
      throw rtl::EInOutError(Which + " cannot be written: its record names no registry value");
    }
  } else if (Setting.nStorage == profile::cStorageFile) {
    const std::string Path = ProfileFilePath(Setting);
    if (!AModule.ProfileStream(AIndex)->SaveStreamToFile(Path)) {
      throw rtl::EInOutError(Which + " cannot be written to " + Path +
                             ": its folder does not exist and cannot be made");
    }
  } else {
    throw EToolError("profile " + std::to_string(AIndex + 1) + " is stored nowhere (storage kind " +
                     std::to_string(Setting.nStorage) + ")");
  }
}

// An image as long as its record: zero past a shorter stored one, cut after a longer one.
std::vector<uint8_t> RecordImage(const rtl::TMemoryStream& AStream, std::size_t ASize) {
  std::vector<uint8_t> Bytes = AStream.Bytes();
  Bytes.resize(ASize, 0);
  return Bytes;
}

// A message that ends as a sentence does.
std::string Sentence(std::string AText) {
  if (!AText.empty() && AText.back() != '.') {
    AText += '.';
  }
  return AText;
}

bool SamePathStart(const std::string& APath, const std::string& AFolder) {
  if (AFolder.empty() || APath.size() < AFolder.size()) {
    return false;
  }
  return std::equal(AFolder.begin(), AFolder.end(), APath.begin(), [](char A, char B) {
    const auto Fold = [](char C) {
      return C == '/' ? '\\' : C >= 'A' && C <= 'Z' ? static_cast<char>(C + 32) : C;
    };
    return Fold(A) == Fold(B);
  });
}

class TTool {
public:
  TTool(const TToolServices& AServices, const TToolStreams& AStreams, TOptions AOptions)
      : FServices(AServices), FStreams(AStreams), FOptions(std::move(AOptions)) {}

  // What the command line asks for, every argument checked; the store is not touched.
  struct TPlan {
    std::string Command;
    std::optional<int> Profile;
    std::string File;
    std::function<uint32_t(TTool&, TDM&)> Change;
  };
  static TPlan Plan(const TOptions& AOptions) {
    const std::vector<std::string>& Words = AOptions.Operands;
    if (Words.empty()) {
      throw EUsage("no command given");
    }
    TPlan Plan;
    Plan.Command = Words[0];
    const auto Arguments = [&](std::size_t AMin, std::size_t AMax) {
      if (Words.size() - 1 < AMin) {
        throw EUsage("\"" + Plan.Command + "\" needs more arguments");
      }
      if (Words.size() - 1 > AMax) {
        throw EUsage("unexpected \"" + rtl::EscapeForDisplay(Words[AMax + 1]) + "\"");
      }
    };
    if (AOptions.DryRun && Plan.Command != "import") {
      throw EUsage("--dry-run goes with import only");
    }
    if (Plan.Command == "show") {
      Arguments(0, 1);
      if (Words.size() > 1) {
        Plan.Profile = ProfileIndex(Words[1]);
      }
    } else if (Plan.Command == "export" || Plan.Command == "import") {
      Arguments(1, 1);
      Plan.File = Words[1];
    } else {
      Plan.Change = ParseChange(Words);
    }
    return Plan;
  }

  int Run() {
    const TPlan Plan = this->Plan(FOptions);
    if (Plan.Command == "show") {
      return Show(Plan.Profile);
    }
    if (Plan.Command == "export") {
      return Export(Plan.File);
    }
    if (Plan.Command == "import") {
      return Import(Plan.File);
    }
    return Apply(Plan.Command, Plan.Change);
  }

private:
  // ---- the commands that change one thing ----

  // The change as work on the data module; what it answers tells the monitor: 7035 when
  // profiles changed, 7037 when the shared settings did (both bits may be set).
  static constexpr uint32_t cTellProfiles = 1;
  static constexpr uint32_t cTellSettings = 2;

  static std::function<uint32_t(TTool&, TDM&)> ParseChange(const std::vector<std::string>& AWords) {
    const std::string& Command = AWords[0];
    const auto Count = [&](std::size_t AMin, std::size_t AMax) {
      if (AWords.size() - 1 < AMin) {
        throw EUsage("\"" + Command + "\" needs more arguments");
      }
      if (AWords.size() - 1 > AMax) {
        throw EUsage("unexpected \"" + rtl::EscapeForDisplay(AWords[AMax + 1]) + "\"");
      }
    };
    if (Command == "reset") {
      Count(1, 1);
      if (AWords[1] == "all") {
        return [](TTool&, TDM& AModule) {
          AModule.RestoreAllProfileInfoToDefault();
          for (int Index = 0; Index < profile::cGameProfileCount; ++Index) {
            SaveProfileStream(AModule, Index);
          }
          return cTellProfiles;
        };
      }
      if (AWords[1] == "shared") {
        return [](TTool&, TDM& AModule) {
          AModule.uiProfileAllSettingInfo->RestoreToDefault();
          AModule.uiProfileAllSettingInfo->SaveStreamToRegistry();
          AModule.RestoreProfileSettingGroupToDefault();
          // The records as now stored, for what the change is shown as.
          AModule.LoadAllProfileInfoFromRegistry();
          AModule.LoadProfileGroupSettingInfoFromRegistry();
          return cTellProfiles | cTellSettings;
        };
      }
      const int Profile = ProfileIndex(AWords[1]);
      return [Profile](TTool&, TDM& AModule) {
        AModule.RestoreProfileInfoToDefault(Profile);
        SaveProfileStream(AModule, Profile);
        return cTellProfiles;
      };
    }
    if (Command == "game") {
      Count(1, 1);
      const int Profile = ProfileIndex(AWords[1]);
      return [Profile](TTool&, TDM& AModule) {
        AModule.SwitchToProfile(Profile);
        AModule.SaveBackAllProfileSettingInfo();
        return cTellProfiles;
      };
    }
    if (Command == "language") {
      Count(1, 1);
      // The names are those of "ui.local", read when the change runs.
      const std::string& Language = AWords[1];
      return [Language](TTool& ATool, TDM& AModule) {
        AModule.AllProfileSettingInfo().CurrentLanguage = ATool.LanguageIndex(Language);
        AModule.SaveBackAllProfileSettingInfo();
        return cTellSettings;
      };
    }
    if (Command == "cpi") {
      return ParseCpi(AWords);
    }
    if (Command == "button") {
      Count(3, 3);
      const int Profile = ProfileIndex(AWords[1]);
      const int Button =
          static_cast<int>(Number(AWords[2], 1, profile::cButtonCount, "the button")) - 1;
      const std::string& What = AWords[3];
      std::optional<std::pair<uint8_t, uint16_t>> Raw;
      if (What != "mute" && What != "default") {
        Raw = RawFunction(What);
      }
      return EditProfile(Profile, [=](TDM& AModule, TMouseProfileInfo& ARecord) {
        profile::TBUTTONFUNCINFO& Function = ARecord.ConfigInfo.ButtonFuncInfo[Button];
        if (What == "mute") {
          Assign(Function, 1, app::cMicrophoneMuteFunction);
        } else if (What == "default") {
          Function = FactoryProfile(AModule, Profile, ARecord)->ConfigInfo.ButtonFuncInfo[Button];
        } else {
          Assign(Function, Raw->first, Raw->second);
        }
      });
    }
    if (Command == "wheel") {
      Count(3, 3);
      const int Profile = ProfileIndex(AWords[1]);
      if (AWords[2] != "up" && AWords[2] != "down") {
        throw EUsage("the wheel's direction is up or down, not \"" +
                     rtl::EscapeForDisplay(AWords[2]) + "\"");
      }
      const int Direction = AWords[2] == "up" ? 0 : 1;
      std::optional<std::pair<uint8_t, uint16_t>> Raw;
      if (AWords[3] != "standard") {
        Raw = RawFunction(AWords[3]);
      }
      return EditProfile(Profile, [=](TDM& AModule, TMouseProfileInfo& ARecord) {
        profile::TBUTTONFUNCINFO& Function = ARecord.ConfigInfo.VWheelButtonFuncInfo[Direction];
        // The standard handling is the factory entry: the standard function table's row of
        // that index names a click, not the wheel's own device code.
        if (Raw) {
          Assign(Function, Raw->first, Raw->second);
        } else {
          Function =
              FactoryProfile(AModule, Profile, ARecord)->ConfigInfo.VWheelButtonFuncInfo[Direction];
        }
      });
    }
    if (Command == "apps") {
      return ParseApplications(AWords);
    }
    throw EUsage("unknown command \"" + rtl::EscapeForDisplay(Command) + "\"");
  }

  static std::function<uint32_t(TTool&, TDM&)>
  ParseApplications(const std::vector<std::string>& AWords) {
    if (AWords.size() < 3) {
      throw EUsage("\"apps\" needs a profile and on, off, add PROGRAM or remove ENTRY");
    }
    const int Profile = ProfileIndex(AWords[1]);
    const std::string& What = AWords[2];
    const auto Last = [&](std::size_t AIndex) {
      if (AWords.size() != AIndex + 1) {
        throw EUsage(AWords.size() <= AIndex
                         ? "\"apps " + What + "\" needs more arguments"
                         : "unexpected \"" + rtl::EscapeForDisplay(AWords[AIndex + 1]) + "\"");
      }
    };
    if (What == "on" || What == "off") {
      Last(2);
      const uint16_t On = What == "on" ? 1 : 0;
      return EditProfile(Profile, [=](TDM&, TMouseProfileInfo& ARecord) {
        ARecord.ConfigInfo.AutoSwitchProfileWhenAppRun = On;
      });
    }
    if (What == "remove") {
      Last(3);
      const int Entry =
          static_cast<int>(Number(AWords[3], 1, profile::cApplicationCount, "the entry")) - 1;
      return EditProfile(Profile, [=](TDM&, TMouseProfileInfo& ARecord) {
        profile::StoreApplicationEntry(ARecord.ConfigInfo, Entry, "");
      });
    }
    if (What != "add") {
      throw EUsage("\"apps\" takes on, off, add PROGRAM or remove ENTRY, not \"" +
                   rtl::EscapeForDisplay(What) + "\"");
    }
    Last(3);
    const std::string Program = AWords[3];
    profile::TMOUSECONFIGINFO Probe{};
    if (Program.empty() || !profile::StoreApplicationEntry(Probe, 0, Program)) {
      throw EUsage("\"" + rtl::EscapeForDisplay(Program) +
                   "\" is not a program for the list: text of at most " +
                   std::to_string(profile::cMaxApplicationUnits) +
                   " UTF-16 units without control characters");
    }
    return EditProfile(Profile, [=](TDM&, TMouseProfileInfo& ARecord) {
      profile::TMOUSECONFIGINFO& Config = ARecord.ConfigInfo;
      int Free = -1;
      for (int Entry = profile::cApplicationCount; Entry-- > 0;) {
        const std::optional<std::string> Text = profile::ApplicationEntry(Config, Entry);
        if (Text && Text->empty()) {
          Free = Entry;
        } else if (Text && profile::SameApplication(*Text, Program)) {
          throw EToolError("\"" + Program + "\" is entry " + std::to_string(Entry + 1) +
                           " of profile " + std::to_string(Profile + 1) + " already");
        }
      }
      if (Free < 0) {
        throw EToolError("the ten entries of profile " + std::to_string(Profile + 1) +
                         " are in use: remove one first");
      }
      profile::StoreApplicationEntry(Config, Free, Program);
    });
  }

  static std::function<uint32_t(TTool&, TDM&)> ParseCpi(const std::vector<std::string>& AWords) {
    if (AWords.size() < 4) {
      throw EUsage("\"cpi\" needs more arguments");
    }
    const int Profile = ProfileIndex(AWords[1]);
    const std::string& What = AWords[2];
    const auto Level = [&] {
      return static_cast<int>(Number(AWords[3], 1, profile::cCPILevelCount, "the level")) - 1;
    };
    const auto Last = [&](std::size_t AIndex) {
      if (AWords.size() > AIndex + 1) {
        throw EUsage("unexpected \"" + rtl::EscapeForDisplay(AWords[AIndex + 1]) + "\"");
      }
    };
    if (What == "levels") {
      Last(3);
      const auto Count =
          static_cast<uint16_t>(Number(AWords[3], 1, profile::cCPILevelCount, "the count"));
      return EditProfile(Profile, [=](TDM&, TMouseProfileInfo& ARecord) {
        profile::TMOUSECONFIGINFO& Config = ARecord.ConfigInfo;
        if (Config.CurrentCPIIndex >= Count) {
          throw EToolError("the current level " + std::to_string(Config.CurrentCPIIndex + 1) +
                           " would not be in use: choose a current level up to " +
                           std::to_string(Count) + " first");
        }
        Config.CPILevel = Count;
      });
    }
    if (What == "onscreen") {
      Last(3);
      if (AWords[3] != "on" && AWords[3] != "off") {
        throw EUsage("\"cpi onscreen\" takes on or off");
      }
      const uint16_t On = AWords[3] == "on" ? 1 : 0;
      return EditProfile(Profile, [=](TDM&, TMouseProfileInfo& ARecord) {
        ARecord.ConfigInfo.UseCPIOnScreenFlyShow = On;
      });
    }
    if (What == "current") {
      Last(3);
      const int Current = Level();
      return EditProfile(Profile, [=](TDM&, TMouseProfileInfo& ARecord) {
        profile::TMOUSECONFIGINFO& Config = ARecord.ConfigInfo;
        if (Current >= Config.CPILevel) {
          throw EToolError("level " + std::to_string(Current + 1) + " is not in use (" +
                           std::to_string(Config.CPILevel) + " levels are)");
        }
        if (Config.CPIState[Current].Enabled == 0) {
          throw EToolError("level " + std::to_string(Current + 1) + " is off");
        }
        Config.CurrentCPIIndex = Current;
      });
    }
    if (What != "level") {
      throw EUsage("\"cpi\" sets a level, levels, current or onscreen, not \"" +
                   rtl::EscapeForDisplay(What) + "\"");
    }
    if (AWords.size() < 5) {
      throw EUsage("\"cpi level\" needs the level and its resolution (or on or off)");
    }
    const int Index = Level();
    if (AWords[4] == "on" || AWords[4] == "off") {
      Last(4);
      const bool On = AWords[4] == "on";
      return EditProfile(Profile, [=](TDM&, TMouseProfileInfo& ARecord) {
        profile::TMOUSECONFIGINFO& Config = ARecord.ConfigInfo;
        if (!On && Index == Config.CurrentCPIIndex) {
          throw EToolError("level " + std::to_string(Index + 1) +
                           " is the current one: choose another current level first");
        }
        // A level switched on takes the resolution it holds: that too must be in bounds.
        if (On) {
          const profile::TCPISTATEITEM& State = Config.CPIState[Index];
          CheckCpiBounds(Config, Profile, State.CPIX, State.CPIY);
        }
        Config.CPIState[Index].Enabled = On ? 1 : 0;
      });
    }
    Last(5);
    const uint32_t X = Number(AWords[4], 0, 65535, "the resolution");
    const uint32_t Y = AWords.size() > 5 ? Number(AWords[5], 0, 65535, "the resolution") : X;
    return EditProfile(Profile, [=](TDM&, TMouseProfileInfo& ARecord) {
      profile::TMOUSECONFIGINFO& Config = ARecord.ConfigInfo;
      CheckCpiBounds(Config, Profile, X, Y);
      Config.CPIState[Index].CPIX = static_cast<uint16_t>(X);
      Config.CPIState[Index].CPIY = static_cast<uint16_t>(Y);
      Config.UseDiffentXY[Index] = X != Y ? 1 : Config.UseDiffentXY[Index];
    });
  }

  static void CheckCpiBounds(const profile::TMOUSECONFIGINFO& AConfig, int AProfile, uint32_t AX,
                             uint32_t AY) {
    const TCpiBounds Bounds = CpiBounds(AConfig);
    for (const uint32_t Value : {AX, AY}) {
      if (Value < Bounds.Min || Value > Bounds.Max) {
        throw EToolError("the resolution " + std::to_string(Value) + " is outside profile " +
                         std::to_string(AProfile + 1) + "'s bounds " + std::to_string(Bounds.Min) +
                         ".." + std::to_string(Bounds.Max));
      }
    }
  }

  // A change of one game profile's record, saved where the profile is stored.
  static std::function<uint32_t(TTool&, TDM&)>
  EditProfile(int AProfile, std::function<void(TDM&, TMouseProfileInfo&)> AEdit) {
    return [AProfile, AEdit = std::move(AEdit)](TTool&, TDM& AModule) {
      auto Record = std::make_unique<TMouseProfileInfo>();
      AModule.ReadProfileInfo(*Record, AProfile);
      AEdit(AModule, *Record);
      AModule.SaveBackToProfileInfo(*Record, AProfile);
      SaveProfileStream(AModule, AProfile);
      return cTellProfiles;
    };
  }

  // What a reset would make of the record: its factory handler run on a copy.
  static std::unique_ptr<TMouseProfileInfo> FactoryProfile(TDM& AModule, int AProfile,
                                                           const TMouseProfileInfo& ARecord) {
    rtl::TMemoryStream Stream;
    Stream.Write(&ARecord, sizeof(ARecord));
    if (AProfile == 3) {
      AModule.uiProfileGame4RestoreToDefault(Stream);
    } else if (AProfile == 4) {
      AModule.uiProfileGame5RestoreToDefault(Stream);
    } else {
      AModule.uiProfileGame1RestoreToDefault(Stream);
    }
    auto Factory = std::make_unique<TMouseProfileInfo>();
    Stream.SetPosition(0);
    Stream.Read(Factory.get(), sizeof(*Factory));
    return Factory;
  }

  int Apply(const std::string& ACommand, const std::function<uint32_t(TTool&, TDM&)>& AChange) {
    FinishInterrupted();
    TOpenedStore Store(FServices);
    const TStoreFacts Before = Facts(Store);
    const std::string Old = StoreText(*Store.Module, Before, std::nullopt);
    uint32_t Tell = 0;
    try {
      Tell = AChange(*this, *Store.Module);
    } catch (const rtl::Exception& AError) {
      throw EToolError(AError.what());
    }
    const std::string New = StoreText(*Store.Module, Facts(Store), std::nullopt);
    return CommitAndTell(ACommand, Store, LineDiff(Old, New), Tell);
  }

  // ---- show, export, import ----

  int Show(std::optional<int> AProfile) {
    FinishInterrupted();
    TOpenedStore Store(FServices);
    const TStoreFacts Facts = this->Facts(Store);
    if (FOptions.Json) {
      FStreams.Out << Dump(StoreJson(*Store.Module, Facts, AProfile)) << "\n";
    } else {
      FStreams.Out << StoreText(*Store.Module, Facts, AProfile);
    }
    return cToolDone;
  }

  int Export(const std::string& AFile) {
    FinishInterrupted();
    TOpenedStore Store(FServices);
    TDM& Module = *Store.Module;
    const TStoreFacts Facts = this->Facts(Store);
    profile::TStoreArchive Archive;
    Archive.Producer = std::string(cToolName) + " " + MONITOR_VERSION;
    Archive.Created = rtl::FormatDateTime(FServices.Clock.Now());
    const std::string Text = StoreText(Module, Facts, std::nullopt);
    for (std::size_t Start = 0; Start < Text.size();) {
      const std::size_t End = std::min(Text.find('\n', Start), Text.size());
      Archive.Summary.push_back(Text.substr(Start, End - Start));
      Start = End + 1;
    }
    const std::string Key = Facts.RegistryKey + "\\";
    Archive.Records.push_back(
        {"allsettings", "registry value " + Key + profile::cAllSettingsValueName,
         RecordImage(Module.uiProfileAllSettingInfo->Stream(), sizeof(profile::TALLGAMESINFO))});
    Archive.Records.push_back({"groups",
                               "registry value " + Key + profile::cProfileSettingGroupValueName,
                               RecordImage(Module.uiProfileSettingGroup->Stream(),
                                           sizeof(profile::TProfileSettingGroup))});
    for (int Index = 0; Index < profile::cGameProfileCount; ++Index) {
      const profile::TPROFILESETTING& Setting =
          Module.ProfileSettingGroup().ProfileSettingList[Index];
      Archive.Records.push_back(
          {"game" + std::to_string(Index + 1),
           Setting.nStorage == profile::cStorageFile
               ? "file " + ProfileFilePath(Setting)
               : "registry value " + Key + rtl::ReadFixedText(Setting.szFileName),
           RecordImage(Module.ProfileStream(Index)->Stream(), sizeof(TMouseProfileInfo))});
    }
    if (RealValueExists(FServices.Registry, Module.OptionsFromConfigFile().ProfileRegFolder,
                        profile::cRecordMacroValueName)) {
      Module.LoadRecordMacroInfoFromRegistry();
      Archive.Records.push_back(
          {"recordmacro", "registry value " + Key + profile::cRecordMacroValueName,
           RecordImage(Module.uiProfileRecordMacroInfo->Stream(), sizeof(profile::TMACROKEYINFO))});
    }
    Archive.Records.push_back(
        {"profilefolder", "the profile folder it was exported from",
         std::vector<uint8_t>(Facts.ProfileFolder.begin(), Facts.ProfileFolder.end())});
    const std::string Bytes = profile::WriteStoreArchive(Archive);
    const uint32_t Error = FServices.Files.ReplaceFileContent(AFile, Bytes.data(), Bytes.size());
    if (Error != SysError::Success) {
      throw EToolError("cannot write " + AFile + ": " + FServices.Files.ErrorText(Error));
    }
    FStreams.Err << "Exported the profile store (" << Archive.Records.size() - 1 << " records) to "
                 << AFile << "\n";
    if (FOptions.Json) {
      json Records = json::array();
      for (const profile::TArchiveRecord& Record : Archive.Records) {
        Records.push_back(
            {{"name", Record.Name}, {"location", Record.Location}, {"size", Record.Bytes.size()}});
      }
      FStreams.Out << Dump({{"command", "export"}, {"file", AFile}, {"records", Records}}) << "\n";
    }
    return cToolDone;
  }

  int Import(const std::string& AFile) {
    std::vector<uint8_t> Bytes;
    const uint32_t Error =
        FServices.Files.ReadWholeFile(AFile, Bytes, profile::cMaxStoreArchiveSize);
    if (Error == SysError::FileTooLarge) {
      throw EToolError("refused " + AFile + ": it is larger than an export can be (" +
                       std::to_string(profile::cMaxStoreArchiveSize) + " bytes)");
    }
    if (Error != SysError::Success) {
      throw EToolError("cannot read " + AFile + ": " + FServices.Files.ErrorText(Error));
    }
    profile::TStoreArchive Archive;
    try {
      Archive = profile::ReadStoreArchive(
          std::string_view(reinterpret_cast<const char*>(Bytes.data()), Bytes.size()));
      CheckImported(Archive);
    } catch (const std::exception& AError) {
      throw EToolError("refused " + AFile + ": " + Sentence(AError.what()) +
                       " The store is untouched.");
    }
    FinishInterrupted();
    TOpenedStore Store(FServices);
    const TStoreFacts Before = Facts(Store);
    const std::string Old = StoreText(*Store.Module, Before, std::nullopt);
    const auto Record = [&](const std::string& AName) -> std::vector<uint8_t> {
      for (const profile::TArchiveRecord& Found : Archive.Records) {
        if (Found.Name == AName) {
          return Found.Bytes;
        }
      }
      return {};
    };
    try {
      std::vector<uint8_t> Shared = Record("allsettings");
      std::vector<uint8_t> Groups = Record("groups");
      const std::vector<uint8_t> From = Record("profilefolder");
      Relocate(Shared, Groups, std::string(From.begin(), From.end()), Before.ProfileFolder);
      TDM& First = *Store.Module;
      First.uiProfileAllSettingInfo->Stream().Assign(Shared);
      First.uiProfileAllSettingInfo->SaveStreamToRegistry();
      First.uiProfileSettingGroup->Stream().Assign(Groups);
      First.uiProfileSettingGroup->SaveStreamToRegistry();
      // Where the profiles go is what the imported groups say.
      Store.Open(FServices);
      TDM& Module = *Store.Module;
      for (int Index = 0; Index < profile::cGameProfileCount; ++Index) {
        Module.ProfileStream(Index)->Stream().Assign(Record("game" + std::to_string(Index + 1)));
        SaveProfileStream(Module, Index);
      }
      const std::vector<uint8_t> Macro = Record("recordmacro");
      if (!Macro.empty()) {
        profile::TMACROKEYINFO Info{};
        std::copy(Macro.begin(), Macro.end(), reinterpret_cast<uint8_t*>(&Info));
        Module.SaveBackRecordMacroInfoToRegistry(Info);
      }
      Store.Open(FServices);
    } catch (const rtl::Exception& AError) {
      throw EToolError("cannot import " + AFile + ": " + Sentence(AError.what()) +
                       " The store is untouched.");
    }
    const std::string New = StoreText(*Store.Module, Facts(Store), std::nullopt);
    return CommitAndTell("import", Store, LineDiff(Old, New), cTellProfiles | cTellSettings);
  }

  // Every record an import writes, checked before anything is: the records a store has,
  // each as long as its type, and the indexes and names the system relies on.
  static void CheckImported(const profile::TStoreArchive& AArchive) {
    const std::pair<std::string, std::size_t> Known[] = {
        {"allsettings", sizeof(profile::TALLGAMESINFO)},
        {"groups", sizeof(profile::TProfileSettingGroup)},
        {"game1", sizeof(TMouseProfileInfo)},
        {"game2", sizeof(TMouseProfileInfo)},
        {"game3", sizeof(TMouseProfileInfo)},
        {"game4", sizeof(TMouseProfileInfo)},
        {"game5", sizeof(TMouseProfileInfo)},
        {"recordmacro", sizeof(profile::TMACROKEYINFO)}};
    for (const profile::TArchiveRecord& Record : AArchive.Records) {
      if (Record.Name == "profilefolder") {
        continue;
      }
      const auto Type = std::find_if(std::begin(Known), std::end(Known), [&](const auto& AKnown) {
        return AKnown.first == Record.Name;
      });
      if (Type == std::end(Known)) {
        throw EToolError("the record \"" + Record.Name + "\" is not part of a profile store");
      }
      if (Record.Bytes.size() != Type->second) {
        throw EToolError("the record \"" + Record.Name + "\" holds " +
                         std::to_string(Record.Bytes.size()) + " bytes where its type has " +
                         std::to_string(Type->second));
      }
    }
    for (std::size_t Required = 0; Required < 7; ++Required) {
      const std::string& Name = Known[Required].first;
      if (std::none_of(
              AArchive.Records.begin(), AArchive.Records.end(),
              [&](const profile::TArchiveRecord& ARecord) { return ARecord.Name == Name; })) {
        throw EToolError("the record \"" + Name + "\" is missing");
      }
    }
    for (const profile::TArchiveRecord& Record : AArchive.Records) {
      CheckRecord(Record);
    }
  }

  static void CheckRecord(const profile::TArchiveRecord& ARecord) {
    const auto Refuse = [&](const std::string& AWhat) {
      throw EToolError("the record \"" + ARecord.Name + "\" is out of range: " + AWhat);
    };
    const auto CheckSetting = [&](const profile::TPROFILESETTING& ASetting, int AIndex) {
      const std::string Which = "profile " + std::to_string(AIndex + 1);
      if (ASetting.nStorage > profile::cStorageFile) {
        Refuse(Which + " has storage kind " + std::to_string(ASetting.nStorage));
      }
      const std::string Name = rtl::ReadFixedText(ASetting.szFileName);
      const bool Plain =
          Name.find_first_of("\\/:") == std::string::npos && Name != "." && Name != ".." &&
          Name.size() > 4 && rtl::SameText(Name.substr(Name.size() - 4), ".pfd") &&
          rtl::EscapeForDisplay(Name) == Name && Name.find('\t') == std::string::npos;
      if (!Plain) {
        Refuse(Which + " is named \"" + rtl::EscapeForDisplay(Name) +
               "\", not a plain name ending in .pfd");
      }
      // A profile in the registry under the name of the shared records would overwrite them.
      for (const char* Shared :
           {profile::cAllSettingsValueName, profile::cProfileSettingGroupValueName,
            profile::cRecordMacroValueName}) {
        if (ASetting.nStorage == profile::cStorageRegistry && rtl::SameText(Name, Shared)) {
          Refuse(Which + " is stored as \"" + Name + "\", the value of another record");
        }
      }
    };
    if (ARecord.Name == "allsettings") {
      profile::TALLGAMESINFO Shared{};
      std::copy(ARecord.Bytes.begin(), ARecord.Bytes.end(), reinterpret_cast<uint8_t*>(&Shared));
      if (Shared.CurrentGame >= profile::cGameProfileCount) {
        Refuse("current profile index " + std::to_string(Shared.CurrentGame));
      }
    } else if (ARecord.Name == "groups") {
      auto Groups = std::make_unique<profile::TProfileSettingGroup>();
      std::copy(ARecord.Bytes.begin(), ARecord.Bytes.end(),
                reinterpret_cast<uint8_t*>(Groups.get()));
      if (!TDM::IsProfileGroupIndexInRange(Groups->CurrentProfileGroup)) {
        Refuse("current group index " + std::to_string(Groups->CurrentProfileGroup));
      }
      for (const int32_t Profile : Groups->ProfileIndexOfProfileGroup) {
        if (!TDM::IsProfileIndexInRange(Profile)) {
          Refuse("a group names profile index " + std::to_string(Profile));
        }
      }
      for (int Index = 0; Index < profile::cGameProfileCount; ++Index) {
        CheckSetting(Groups->ProfileSettingList[Index], Index);
      }
    } else if (ARecord.Name.rfind("game", 0) == 0) {
      auto Profile = std::make_unique<TMouseProfileInfo>();
      std::copy(ARecord.Bytes.begin(), ARecord.Bytes.end(),
                reinterpret_cast<uint8_t*>(Profile.get()));
      const profile::TMOUSECONFIGINFO& Config = Profile->ConfigInfo;
      if (Config.CurrentCPIIndex < 0 || Config.CurrentCPIIndex >= profile::cCPILevelCount) {
        Refuse("current level index " + std::to_string(Config.CurrentCPIIndex));
      }
      if (Config.CPILevel > profile::cCPILevelCount) {
        Refuse(std::to_string(Config.CPILevel) + " levels in use");
      }
      if (Config.ButtonCount < 0 || Config.ButtonCount > profile::cButtonCount) {
        Refuse(std::to_string(Config.ButtonCount) + " buttons");
      }
    }
  }

  // Moves the folders of an export made elsewhere (another user, another computer) into this
  // store's profile folder: the paths that lay in the exporting profile folder.
  static void Relocate(std::vector<uint8_t>& AShared, std::vector<uint8_t>& AGroups,
                       const std::string& AFrom, const std::string& ATo) {
    if (AFrom.empty() || (SamePathStart(AFrom, ATo) && AFrom.size() == ATo.size())) {
      return;
    }
    const auto Move = [&](auto& AField) {
      const std::string Path = rtl::ReadFixedText(AField);
      if (SamePathStart(Path, AFrom)) {
        rtl::StoreFixedText(AField, ATo + Path.substr(AFrom.size()));
      }
    };
    auto Groups = std::make_unique<profile::TProfileSettingGroup>();
    std::copy(AGroups.begin(), AGroups.end(), reinterpret_cast<uint8_t*>(Groups.get()));
    auto Shared = std::make_unique<profile::TALLGAMESINFO>();
    std::copy(AShared.begin(), AShared.end(), reinterpret_cast<uint8_t*>(Shared.get()));
    for (int Index = 0; Index < profile::cGameProfileCount; ++Index) {
      Move(Groups->ProfileSettingList[Index].szFilePath);
      Move(Groups->ProfileSettingList[Index].szMacroPath);
      Move(Shared->Allgameset[Index].szFilePath);
      Move(Shared->Allgameset[Index].szMacroPath);
    }
    const auto* GroupBytes = reinterpret_cast<const uint8_t*>(Groups.get());
    AGroups.assign(GroupBytes, GroupBytes + sizeof(*Groups));
    const auto* SharedBytes = reinterpret_cast<const uint8_t*>(Shared.get());
    AShared.assign(SharedBytes, SharedBytes + sizeof(*Shared));
  }

  // ---- what every change shares ----

  int CommitAndTell(const std::string& ACommand, TOpenedStore& AStore,
                    const std::vector<std::string>& ADiff, uint32_t ATell) {
    const std::vector<TStagedChange> Changes = StagedChanges(AStore.Registry, AStore.Files);
    json Report = {{"command", ACommand}, {"dry_run", FOptions.DryRun}};
    json Listed = json::array();
    for (const TStagedChange& Change : Changes) {
      Listed.push_back({{"where", Change.Where()},
                        {"change", !Change.Before  ? "new"
                                   : !Change.Bytes ? "removed"
                                                   : "changed"}});
    }
    Report["changes"] = Listed;
    Report["monitor_told"] = false;
    std::ostream& Human = FOptions.Json ? FStreams.Err : FStreams.Out;
    for (const std::string& Line : ADiff) {
      Human << Line << "\n";
    }
    if (Changes.empty()) {
      FStreams.Err << "Nothing to change: the store already holds that.\n";
      return Finish(Report);
    }
    for (const TStagedChange& Change : Changes) {
      FStreams.Err << (FOptions.DryRun ? "Would write " : "Writes ") << Change.Where() << "\n";
    }
    if (FOptions.DryRun) {
      FStreams.Err << "Nothing was written (--dry-run).\n";
      return Finish(Report);
    }
    if (FServices.Session.FindTopLevelWindow(app::cConfigWindowClass) != 0) {
      if (!FOptions.Force) {
        throw EToolError("the configuration program is open: it may write its own copy of the "
                         "store over this change when it saves. Close it first, or give --force");
      }
      FStreams.Err << "Warning: the configuration program is open and may write its own copy "
                      "of the store over this change.\n";
    }
    try {
      const std::string Warning =
          Commit(Changes, AStore.Registry, AStore.Files, Journal(*AStore.Module),
                 std::string(cToolName) + " " + MONITOR_VERSION);
      if (!Warning.empty()) {
        FStreams.Err << "Warning: " << Warning << ".\n";
      }
    } catch (const ECommit& AError) {
      throw EToolError(AError.what());
    }
    const platform::TWindowHandle Monitor =
        FServices.Session.FindTopLevelWindow(app::cMainWindowClass);
    bool Told = Monitor != 0;
    if (Told && (ATell & cTellSettings) != 0) {
      Told = FServices.Windows.PostWindowMessage(Monitor, app::WM_MONITOR_RELOAD_SETTINGS, 0, 0);
    }
    if (Told && (ATell & cTellProfiles) != 0) {
      Told = FServices.Windows.PostWindowMessage(Monitor, app::WM_MONITOR_RELOAD_PROFILES, 0, 0);
    }
    FStreams.Err << (Monitor == 0 ? "The monitor is not running: it reads the store when it "
                                    "starts.\n"
                     : Told       ? "Told the running monitor to reload.\n"
                                  : "The running monitor could not be told: it reads the store "
                                    "at its next start.\n");
    Report["monitor_told"] = Told;
    return Finish(Report);
  }

  int Finish(const json& AReport) {
    if (FOptions.Json) {
      FStreams.Out << Dump(AReport) << "\n";
    }
    return cToolDone;
  }

  // ---- the store's whereabouts ----

  std::string Journal(TDM& AModule) {
    return JournalPath(AModule.GetPersonalDocumentProfilePath());
  }

  void FinishInterrupted() {
    std::string Path;
    {
      // Where the journal is, from a module that writes nothing.
      TOpenedStore Probe(FServices);
      Path = Journal(*Probe.Module);
    }
    try {
      const std::string Done = FinishInterruptedCommit(FServices.Registry, FServices.Files, Path);
      if (!Done.empty()) {
        FStreams.Err << "The profile tool " << Done << ".\n";
      }
    } catch (const ECommit& AError) {
      throw EToolError(AError.what());
    }
  }

  TStoreFacts Facts(TOpenedStore& AStore) {
    TDM& Module = *AStore.Module;
    TStoreFacts Facts;
    const std::string Key = Module.OptionsFromConfigFile().ProfileRegFolder;
    Facts.RegistryKey = "HKEY_CURRENT_USER\\" + Key;
    Facts.ProfileFolder = Module.GetPersonalDocumentProfilePath();
    Facts.SharedStored = RealValueExists(FServices.Registry, Key, profile::cAllSettingsValueName);
    for (int Index = 0; Index < profile::cGameProfileCount; ++Index) {
      const profile::TPROFILESETTING& Setting =
          Module.ProfileSettingGroup().ProfileSettingList[Index];
      Facts.Stored[static_cast<std::size_t>(Index)] =
          Setting.nStorage == profile::cStorageFile
              ? FServices.Files.FileExists(ProfileFilePath(Setting))
              : RealValueExists(FServices.Registry, Key, rtl::ReadFixedText(Setting.szFileName));
    }
    Facts.Languages = Languages();
    return Facts;
  }

  std::vector<std::string> Languages() {
    std::vector<uint8_t> Bytes;
    const std::string File =
        rtl::IncludeTrailingPathDelimiter(FServices.Environment.ModuleFolder()) + "ui.local";
    constexpr uint64_t cMaxCatalogue = uint64_t{16} * 1024 * 1024;
    std::vector<std::string> Names;
    if (FServices.Files.ReadWholeFile(File, Bytes, cMaxCatalogue) != SysError::Success) {
      return Names;
    }
    lang::TCatalogueData Catalogue;
    lang::DecodeCatalogue(
        std::string_view(reinterpret_cast<const char*>(Bytes.data()), Bytes.size()), Catalogue);
    for (const lang::TLanguageData& Language : Catalogue.Languages) {
      Names.push_back(Language.ShortID);
    }
    return Names;
  }

  uint8_t LanguageIndex(const std::string& AText) {
    const std::vector<std::string> Names = Languages();
    for (std::size_t Index = 0; Index < Names.size(); ++Index) {
      if (rtl::SameText(Names[Index], AText)) {
        return static_cast<uint8_t>(Index);
      }
    }
    // Without a readable catalogue the factory defaults' three languages are known.
    constexpr uint32_t cFactoryLanguages = 3;
    const uint32_t Count = Names.empty()
                               ? cFactoryLanguages
                               : static_cast<uint32_t>(std::min<std::size_t>(Names.size(), 256));
    if (const std::optional<uint32_t> Index = rtl::ParseWholeNumber(AText, 0, Count - 1)) {
      return static_cast<uint8_t>(*Index);
    }
    std::string Known;
    for (const std::string& Name : Names) {
      Known += (Known.empty() ? "" : ", ") + Name;
    }
    throw EUsage("the language \"" + rtl::EscapeForDisplay(AText) +
                 "\" is neither an index from 0 to " + std::to_string(Count - 1) +
                 (Known.empty() ? "" : " nor one of " + Known));
  }

  static int ProfileIndex(const std::string& AText) {
    return static_cast<int>(Number(AText, 1, profile::cGameProfileCount, "the profile")) - 1;
  }

  static std::string Dump(const json& AJson) {
    return AJson.dump(2, ' ', false, json::error_handler_t::replace);
  }

  const TToolServices& FServices;
  const TToolStreams& FStreams;
  TOptions FOptions;
};

} // namespace

std::string ProfileToolUsageError(const std::vector<std::string>& AArgs) {
  try {
    const TOptions Options = ParseOptions(AArgs);
    if (!Options.Help && !Options.Version) {
      TTool::Plan(Options);
    }
  } catch (const EUsage& AError) {
    return AError.what();
  }
  return "";
}

int RunProfileTool(const std::vector<std::string>& AArgs, const TToolServices& AServices,
                   const TToolStreams& AStreams) {
  try {
    TOptions Options = ParseOptions(AArgs);
    if (Options.Help) {
      AStreams.Out << cHelp;
      return cToolDone;
    }
    if (Options.Version) {
      AStreams.Out << cToolName << " " << MONITOR_VERSION << "\n";
      return cToolDone;
    }
    TTool Tool(AServices, AStreams, std::move(Options));
    return Tool.Run();
  } catch (const EUsage& AError) {
    AStreams.Err << cToolName << ": " << AError.what() << "\n" << cUsage;
    return cToolUsage;
  } catch (const std::exception& AError) {
    AStreams.Err << cToolName << ": " << AError.what() << "\n";
    return cToolFailed;
  }
}

} // namespace ctl
