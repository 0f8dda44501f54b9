#include "app/ctl/StoreView.h"

#include <cstdio>

#include "app/ConfigProgramProtocol.h"
#include "hook/uiKeyCode.h"
#include "profile/ApplicationList.h"
#include "rtl/CommandLine.h"
#include "rtl/Utf.h"

namespace ctl {

namespace {

using nlohmann::json;
using profile::TBUTTONFUNCINFO;
using profile::TMOUSECONFIGINFO;

constexpr uint8_t cTypeStandard = 1;
constexpr uint8_t cTypeCombination = 3;
constexpr uint8_t cTypeSingleKey = 8;
constexpr uint8_t cTypeMediaKey = 10;

// A text from the store as a console and the lines of an export's summary can hold it: its
// control characters (a tab too) and broken UTF-8 escaped.
std::string Shown(std::string_view AText) {
  std::string Text;
  for (const char Char : rtl::EscapeForDisplay(AText)) {
    Text += Char == '\t' ? std::string("\\x09") : std::string(1, Char);
  }
  return Text;
}

// An index of the store shown from 1, whatever a damaged record holds.
int64_t FromOne(int32_t AIndex) {
  return static_cast<int64_t>(AIndex) + 1;
}

std::string Hex4(unsigned AValue) {
  char Text[8];
  std::snprintf(Text, sizeof(Text), "0x%04X", AValue & 0xFFFF);
  return Text;
}

std::string KeyName(int32_t AKey, int32_t AExtended) {
  const std::string& Name = hook::KeyToDescription(AKey, AExtended);
  return Name.empty() ? "key " + Hex4(static_cast<unsigned>(AKey)) : Name;
}

// The host's modifier bits of a combination: Alt 1, Ctrl 2, Shift 4, Win 8.
std::string Modifiers(uint16_t ABits) {
  std::string Text;
  const std::pair<uint16_t, const char*> Names[] = {
      {2, "Ctrl"}, {1, "Alt"}, {4, "Shift"}, {8, "Win"}};
  for (const auto& [Bit, Name] : Names) {
    if ((ABits & Bit) != 0) {
      Text += std::string(Name) + "+";
    }
  }
  return Text;
}

std::string Storage(const profile::TPROFILESETTING& ASetting) {
  if (ASetting.nStorage == profile::cStorageRegistry) {
    return "registry value " + Shown(rtl::ReadFixedText(ASetting.szFileName));
  }
  if (ASetting.nStorage == profile::cStorageFile) {
    std::string Folder = rtl::ReadFixedText(ASetting.szFilePath);
    if (!Folder.empty() && Folder.back() != '\\' && Folder.back() != '/') {
      Folder += '\\';
    }
    return "file " + Shown(Folder + rtl::ReadFixedText(ASetting.szFileName));
  }
  return "nowhere (storage kind " + std::to_string(ASetting.nStorage) + ")";
}

std::string LanguageText(const TStoreFacts& AFacts, uint8_t AIndex) {
  return std::to_string(AIndex) +
         (AIndex < AFacts.Languages.size() ? " (" + AFacts.Languages[AIndex] + ")" : "");
}

std::string FunctionText(const TBUTTONFUNCINFO& AFunction) {
  const std::string Name = FunctionName(AFunction);
  return "type " + std::to_string(AFunction.nFunctionType) + ", index " +
         std::to_string(AFunction.nFunctionIndex) + (Name.empty() ? "" : ": " + Shown(Name));
}

std::string WheelText(const TBUTTONFUNCINFO& AFunction, int ADirection) {
  return IsStandardWheel(AFunction, ADirection)
             ? "standard"
             : FunctionText(AFunction) + " (the monitor watches it with its mouse hook)";
}

std::string LightText(const profile::TLEDCONFIG& ALight) {
  return "red " + std::to_string(ALight.R) + ", green " + std::to_string(ALight.G) + ", blue " +
         std::to_string(ALight.B) + ", brightness " + std::to_string(ALight.BRIGHT_LEVEL) +
         ", breathing speed " + std::to_string(ALight.BREATH_SPEED) + ", mode " +
         std::to_string(ALight.LIGHT_MODE);
}

json FunctionJson(const TBUTTONFUNCINFO& AFunction) {
  const std::string Name = FunctionName(AFunction);
  return {{"type", AFunction.nFunctionType},
          {"index", AFunction.nFunctionIndex},
          {"device_code", AFunction.nDeviceCode},
          {"function_id", AFunction.nFunctionID},
          {"name", Name.empty() ? json(nullptr) : json(Name)}};
}

json LightJson(const profile::TLEDCONFIG& ALight) {
  return {{"red", ALight.R},
          {"green", ALight.G},
          {"blue", ALight.B},
          {"brightness", ALight.BRIGHT_LEVEL},
          {"breathing_speed", ALight.BREATH_SPEED},
          {"mode", ALight.LIGHT_MODE}};
}

json StorageJson(const profile::TPROFILESETTING& ASetting) {
  json Storage = {{"kind", ASetting.nStorage == profile::cStorageRegistry ? "registry"
                           : ASetting.nStorage == profile::cStorageFile   ? "file"
                                                                          : "none"},
                  {"name", rtl::ReadFixedText(ASetting.szFileName)}};
  if (ASetting.nStorage == profile::cStorageFile) {
    Storage["folder"] = rtl::ReadFixedText(ASetting.szFilePath);
  }
  return Storage;
}

int ButtonsShown(const TMOUSECONFIGINFO& AConfig) {
  return AConfig.ButtonCount >= 0 && AConfig.ButtonCount <= profile::cButtonCount
             ? AConfig.ButtonCount
             : profile::cButtonCount;
}

int LevelsInUse(const TMOUSECONFIGINFO& AConfig) {
  return AConfig.CPILevel <= profile::cCPILevelCount ? AConfig.CPILevel : profile::cCPILevelCount;
}

void ProfileText(std::string& AText, profile::TDM& AModule, const TStoreFacts& AFacts, int AIndex) {
  auto Record = std::make_unique<profile::TMouseProfileInfo>();
  AModule.ReadProfileInfo(*Record, AIndex);
  const TMOUSECONFIGINFO& Config = Record->ConfigInfo;
  const auto Line = [&](const std::string& ALabel, const std::string& AValue) {
    char Label[24];
    std::snprintf(Label, sizeof(Label), "  %-16s", ALabel.c_str());
    AText += Label + AValue + "\n";
  };
  AText +=
      "\nProfile " + std::to_string(AIndex + 1) + ": " +
      Storage(AModule.ProfileSettingGroup().ProfileSettingList[AIndex]) +
      (AFacts.Stored[static_cast<std::size_t>(AIndex)] ? ""
                                                       : " (not stored yet: factory defaults)") +
      (AIndex == AModule.AllProfileSettingInfo().CurrentGame ? ", the current one" : "") + "\n";
  const TCpiBounds Bounds = CpiBounds(Config);
  Line("resolution", std::to_string(LevelsInUse(Config)) + " levels in use, current level " +
                         std::to_string(FromOne(Config.CurrentCPIIndex)) + "; bounds " +
                         std::to_string(Bounds.Min) + ".." + std::to_string(Bounds.Max) +
                         (Bounds.FromProfile ? "" : " (the profile names none)") +
                         (Config.UseCPIOnScreenFlyShow != 0 ? "; shown on screen" : ""));
  for (int Level = 0; Level < LevelsInUse(Config); ++Level) {
    const profile::TCPISTATEITEM& State = Config.CPIState[Level];
    Line("  level " + std::to_string(Level + 1),
         std::to_string(State.CPIX) +
             (State.CPIX != State.CPIY ? " x " + std::to_string(State.CPIY) : "") +
             (State.Enabled != 0 ? "" : " (off)") +
             (Level == Config.CurrentCPIIndex ? " (current)" : ""));
  }
  Line("report rate", std::to_string(Config.ReportRate) + " per second");
  Line("wheel up", WheelText(Config.VWheelButtonFuncInfo[0], 0));
  Line("wheel down", WheelText(Config.VWheelButtonFuncInfo[1], 1));
  for (int Button = 0; Button < ButtonsShown(Config); ++Button) {
    Line("button " + std::to_string(Button + 1), FunctionText(Config.ButtonFuncInfo[Button]));
  }
  Line("light", LightText(Config.LEDConfig));
  for (int Zone = 0; Zone < profile::cLightZoneCount; ++Zone) {
    Line("light zone " + std::to_string(Zone + 1), LightText(Config.LIGHTS[Zone]));
  }
  Line("applications", Config.AutoSwitchProfileWhenAppRun != 0
                           ? "on: the profile follows these programs in front"
                           : "off");
  for (int Entry = 0; Entry < profile::cApplicationCount; ++Entry) {
    const std::optional<std::string> Text = profile::ApplicationEntry(Config, Entry);
    if (!Text || !Text->empty()) {
      Line("  " + std::to_string(Entry + 1),
           Text ? Shown(*Text) : "(damaged: not text, matches nothing)");
    }
  }
}

json ProfileJson(profile::TDM& AModule, const TStoreFacts& AFacts, int AIndex) {
  auto Record = std::make_unique<profile::TMouseProfileInfo>();
  AModule.ReadProfileInfo(*Record, AIndex);
  const TMOUSECONFIGINFO& Config = Record->ConfigInfo;
  const TCpiBounds Bounds = CpiBounds(Config);
  json Levels = json::array();
  for (int Level = 0; Level < profile::cCPILevelCount; ++Level) {
    const profile::TCPISTATEITEM& State = Config.CPIState[Level];
    Levels.push_back({{"level", Level + 1},
                      {"x", State.CPIX},
                      {"y", State.CPIY},
                      {"enabled", State.Enabled != 0},
                      {"in_use", Level < LevelsInUse(Config)}});
  }
  json Buttons = json::array();
  for (int Button = 0; Button < ButtonsShown(Config); ++Button) {
    json Entry = FunctionJson(Config.ButtonFuncInfo[Button]);
    Entry["button"] = Button + 1;
    Buttons.push_back(Entry);
  }
  json Zones = json::array();
  for (const profile::TLEDCONFIG& Light : Config.LIGHTS) {
    Zones.push_back(LightJson(Light));
  }
  json Wheel = json::object();
  for (int Direction = 0; Direction < profile::cWheelDirectionCount; ++Direction) {
    json Entry = FunctionJson(Config.VWheelButtonFuncInfo[Direction]);
    Entry["standard"] = IsStandardWheel(Config.VWheelButtonFuncInfo[Direction], Direction);
    Wheel[Direction == 0 ? "up" : "down"] = Entry;
  }
  json Applications = json::array();
  for (int Entry = 0; Entry < profile::cApplicationCount; ++Entry) {
    const std::optional<std::string> Text = profile::ApplicationEntry(Config, Entry);
    if (!Text || !Text->empty()) {
      Applications.push_back(
          {{"entry", Entry + 1}, {"program", Text ? json(*Text) : json(nullptr)}});
    }
  }
  return {{"profile", AIndex + 1},
          {"stored", AFacts.Stored[static_cast<std::size_t>(AIndex)]},
          {"storage", StorageJson(AModule.ProfileSettingGroup().ProfileSettingList[AIndex])},
          {"current", AIndex == AModule.AllProfileSettingInfo().CurrentGame},
          {"resolution",
           {{"levels_in_use", Config.CPILevel},
            {"current_level", FromOne(Config.CurrentCPIIndex)},
            {"min", Bounds.Min},
            {"max", Bounds.Max},
            {"bounds_from_profile", Bounds.FromProfile},
            {"on_screen", Config.UseCPIOnScreenFlyShow != 0},
            {"levels", Levels}}},
          {"report_rate", Config.ReportRate},
          {"wheel", Wheel},
          {"buttons", Buttons},
          {"light", LightJson(Config.LEDConfig)},
          {"light_zones", Zones},
          {"applications",
           {{"switch", Config.AutoSwitchProfileWhenAppRun != 0}, {"entries", Applications}}}};
}

} // namespace

TCpiBounds CpiBounds(const TMOUSECONFIGINFO& AConfig) {
  if (AConfig.MaxCPI != 0 && AConfig.MinCPI <= AConfig.MaxCPI) {
    return {AConfig.MinCPI, AConfig.MaxCPI, true};
  }
  return {cFallbackMinCpi, cFallbackMaxCpi, false};
}

std::string FunctionName(const TBUTTONFUNCINFO& AFunction) {
  switch (AFunction.nFunctionType) {
  case cTypeStandard:
    return AFunction.nFunctionIndex == app::cMicrophoneMuteFunction ? "microphone mute" : "";
  case cTypeSingleKey:
    return "key " + Modifiers(AFunction.nSingleKeyModifier) + KeyName(AFunction.nSingleKeyValue, 0);
  case cTypeCombination: {
    const profile::TCOMBOKEYINFO& Combo = AFunction.ComboKeyInfo;
    std::string Keys = Modifiers(Combo.nModifier);
    if (Combo.nKeyValue1 != 0) {
      Keys += KeyName(Combo.nKeyValue1, Combo.nKey1Extended);
    }
    if (Combo.nKeyValue2 != 0) {
      Keys += "+" + KeyName(Combo.nKeyValue2, Combo.nKey2Extended);
    }
    const std::string Text = rtl::ReadFixedText(Combo.ComboKeyText);
    return "keys " + Keys + (Text.empty() ? "" : " \"" + Text + "\"");
  }
  case cTypeMediaKey:
    return "media key, usage " +
           Hex4(static_cast<unsigned>(AFunction.nMediaUsageLow | AFunction.nMediaUsageHigh << 8));
  default:
    return "";
  }
}

bool IsStandardWheel(const TBUTTONFUNCINFO& AFunction, int ADirection) {
  return AFunction.nFunctionType == cTypeStandard && AFunction.nFunctionIndex == ADirection;
}

std::string StoreText(profile::TDM& AModule, const TStoreFacts& AFacts,
                      std::optional<int> AProfile) {
  const profile::TALLGAMESINFO& Shared = AModule.AllProfileSettingInfo();
  const profile::TProfileSettingGroup& Groups = AModule.ProfileSettingGroup();
  std::string Text =
      "Profile store" +
      std::string(AFacts.SharedStored ? "" : " (not stored yet: factory defaults)") +
      "\n  registry key    " + AFacts.RegistryKey + "\n  profile folder  " + AFacts.ProfileFolder +
      "\n  current profile " + std::to_string(Shared.CurrentGame + 1) + "\n  language        " +
      LanguageText(AFacts, Shared.CurrentLanguage) + "\n  profile group   " +
      std::to_string(Groups.CurrentProfileGroup + 1) + " (group 1: profile " +
      std::to_string(Groups.ProfileIndexOfProfileGroup[0] + 1) + ", group 2: profile " +
      std::to_string(Groups.ProfileIndexOfProfileGroup[1] + 1) + ")\n";
  for (int Index = 0; Index < profile::cGameProfileCount; ++Index) {
    if (!AProfile || *AProfile == Index) {
      ProfileText(Text, AModule, AFacts, Index);
    }
  }
  return Text;
}

json StoreJson(profile::TDM& AModule, const TStoreFacts& AFacts, std::optional<int> AProfile) {
  const profile::TALLGAMESINFO& Shared = AModule.AllProfileSettingInfo();
  const profile::TProfileSettingGroup& Groups = AModule.ProfileSettingGroup();
  json Profiles = json::array();
  for (int Index = 0; Index < profile::cGameProfileCount; ++Index) {
    if (!AProfile || *AProfile == Index) {
      Profiles.push_back(ProfileJson(AModule, AFacts, Index));
    }
  }
  const uint8_t Language = Shared.CurrentLanguage;
  return {
      {"registry_key", AFacts.RegistryKey},
      {"profile_folder", AFacts.ProfileFolder},
      {"stored", AFacts.SharedStored},
      {"current_profile", Shared.CurrentGame + 1},
      {"language",
       {{"index", Language},
        {"id",
         Language < AFacts.Languages.size() ? json(AFacts.Languages[Language]) : json(nullptr)}}},
      {"profile_group",
       {{"current", Groups.CurrentProfileGroup + 1},
        {"profiles",
         {Groups.ProfileIndexOfProfileGroup[0] + 1, Groups.ProfileIndexOfProfileGroup[1] + 1}}}},
      {"profiles", Profiles}};
}

std::vector<std::string> LineDiff(const std::string& AOld, const std::string& ANew) {
  const auto Split = [](const std::string& AText) {
    std::vector<std::string> Lines;
    std::size_t Start = 0;
    while (Start < AText.size()) {
      const std::size_t End = AText.find('\n', Start);
      Lines.push_back(AText.substr(Start, End - Start));
      Start = End == std::string::npos ? AText.size() : End + 1;
    }
    return Lines;
  };
  const std::vector<std::string> Old = Split(AOld);
  const std::vector<std::string> New = Split(ANew);
  // The longest common subsequence, from the ends.
  std::vector<std::vector<uint32_t>> Common(Old.size() + 1, std::vector<uint32_t>(New.size() + 1));
  for (std::size_t I = Old.size(); I-- > 0;) {
    for (std::size_t J = New.size(); J-- > 0;) {
      Common[I][J] = Old[I] == New[J] ? Common[I + 1][J + 1] + 1
                                      : std::max(Common[I + 1][J], Common[I][J + 1]);
    }
  }
  std::vector<std::string> Diff;
  std::string Heading;
  std::string HeadingShown;
  const auto Emit = [&](const std::string& AMark, const std::string& ALine) {
    const bool IsHeading = !ALine.empty() && ALine[0] != ' ';
    if (!IsHeading && !Heading.empty() && Heading != HeadingShown) {
      Diff.push_back(Heading);
      HeadingShown = Heading;
    }
    Diff.push_back(AMark + ALine);
  };
  const auto Follow = [&](const std::string& ALine) {
    if (!ALine.empty() && ALine[0] != ' ') {
      Heading = ALine;
    }
  };
  std::size_t I = 0;
  std::size_t J = 0;
  while (I < Old.size() || J < New.size()) {
    if (I < Old.size() && J < New.size() && Old[I] == New[J]) {
      Follow(Old[I]);
      ++I;
      ++J;
    } else if (I < Old.size() && (J == New.size() || Common[I + 1][J] >= Common[I][J + 1])) {
      Emit("- ", Old[I++]);
    } else {
      Emit("+ ", New[J++]);
    }
  }
  return Diff;
}

} // namespace ctl
