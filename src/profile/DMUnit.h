// TDM: the profile data module of the process. It owns the ten persistent streams, the
// in-memory copies of the profile records, where each game profile is stored, which one is
// current, how profile groups select one, the per-user folders, the changed flags, and the
// factory defaults written into a stream when its record is missing or reset.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "profile/ConfigOptions.h"
#include "profile/ProfileRecords.h"
#include "profile/uiProfile.h"
#include "rtl/Component.h"

namespace profile {

inline constexpr const char* cAllSettingsValueName = "allsettings.pfd";
inline constexpr const char* cProfileSettingGroupValueName = "ProfileSettingGroup.pfd";
inline constexpr const char* cRecordMacroValueName = "RecordRPROFILE.pfd";
inline constexpr const char* cTestProfileValueName = "K4410ProfileTest.pfd";
inline constexpr const char* cDefaultGameValueName = "K4410ProfileDef.pfd";
inline constexpr const char* cMacroDatabaseFileName = "MacroSet.MSDB";
// The stored macro index of a button without a macro.
inline constexpr uint16_t cNoMacroIndex = 0xFFFF;
// The device code of a button that plays a macro.
inline constexpr int32_t cMacroDeviceCode = 4;

// One row of the standard function table, stored as three 32-bit integers.
struct TStandardFunction {
  int32_t Index;
  int32_t DeviceCode;
  int32_t FunctionID;
};
static_assert(sizeof(TStandardFunction) == 12);
inline constexpr int cStandardFunctionCount = 48;
extern const TStandardFunction cStandardFunctions[cStandardFunctionCount];

// Days since 1899-12-30 of the local date and time, as a profile identity.
TProfileUIDData NewProfileUID(platform::IClock& AClock);

class TDM;
// The process-wide data module, the first one made; null before it is created and after it
// is destroyed.
TDM* DM();

struct TDMServices {
  platform::IRegistry& Registry;
  platform::IFileSystem& Files;
  platform::IEnvironment& Environment;
  platform::IClock& Clock;
  platform::ILocale& Locale;
  platform::IDialogs& Dialogs;
};

class TDM : public rtl::TComponent {
public:
  // Creates the streams and runs the start-up. An error during start-up is shown in a
  // message box with its text; the remaining steps are skipped and the module stays usable.
  TDM(rtl::TComponent* AOwner, const TDMServices& AServices);
  ~TDM() override;
  std::string ClassName() const override { return "TDM"; }
  rtl::TComponentRole Role() const override { return rtl::TComponentRole::DataModule; }

  // ---- streams ----
  TuiProfile* uiProfileAllSettingInfo;
  TuiProfile* uiProfileGame1;
  TuiProfile* uiProfileGame2;
  TuiProfile* uiProfileGame3;
  TuiProfile* uiProfileGame4;
  TuiProfile* uiProfileGame5;
  TuiProfile* uiProfileSettingGroup;
  TuiProfile* uiProfileDefaultGame;
  TuiProfile* uiProfileTest;
  TuiProfile* uiProfileRecordMacroInfo;

  // ---- state ----
  const TALLGAMESINFO& AllProfileSettingInfo() const { return *FAllProfileSettingInfo; }
  TALLGAMESINFO& AllProfileSettingInfo() { return *FAllProfileSettingInfo; }
  const TProfileSettingGroup& ProfileSettingGroup() const { return *FProfileSettingGroup; }
  TProfileSettingGroup& ProfileSettingGroup() { return *FProfileSettingGroup; }
  int ProfileGroupIndex() const { return FProfileGroupIndex; }
  int ProfileIndex() const { return FProfileIndex; }
  TMouseProfileInfo& CurrentProfileInfo() { return *FCurrentProfileInfo; }
  const TMouseProfileInfo& DefaultProfileInfo() const { return *FDefaultProfileInfo; }
  const TMouseProfileInfo& TestProfileInfo() const { return *FTestProfileInfo; }
  const TMACROKEYINFO& RecordMacroInfo() const { return *FRecordMacroInfo; }
  const TOtherConfig& OtherConfig() const { return FOtherConfig; }
  const TOptionsFromConfigFile& OptionsFromConfigFile() const { return FOptionsFromConfigFile; }
  TuiProfile* ProfileStream(int AProfileIndex) const;
  // The message of the error that ended start-up early, "" when it completed.
  const std::string& StartupError() const { return FStartupError; }

  // ---- operations ----
  static bool IsProfileIndexInRange(int AProfileIndex);
  static bool IsProfileGroupIndexInRange(int AProfileGroupIndex);
  bool SwitchToProfile(int AProfileIndex);
  bool SwitchToProfileGroup(int AProfileGroupIndex);
  void LoadAllProfileInfoFromRegistry();
  void LoadProfileGroupSettingInfoFromRegistry();
  // The stream load's own result.
  bool LoadCurrentProfileInfoFromRegistry();
  bool LoadCurrentProfileInfoFromFile(const std::string& AFile);
  bool LoadProfileInfoFromRegistry(int AProfileIndex);
  bool ReadProfileInfo(TMouseProfileInfo& AProfileInfo, int AProfileIndex);
  bool ReadCurrentProfileInfo();
  bool SaveBackToProfileInfo(const TMouseProfileInfo& AProfileInfo, int AProfileIndex);
  void SaveBackToCurrentProfileInfo();
  void SaveCurrentProfileInfoToRegistry();
  void SaveCurrentProfileInfoToFile(const std::string& AFile);
  void SaveCurrentProfileInfoToFile();
  bool SaveProfileInfoToRegistry(int AProfileIndex);
  void SaveBackAllProfileInfo();
  void SaveBackAllProfileInfoToRegistry();
  void SaveBackAllProfileInfoToFile();
  void SaveBackAllProfileSettingInfo();
  void SaveBackToProfileGroupSettingInfo();
  void SaveProfileGroupSettingInfoToRegistry();
  void RestoreCurrentProfileInfoToDefault();
  void RestoreAllProfileInfoToDefault();
  bool RestoreProfileInfoToDefault(int AProfileIndex);
  bool RestoreProfileGroupToDefault(int AProfileGroupIndex);
  void RestoreProfileSettingGroupToDefault();
  void RestoreToDefaultCPISetting();
  void RestoreToDefaultLightAndReportAdvancedSetting();
  void SETALLDPILikeThisProfile();
  void SetProfileChanged(int AIndex, bool AIsChanged);
  bool IsProfileChanged(int AIndex) const;
  bool ChangeCurrentProfileFileNameAndPath(const std::string& AProfileFilePath);
  void SaveBackRecordMacroInfoToRegistry(const TMACROKEYINFO& ARecordMacroInfo);
  void LoadRecordMacroInfoFromRegistry();
  std::string GetPersonalDocumentProfilePath();
  std::string GetPersonalDocumentMacroDatabasePath();
  // The macro folder of game profile AProfileIndex (the profile folder already ends with a
  // delimiter, so the text holds two in a row).
  std::string GetProfileMacroPath(int AProfileIndex);
  std::vector<int> GetAllProfilesMacroIndexList();
  void InitTestDefaultValue();

  // ---- factory defaults (stream handlers) ----
  void uiProfileGame1RestoreToDefault(rtl::TMemoryStream& AStream);
  void uiProfileGame2RestoreToDefault(rtl::TMemoryStream& AStream);
  void uiProfileGame3RestoreToDefault(rtl::TMemoryStream& AStream);
  void uiProfileGame4RestoreToDefault(rtl::TMemoryStream& AStream);
  void uiProfileGame5RestoreToDefault(rtl::TMemoryStream& AStream);
  void uiProfileTestRestoreToDefault(rtl::TMemoryStream& AStream);
  void uiProfileAllSettingInfoRestoreToDefault(rtl::TMemoryStream& AStream);
  void uiProfileSettingGroupRestoreToDefault(rtl::TMemoryStream& AStream);

private:
  void DataModuleCreate();
  void InitProfileStore();
  void SetupProfileSettingGroup();
  void SetupAllSettingInfo();
  void SetupGameProfiles();
  TuiProfile* MakeStream(const char* AName);
  void BindStream(TuiProfile* AStream, const std::string& AFileName);
  // Loads a stream from the registry; a missing value gets the default, saved at once.
  void LoadOrCreate(TuiProfile* AStream);
  TuiProfile* CurrentStream() const {
    return FProfileGroup[static_cast<std::size_t>(FProfileIndex)];
  }
  // The working record := the current stream, zero past a stream stored shorter than it, so
  // that no part of the profile current before survives a switch.
  void ReadWorkingRecord();
  // The group's profile index, with the stored values range-checked.
  int GroupProfileIndex(int AGroupIndex) const;
  [[noreturn]] void RaiseCannotCreateFolder(const std::string& AFolder, uint32_t AError);
  void CreateFolderOrRaise(const std::string& AFolder);
  std::string CreateFolderQuietly(const std::string& AFolder);

  TDMServices FServices;
  std::unique_ptr<TALLGAMESINFO> FAllProfileSettingInfo;
  std::array<TuiProfile*, cGameProfileCount> FProfileGroup{};
  std::array<bool, cGameProfileCount> FProfileChanged{};
  std::unique_ptr<TProfileSettingGroup> FProfileSettingGroup;
  int FProfileGroupIndex = 0;
  int FProfileIndex = 0;
  std::unique_ptr<TMouseProfileInfo> FCurrentProfileInfo;
  TOtherConfig FOtherConfig;
  std::unique_ptr<TMouseProfileInfo> FDefaultProfileInfo;
  std::unique_ptr<TMouseProfileInfo> FTestProfileInfo;
  std::unique_ptr<TMACROKEYINFO> FRecordMacroInfo;
  TOptionsFromConfigFile FOptionsFromConfigFile;
  std::string FStartupError;
};

} // namespace profile
