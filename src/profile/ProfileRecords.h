// The profile records, exactly as they are stored in the registry and in ".pfd" files and as
// the configuration program reads them: naturally aligned, little-endian, every padding byte
// written out as a field so that new records carry zeros there. A record crosses the store
// as its raw bytes; nothing here is converted on the way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace profile {

inline constexpr int cGameProfileCount = 5;
inline constexpr int cProfileGroupCount = 2;
inline constexpr int cButtonCount = 24;
inline constexpr int cWheelDirectionCount = 2;
inline constexpr int cCPILevelCount = 11;
inline constexpr int cLightZoneCount = 3;
inline constexpr int cMacroListCount = 30;
inline constexpr int cMacroToDeviceCount = 5;
inline constexpr int32_t cProfileFileVersion = 0x105;

// One 8-byte profile identity: raw bytes, or the date-time it was created (days since
// 1899-12-30, the fraction being the time of day).
union TProfileUIDData {
  uint8_t RawData[8];
  double DataTime;
  double DoubleData;
};

struct TProfileHeader {
  int32_t FFileVersion;
  uint8_t FFileType[8];
  uint8_t FFileName[44];
  uint32_t FProfileSize;
  uint8_t Reserved0[4];
  TProfileUIDData FProfileUID;
};

struct TFUNCTIONLIST {
  uint8_t FunctionInfo[800];
};

struct TCOMBOKEYINFO {
  uint16_t nKeyValue1;
  uint16_t nKey1Extended;
  uint16_t nKeyValue2;
  uint16_t nKey2Extended;
  uint16_t nModifier;
  char16_t ComboKeyText[31];
};

// One button's (or wheel direction's) assignment. The ParamBlock parts are carried unchanged.
struct TBUTTONFUNCINFO {
  uint8_t ParamBlock0[2];
  uint16_t nSingleKeyValue;
  uint16_t nSingleKeyModifier;
  uint8_t ParamBlock1[62];
  TCOMBOKEYINFO ComboKeyInfo;
  uint16_t nMediaUsageLow;
  uint16_t nMediaUsageHigh;
  uint8_t ParamBlock2[970];
  uint16_t nAssignedMacroIndex;
  uint8_t ParamBlock3[2948];
  uint8_t ButtonReportMask[3];
  uint8_t ParamBlock4[1];
  uint16_t nFuncParam1;
  uint16_t nFuncParam2;
  uint16_t nFuncParam3;
  uint8_t ParamBlock5[86];
  int32_t nParamLast;
  uint16_t nButtonIndex;
  uint16_t nFunctionIndex;
  uint8_t nFunctionType;
  uint8_t Reserved0[3];
  int32_t nDeviceCode;
  int32_t nFunctionID;
  uint8_t Tail[4];
};

struct TCPISTATEITEM {
  uint16_t CPIX;
  uint16_t CPIY;
  uint16_t Enabled;
  uint8_t Extra[4];
};

struct TLEDCONFIG {
  uint8_t R;
  uint8_t G;
  uint8_t B;
  uint8_t BRIGHT_LEVEL;
  uint8_t BREATH_SPEED;
  uint8_t LIGHT_MODE;
};

struct TSENSORLIFT {
  uint8_t SensorLift;
};

struct TPROFILE_MACRO_PATH {
  uint8_t FilePath[1026];
};

struct TMOUSECONFIGINFO {
  TBUTTONFUNCINFO ButtonFuncInfo[cButtonCount];
  TBUTTONFUNCINFO VWheelButtonFuncInfo[cWheelDirectionCount];
  TBUTTONFUNCINFO HWheelButtonFuncInfo[cWheelDirectionCount];
  uint16_t VWheelType;
  uint16_t HWheelType;
  uint16_t VWheelSpeed;
  uint16_t HWheelSpeed;
  uint16_t DoubleClickSpeed;
  uint16_t PointerSpeed;
  uint16_t PointerAcceleration;
  uint16_t UseSystemPointerSpeedSetting;
  uint16_t ReportRate;
  uint8_t Reserved0[2];
  int32_t CurrentCPIIndex;
  uint16_t CurrentCPIX;
  uint16_t CurrentCPIY;
  uint16_t MinCPI;
  uint16_t MaxCPI;
  uint16_t UseDiffentXY[cCPILevelCount];
  uint16_t UseCPIOnScreenFlyShow;
  TCPISTATEITEM CPIState[cCPILevelCount];
  uint16_t CPILevel;
  uint16_t AutoSwitchProfileWhenAppRun;
  uint8_t ApplicationList[10 * sizeof(TPROFILE_MACRO_PATH)];
  TLEDCONFIG LEDConfig;
  TLEDCONFIG LIGHTS[cLightZoneCount];
  TSENSORLIFT Sensorlift;
  uint8_t Reserved1[1];
  int32_t ButtonCount;
  TPROFILE_MACRO_PATH ProfilePath;
  TPROFILE_MACRO_PATH MacroPath;
  int32_t FireKeySpeed;
  int32_t FireKeyCount;
};

struct TMACROKEYINFO {
  uint8_t MacroList[768];
  int32_t MacroListCount;
  uint16_t nAutoAddDelay;
  uint8_t nLoopRunWhenPressed;
  uint8_t Reserved0[1];
  uint16_t nLoopCount;
  uint16_t nMacroIndex;
  uint8_t MacroUse;
  uint8_t Reserved1[1];
  uint8_t szMacroName[102];
  uint32_t Version;
  int32_t HaveErrors;
  int32_t ErrorCount;
};

struct TMACROKEYINFOLIST {
  TMACROKEYINFO MacroInfos[cMacroListCount];
  uint16_t nMacroInfoCount;
  uint8_t Reserved0[2];
};

struct TMACROINFOLIST_TO_DEVICE {
  TMACROKEYINFO MacroInfos[cMacroToDeviceCount];
  uint16_t nMacroInfoCount;
  uint8_t Reserved0[2];
};

// One complete mouse profile. The OtherConfig slot is zero in the image and never read.
struct TMouseProfileInfo {
  TProfileHeader ProfileHeader;
  TFUNCTIONLIST FunctionList;
  TMOUSECONFIGINFO ConfigInfo;
  TFUNCTIONLIST HWheelFunctionList;
  TFUNCTIONLIST VWheelFunctionList;
  TMACROKEYINFOLIST MacroKeyInfoList;
  TMACROINFOLIST_TO_DEVICE MacroInfoToDevice;
  uint8_t OtherConfig[44];
  uint8_t Reserved0[4];
};

// Storage kinds of TPROFILESETTING.nStorage.
inline constexpr uint8_t cStorageRegistry = 0;
inline constexpr uint8_t cStorageFile = 1;

// Where one game profile is stored. The texts are fixed UTF-16 fields (rtl/Utf.h).
struct TPROFILESETTING {
  uint16_t nTag;
  char16_t szFilePath[1024];
  char16_t szRegKeyPath[1024];
  char16_t szFileName[21];
  char16_t szMacroPath[1024];
  uint8_t nStorage;
  uint8_t Reserved0[1];
};

struct TALLGAMESINFO {
  TPROFILESETTING Allgameset[cGameProfileCount];
  uint16_t CurrentGame;
  uint8_t CurrentLanguage;
  uint8_t Reserved0[1];
};

struct TProfileSettingGroup {
  int32_t CurrentProfileGroup;
  int32_t ProfileIndexOfProfileGroup[cProfileGroupCount];
  TPROFILESETTING ProfileSettingList[cGameProfileCount];
  uint8_t Reserved0[2];
};

// ---- Layout checks: every size, and the offsets that stored profiles depend on. ----

template <class T>
inline constexpr bool cIsRecord = std::is_standard_layout_v<T>&& std::is_trivially_copyable_v<T>;
static_assert(cIsRecord<TMouseProfileInfo> && cIsRecord<TALLGAMESINFO> &&
              cIsRecord<TProfileSettingGroup> && cIsRecord<TMACROKEYINFO>);

static_assert(sizeof(TMouseProfileInfo) == 163560);
static_assert(sizeof(TProfileHeader) == 72);
static_assert(sizeof(TProfileUIDData) == 8);
static_assert(sizeof(TMOUSECONFIGINFO) == 129672);
static_assert(sizeof(TBUTTONFUNCINFO) == 4184);
static_assert(sizeof(TCPISTATEITEM) == 10);
static_assert(sizeof(TLEDCONFIG) == 6);
static_assert(sizeof(TSENSORLIFT) == 1);
static_assert(sizeof(TPROFILE_MACRO_PATH) == 1026);
static_assert(sizeof(TFUNCTIONLIST) == 800);
static_assert(sizeof(TCOMBOKEYINFO) == 72);
static_assert(sizeof(TMACROKEYINFO) == 896);
static_assert(sizeof(TMACROKEYINFOLIST) == 26884);
static_assert(sizeof(TMACROINFOLIST_TO_DEVICE) == 4484);
static_assert(sizeof(TALLGAMESINFO) == 30954);
static_assert(sizeof(TProfileSettingGroup) == 30964);
static_assert(sizeof(TPROFILESETTING) == 6190);

static_assert(offsetof(TProfileHeader, FFileType) == 4);
static_assert(offsetof(TProfileHeader, FFileName) == 12);
static_assert(offsetof(TProfileHeader, FProfileSize) == 56);
static_assert(offsetof(TProfileHeader, FProfileUID) == 64);

static_assert(offsetof(TMouseProfileInfo, FunctionList) == 72);
static_assert(offsetof(TMouseProfileInfo, ConfigInfo) == 872);
static_assert(offsetof(TMouseProfileInfo, HWheelFunctionList) == 130544);
static_assert(offsetof(TMouseProfileInfo, VWheelFunctionList) == 131344);
static_assert(offsetof(TMouseProfileInfo, MacroKeyInfoList) == 132144);
static_assert(offsetof(TMouseProfileInfo, MacroInfoToDevice) == 159028);
static_assert(offsetof(TMouseProfileInfo, OtherConfig) == 163512);
static_assert(offsetof(TMouseProfileInfo, Reserved0) == 163556);

static_assert(offsetof(TBUTTONFUNCINFO, nSingleKeyValue) == 2);
static_assert(offsetof(TBUTTONFUNCINFO, nSingleKeyModifier) == 4);
static_assert(offsetof(TBUTTONFUNCINFO, ComboKeyInfo) == 68);
static_assert(offsetof(TBUTTONFUNCINFO, nMediaUsageLow) == 140);
static_assert(offsetof(TBUTTONFUNCINFO, nMediaUsageHigh) == 142);
static_assert(offsetof(TBUTTONFUNCINFO, nAssignedMacroIndex) == 1114);
static_assert(offsetof(TBUTTONFUNCINFO, ButtonReportMask) == 4064);
static_assert(offsetof(TBUTTONFUNCINFO, nFuncParam1) == 4068);
static_assert(offsetof(TBUTTONFUNCINFO, nFuncParam3) == 4072);
static_assert(offsetof(TBUTTONFUNCINFO, nParamLast) == 4160);
static_assert(offsetof(TBUTTONFUNCINFO, nButtonIndex) == 4164);
static_assert(offsetof(TBUTTONFUNCINFO, nFunctionIndex) == 4166);
static_assert(offsetof(TBUTTONFUNCINFO, nFunctionType) == 4168);
static_assert(offsetof(TBUTTONFUNCINFO, nDeviceCode) == 4172);
static_assert(offsetof(TBUTTONFUNCINFO, nFunctionID) == 4176);
static_assert(offsetof(TBUTTONFUNCINFO, Tail) == 4180);

static_assert(offsetof(TCOMBOKEYINFO, nModifier) == 8);
static_assert(offsetof(TCOMBOKEYINFO, ComboKeyText) == 10);

static_assert(offsetof(TMOUSECONFIGINFO, VWheelButtonFuncInfo) == 100416);
static_assert(offsetof(TMOUSECONFIGINFO, HWheelButtonFuncInfo) == 108784);
static_assert(offsetof(TMOUSECONFIGINFO, VWheelType) == 117152);
static_assert(offsetof(TMOUSECONFIGINFO, ReportRate) == 117168);
static_assert(offsetof(TMOUSECONFIGINFO, Reserved0) == 117170);
static_assert(offsetof(TMOUSECONFIGINFO, CurrentCPIIndex) == 117172);
static_assert(offsetof(TMOUSECONFIGINFO, CurrentCPIX) == 117176);
static_assert(offsetof(TMOUSECONFIGINFO, MaxCPI) == 117182);
static_assert(offsetof(TMOUSECONFIGINFO, UseDiffentXY) == 117184);
static_assert(offsetof(TMOUSECONFIGINFO, UseCPIOnScreenFlyShow) == 117206);
static_assert(offsetof(TMOUSECONFIGINFO, CPIState) == 117208);
static_assert(offsetof(TMOUSECONFIGINFO, CPILevel) == 117318);
static_assert(offsetof(TMOUSECONFIGINFO, AutoSwitchProfileWhenAppRun) == 117320);
static_assert(offsetof(TMOUSECONFIGINFO, ApplicationList) == 117322);
static_assert(offsetof(TMOUSECONFIGINFO, LEDConfig) == 127582);
static_assert(offsetof(TMOUSECONFIGINFO, LIGHTS) == 127588);
static_assert(offsetof(TMOUSECONFIGINFO, Sensorlift) == 127606);
static_assert(offsetof(TMOUSECONFIGINFO, Reserved1) == 127607);
static_assert(offsetof(TMOUSECONFIGINFO, ButtonCount) == 127608);
static_assert(offsetof(TMOUSECONFIGINFO, ProfilePath) == 127612);
static_assert(offsetof(TMOUSECONFIGINFO, MacroPath) == 128638);
static_assert(offsetof(TMOUSECONFIGINFO, FireKeySpeed) == 129664);
static_assert(offsetof(TMOUSECONFIGINFO, FireKeyCount) == 129668);

static_assert(offsetof(TMouseProfileInfo, ConfigInfo) +
                  offsetof(TMOUSECONFIGINFO, CurrentCPIIndex) ==
              118044);
static_assert(offsetof(TMouseProfileInfo, ConfigInfo) + offsetof(TMOUSECONFIGINFO, CPIState) +
                  offsetof(TCPISTATEITEM, CPIX) ==
              118080);
static_assert(offsetof(TMouseProfileInfo, ConfigInfo) + offsetof(TMOUSECONFIGINFO, ButtonCount) ==
              128480);

static_assert(offsetof(TCPISTATEITEM, Enabled) == 4);
static_assert(offsetof(TCPISTATEITEM, Extra) == 6);

static_assert(offsetof(TMACROKEYINFO, MacroListCount) == 768);
static_assert(offsetof(TMACROKEYINFO, nAutoAddDelay) == 772);
static_assert(offsetof(TMACROKEYINFO, nLoopRunWhenPressed) == 774);
static_assert(offsetof(TMACROKEYINFO, nLoopCount) == 776);
static_assert(offsetof(TMACROKEYINFO, nMacroIndex) == 778);
static_assert(offsetof(TMACROKEYINFO, MacroUse) == 780);
static_assert(offsetof(TMACROKEYINFO, szMacroName) == 782);
static_assert(offsetof(TMACROKEYINFO, Version) == 884);
static_assert(offsetof(TMACROKEYINFO, HaveErrors) == 888);
static_assert(offsetof(TMACROKEYINFO, ErrorCount) == 892);
static_assert(offsetof(TMACROKEYINFOLIST, nMacroInfoCount) == 26880);
static_assert(offsetof(TMACROINFOLIST_TO_DEVICE, nMacroInfoCount) == 4480);

static_assert(offsetof(TPROFILESETTING, szFilePath) == 2);
static_assert(offsetof(TPROFILESETTING, szRegKeyPath) == 2050);
static_assert(offsetof(TPROFILESETTING, szFileName) == 4098);
static_assert(offsetof(TPROFILESETTING, szMacroPath) == 4140);
static_assert(offsetof(TPROFILESETTING, nStorage) == 6188);

static_assert(offsetof(TALLGAMESINFO, CurrentGame) == 30950);
static_assert(offsetof(TALLGAMESINFO, CurrentLanguage) == 30952);

static_assert(offsetof(TProfileSettingGroup, ProfileIndexOfProfileGroup) == 4);
static_assert(offsetof(TProfileSettingGroup, ProfileSettingList) == 12);
static_assert(offsetof(TProfileSettingGroup, Reserved0) == 30962);

// Offset in a profile image of nFunctionIndex of button AButton.
inline constexpr std::size_t ButtonFunctionIndexOffset(std::size_t AButton) {
  return offsetof(TMouseProfileInfo, ConfigInfo) + sizeof(TBUTTONFUNCINFO) * AButton +
         offsetof(TBUTTONFUNCINFO, nFunctionIndex);
}
static_assert(ButtonFunctionIndexOffset(0) == 872 + 4166);
static_assert(ButtonFunctionIndexOffset(23) == 872 + 4184 * 23 + 4166);

} // namespace profile
