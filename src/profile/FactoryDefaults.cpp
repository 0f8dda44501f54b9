// The factory defaults of the profile records: the data module's stream handlers write them
// in place into a stream's memory, touching only the fields they list.
#include <cstring>

#include "lang/vgLang.h"
#include "profile/DMUnit.h"
#include "profile/FunctionKeyCodes.h"
#include "profile/StreamRecords.h"
#include "rtl/Paths.h"
#include "rtl/Utf.h"

namespace profile {

const TStandardFunction cStandardFunctions[cStandardFunctionCount] = {
    {0, 1, 1},      {1, 2, 2},      {2, 3, 3},      {3, 5, 4},      {4, 4, 5},      {5, 16, 6},
    {6, 15, 7},     {7, 15, 801},   {8, 15, 802},   {9, 15, 803},   {10, 15, 804},  {11, 15, 805},
    {12, 15, 806},  {13, 15, 807},  {14, 15, 808},  {15, 15, 901},  {16, 15, 902},  {17, 15, 903},
    {18, 15, 904},  {19, 15, 905},  {20, 15, 906},  {21, 14, 907},  {22, 14, 908},  {23, 14, 909},
    {24, 14, 910},  {25, 14, 911},  {26, 14, 912},  {27, 14, 913},  {28, 14, 914},  {29, 14, 1001},
    {30, 14, 1002}, {31, 14, 1003}, {32, 14, 1004}, {33, 14, 1005}, {34, 14, 1006}, {35, 14, 1007},
    {36, 14, 1008}, {37, 17, 11},   {38, 25, 12},   {39, 8, 13},    {40, 8, 1301},  {41, 10, 1302},
    {42, 9, 1303},  {43, 13, 14},   {44, 8, 15},    {45, 23, 1501}, {46, 24, 1502}, {47, 14, 16}};

TProfileUIDData NewProfileUID(platform::IClock& AClock) {
  TProfileUIDData Uid{};
  Uid.DataTime = AClock.Now();
  return Uid;
}

namespace {

// Function types.
constexpr uint8_t cMouseFunction = 1;
constexpr uint8_t cComboKey = 3;
constexpr uint8_t cSingleKey = 8;
constexpr uint8_t cMediaKey = 10;
constexpr uint8_t cButtonReport = 11;
constexpr uint8_t cFunctionWithParameters = 13;

constexpr int32_t cTestReportDeviceCode = 19;
constexpr uint16_t cTestReportFunctionIndex = 14;

constexpr uint16_t cDefaultCPI[5] = {1000, 2000, 4000, 8200, 16400};

// Only the tail of an entry: which function it is.
void SetTail(TBUTTONFUNCINFO& AEntry, int AButton, uint8_t AType, uint16_t AFunctionIndex,
             int32_t ADeviceCode, int32_t AFunctionID) {
  AEntry.nButtonIndex = static_cast<uint16_t>(AButton);
  AEntry.nFunctionType = AType;
  AEntry.nFunctionIndex = AFunctionIndex;
  AEntry.nDeviceCode = ADeviceCode;
  AEntry.nFunctionID = AFunctionID;
}

// A function of the standard table: its device code and ID come from the table's row.
void SetFunction(TBUTTONFUNCINFO& AEntry, int AButton, uint8_t AType, uint16_t AFunctionIndex) {
  const TStandardFunction& Row = cStandardFunctions[AFunctionIndex];
  SetTail(AEntry, AButton, AType, AFunctionIndex, Row.DeviceCode, Row.FunctionID);
}

void SetSingleKey(TBUTTONFUNCINFO& AEntry, int AButton, uint16_t AKey) {
  SetFunction(AEntry, AButton, cSingleKey, 5);
  AEntry.nSingleKeyValue = AKey;
  AEntry.nSingleKeyModifier = 0;
}

// Entries with a device code but no function index or ID of their own.
void SetDeviceOnly(TBUTTONFUNCINFO& AEntry, int AButton, int32_t ADeviceCode) {
  AEntry.nButtonIndex = static_cast<uint16_t>(AButton);
  AEntry.nFunctionType = cMouseFunction;
  AEntry.nDeviceCode = ADeviceCode;
}

void SetDefaultCPILevels(TMOUSECONFIGINFO& AConfig) {
  for (int Level = 0; Level < 5; ++Level) {
    AConfig.CPIState[Level].CPIX = cDefaultCPI[Level];
    AConfig.CPIState[Level].CPIY = cDefaultCPI[Level];
    AConfig.CPIState[Level].Enabled = 1;
    AConfig.UseDiffentXY[Level] = 1;
  }
}

// The pointer, wheel and resolution settings every default profile has; only the report
// rate differs.
void SetPointerDefaults(TMOUSECONFIGINFO& AConfig, uint16_t AReportRate) {
  AConfig.VWheelSpeed = 3;
  AConfig.DoubleClickSpeed = 550;
  AConfig.PointerSpeed = 10;
  AConfig.PointerAcceleration = 0;
  AConfig.ReportRate = AReportRate;
  AConfig.CPILevel = 5;
  AConfig.CurrentCPIIndex = 0;
  SetDefaultCPILevels(AConfig);
}

void SetLight(TLEDCONFIG& ALight, uint8_t AR, uint8_t AG, uint8_t AB) {
  ALight.R = AR;
  ALight.G = AG;
  ALight.B = AB;
}

// What every game profile handler writes besides its buttons and its main light colour.
void ApplyCommonDefaults(TMouseProfileInfo& AProfile, const TProfileUIDData& AUid,
                         int32_t AButtonCount) {
  AProfile.ProfileHeader.FFileVersion = cProfileFileVersion;
  AProfile.ProfileHeader.FProfileUID = AUid;
  TMOUSECONFIGINFO& Config = AProfile.ConfigInfo;
  Config.ButtonCount = AButtonCount;
  for (TBUTTONFUNCINFO& Entry : Config.ButtonFuncInfo) {
    std::memset(static_cast<void*>(&Entry), 0, offsetof(TBUTTONFUNCINFO, nButtonIndex));
  }
  SetTail(Config.VWheelButtonFuncInfo[0], 0, cMouseFunction, 0, 11, 1);
  SetTail(Config.VWheelButtonFuncInfo[1], 1, cMouseFunction, 1, 12, 2);
  SetPointerDefaults(Config, 500);
  Config.LEDConfig.BRIGHT_LEVEL = 2;
  Config.LEDConfig.BREATH_SPEED = 3;
  Config.LIGHTS[0] = {255, 0, 0, 2, 0, 0};
  Config.LIGHTS[1] = {255, 0, 0, 2, 3, 0};
  Config.LIGHTS[2] = {255, 0, 0, 2, 3, 2};
  // Left, right and middle click.
  for (int Button = 0; Button < 3; ++Button) {
    SetFunction(Config.ButtonFuncInfo[Button], Button, cMouseFunction,
                static_cast<uint16_t>(Button));
  }
}

void ApplyGameDefaults(TMouseProfileInfo& AProfile, const TProfileUIDData& AUid) {
  ApplyCommonDefaults(AProfile, AUid, cButtonCount);
  TBUTTONFUNCINFO* Buttons = AProfile.ConfigInfo.ButtonFuncInfo;
  SetFunction(Buttons[3], 3, cFunctionWithParameters, 38);
  Buttons[3].nFuncParam1 = 3;
  Buttons[3].nFuncParam2 = 1;
  Buttons[3].nFuncParam3 = 129;
  SetFunction(Buttons[4], 4, cMouseFunction, 41);
  SetFunction(Buttons[5], 5, cMouseFunction, 42);
  // Digits 1..9 then 0, keypad plus and minus, "=", ".", keypad multiply and divide.
  constexpr uint16_t cKeys[16] = {0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38,
                                  0x39, 0x30, 0x6B, 0x6D, 0xBB, 0xBE, 0x6A, 0x6F};
  for (int Button = 6; Button <= 21; ++Button) {
    SetSingleKey(Buttons[Button], Button, cKeys[Button - 6]);
  }
  SetDeviceOnly(Buttons[22], 22, 27);
  Buttons[22].nParamLast = 4;
  SetDeviceOnly(Buttons[23], 23, 13);
  SetLight(AProfile.ConfigInfo.LEDConfig, 255, 255, 0);
}

void SetMediaKey(TBUTTONFUNCINFO& AEntry, int AButton, uint16_t AFunctionIndex, int ABrowserRow) {
  SetFunction(AEntry, AButton, cMediaKey, AFunctionIndex);
  profile::THID_CODE_INFO Code{};
  profile::GetHidCodeInfo(ABrowserRow, Code);
  AEntry.nMediaUsageLow = Code.nKeyValue1 & 0xFF;
  AEntry.nMediaUsageHigh = Code.nKeyValue1 >> 8;
}

void SetComboKey(TBUTTONFUNCINFO& AEntry, int AButton, int ABrowserRow, const char* AText) {
  SetFunction(AEntry, AButton, cComboKey, 6);
  profile::GetComboKeyInfo(ABrowserRow, AEntry.ComboKeyInfo);
  rtl::StoreFixedText(AEntry.ComboKeyInfo.ComboKeyText, AText);
}

// The eight-button layouts: buttons 0..2 and the two device-only entries (as 8 and 9) are
// the game profile's; buttons 3..7 are the set's own.
void ApplyEightButtonDefaults(TMouseProfileInfo& AProfile, const TProfileUIDData& AUid) {
  ApplyCommonDefaults(AProfile, AUid, 8);
  TBUTTONFUNCINFO* Buttons = AProfile.ConfigInfo.ButtonFuncInfo;
  SetDeviceOnly(Buttons[8], 8, 27);
  Buttons[8].nParamLast = 4;
  SetDeviceOnly(Buttons[9], 9, 13);
}

template <class T, class TApply> void ApplyToStream(rtl::TMemoryStream& AStream, TApply AApply) {
  auto Record = TakeStreamRecord<T>(AStream);
  AApply(*Record);
  PutStreamRecord(AStream, *Record);
}

} // namespace

void TDM::uiProfileGame1RestoreToDefault(rtl::TMemoryStream& AStream) {
  const TProfileUIDData Uid = NewProfileUID(FServices.Clock);
  ApplyToStream<TMouseProfileInfo>(
      AStream, [&](TMouseProfileInfo& AProfile) { ApplyGameDefaults(AProfile, Uid); });
}

namespace {
// Profiles 4 and 5: the game defaults in another colour, starting at another level.
void ApplyVariantDefaults(rtl::TMemoryStream& AStream, const TProfileUIDData& AUid, uint8_t AR,
                          uint8_t AG, uint8_t AB, int32_t ALevel) {
  ApplyToStream<TMouseProfileInfo>(AStream, [&](TMouseProfileInfo& AProfile) {
    ApplyGameDefaults(AProfile, AUid);
    SetLight(AProfile.ConfigInfo.LEDConfig, AR, AG, AB);
    AProfile.ConfigInfo.CurrentCPIIndex = ALevel;
  });
}
} // namespace

void TDM::uiProfileGame4RestoreToDefault(rtl::TMemoryStream& AStream) {
  ApplyVariantDefaults(AStream, NewProfileUID(FServices.Clock), 255, 0, 255, 3);
}

void TDM::uiProfileGame5RestoreToDefault(rtl::TMemoryStream& AStream) {
  ApplyVariantDefaults(AStream, NewProfileUID(FServices.Clock), 255, 0, 0, 4);
}

void TDM::uiProfileGame2RestoreToDefault(rtl::TMemoryStream& AStream) {
  const TProfileUIDData Uid = NewProfileUID(FServices.Clock);
  ApplyToStream<TMouseProfileInfo>(AStream, [&](TMouseProfileInfo& AProfile) {
    ApplyEightButtonDefaults(AProfile, Uid);
    TBUTTONFUNCINFO* Buttons = AProfile.ConfigInfo.ButtonFuncInfo;
    SetMediaKey(Buttons[3], 3, 23, 2);
    SetMediaKey(Buttons[4], 4, 22, 1);
    SetMediaKey(Buttons[5], 5, 25, 4);
    SetComboKey(Buttons[6], 6, 5, "NEW TAB");
    SetComboKey(Buttons[7], 7, 0, "CLOSE TAB");
    AProfile.ConfigInfo.CurrentCPIIndex = 1;
    SetLight(AProfile.ConfigInfo.LEDConfig, 0, 255, 0);
  });
}

void TDM::uiProfileGame3RestoreToDefault(rtl::TMemoryStream& AStream) {
  const TProfileUIDData Uid = NewProfileUID(FServices.Clock);
  ApplyToStream<TMouseProfileInfo>(AStream, [&](TMouseProfileInfo& AProfile) {
    ApplyEightButtonDefaults(AProfile, Uid);
    TBUTTONFUNCINFO* Buttons = AProfile.ConfigInfo.ButtonFuncInfo;
    SetSingleKey(Buttons[3], 3, 0xA4); // left Alt
    SetSingleKey(Buttons[4], 4, 0xA2); // left Ctrl
    SetSingleKey(Buttons[5], 5, 0xA0); // left Shift
    SetFunction(Buttons[6], 6, cMouseFunction, 41);
    SetFunction(Buttons[7], 7, cMouseFunction, 42);
    AProfile.ConfigInfo.CurrentCPIIndex = 2;
  });
}

void TDM::uiProfileTestRestoreToDefault(rtl::TMemoryStream& AStream) {
  if (AStream.Size() == 0) {
    return;
  }
  const TProfileUIDData Uid = NewProfileUID(FServices.Clock);
  auto Profile = std::make_unique<TMouseProfileInfo>();
  Profile->ProfileHeader.FFileVersion = cProfileFileVersion;
  Profile->ProfileHeader.FProfileUID = Uid;
  TMOUSECONFIGINFO& Config = Profile->ConfigInfo;
  Config.ButtonCount = cButtonCount;
  for (int Button = 0; Button < 5; ++Button) {
    const TStandardFunction& Row = cStandardFunctions[Button];
    SetTail(Config.ButtonFuncInfo[Button], Button, cMouseFunction, static_cast<uint16_t>(Button),
            Row.DeviceCode, Button + 1);
  }
  // Every other button reports itself: its bit of the 24-bit button mask.
  for (int Button = 5; Button < cButtonCount; ++Button) {
    TBUTTONFUNCINFO& Entry = Config.ButtonFuncInfo[Button];
    SetTail(Entry, Button, cButtonReport, cTestReportFunctionIndex, cTestReportDeviceCode, 0);
    const uint32_t Mask = 1u << Button;
    Entry.ButtonReportMask[0] = Mask & 0xFF;
    Entry.ButtonReportMask[1] = (Mask >> 8) & 0xFF;
    Entry.ButtonReportMask[2] = (Mask >> 16) & 0xFF;
  }
  SetPointerDefaults(Config, 125);
  SetLight(Config.LEDConfig, 255, 0, 0);
  Config.LEDConfig.BRIGHT_LEVEL = 2;
  Config.LEDConfig.BREATH_SPEED = 2;
  Profile->MacroKeyInfoList.nMacroInfoCount = 0;
  PutStreamRecord(AStream, *Profile);
}

void TDM::uiProfileAllSettingInfoRestoreToDefault(rtl::TMemoryStream& AStream) {
  const std::string OsLanguage = lang::GetOSDefaultLang(FServices.Locale);
  ApplyToStream<TALLGAMESINFO>(AStream, [&](TALLGAMESINFO& AAll) {
    for (TPROFILESETTING& Setting : AAll.Allgameset) {
      Setting.nTag = 0;
      Setting.nStorage = cStorageRegistry;
      rtl::StoreFixedText(Setting.szFilePath, "");
    }
    AAll.CurrentGame = 2;
    AAll.Allgameset[0].nTag = 1;
    AAll.CurrentLanguage = OsLanguage == "0804" ? 1 : OsLanguage == "0404" ? 2 : 0;
  });
}

void TDM::uiProfileSettingGroupRestoreToDefault(rtl::TMemoryStream& AStream) {
  const std::string ProfileFolder = GetPersonalDocumentProfilePath();
  auto Group = TakeStreamRecord<TProfileSettingGroup>(AStream);
  for (int Index = 0; Index < cGameProfileCount; ++Index) {
    TPROFILESETTING& Setting = Group->ProfileSettingList[Index];
    const std::string Number = std::to_string(Index + 1);
    Setting.nTag = 0;
    Setting.nStorage = cStorageRegistry;
    rtl::StoreFixedText(Setting.szFileName,
                        FOptionsFromConfigFile.ProfileNamePrefix + Number + ".pfd");
    rtl::StoreFixedText(Setting.szRegKeyPath, FOptionsFromConfigFile.ProfileRegFolder);
    rtl::StoreFixedText(Setting.szFilePath, ProfileFolder);
    rtl::StoreFixedText(Setting.szMacroPath, GetProfileMacroPath(Index));
    // The folders as stored, so that what is created is what the record names.
    CreateFolderOrRaise(rtl::ReadFixedText(Setting.szFilePath));
    CreateFolderOrRaise(rtl::ReadFixedText(Setting.szMacroPath));
  }
  Group->CurrentProfileGroup = 0;
  Group->ProfileIndexOfProfileGroup[0] = 0;
  Group->ProfileIndexOfProfileGroup[1] = 1;
  PutStreamRecord(AStream, *Group);
}

void TDM::RestoreToDefaultCPISetting() {
  TMOUSECONFIGINFO& Config = FCurrentProfileInfo->ConfigInfo;
  for (int Level = 0; Level < 5; ++Level) {
    Config.CPIState[Level].CPIX = 0;
    Config.CPIState[Level].CPIY = 0;
    Config.CPIState[Level].Enabled = 0;
  }
  for (int Level = 0; Level < 4; ++Level) {
    Config.CPIState[Level].CPIX = cDefaultCPI[Level];
    Config.CPIState[Level].CPIY = cDefaultCPI[Level];
    Config.CPIState[Level].Enabled = 1;
    Config.UseDiffentXY[Level] = 0;
  }
  Config.CurrentCPIIndex = 1;
}

void TDM::RestoreToDefaultLightAndReportAdvancedSetting() {
  TMOUSECONFIGINFO& Config = FCurrentProfileInfo->ConfigInfo;
  Config.ReportRate = 125;
  Config.LEDConfig.BRIGHT_LEVEL = 2;
  Config.LEDConfig.BREATH_SPEED = 3;
  SetLight(Config.LEDConfig, 255, 0, 0);
}

} // namespace profile
