#include "profile/DMUnit.h"

#include <algorithm>
#include <cstring>

#include "hid/UsageAndPage.h"
#include "platform/SysError.h"
#include "profile/StreamRecords.h"
#include "rtl/Exceptions.h"
#include "rtl/Paths.h"
#include "rtl/RangeCheck.h"
#include "rtl/Utf.h"

namespace profile {

namespace {
TDM* GDM = nullptr;

constexpr const char* cStartupErrorCaption = "Error";

template <class T> int Put(TuiProfile* AStream, const T& ARecord) {
  return AStream->Write(&ARecord, static_cast<int>(sizeof(T)));
}
template <class T> int Get(TuiProfile* AStream, T& ARecord) {
  return AStream->Read(&ARecord, static_cast<int>(sizeof(T)));
}
// A record read whole from a stream: where the stored image is shorter than the record, the
// rest is zero rather than whatever the record held before (another profile's, for a record
// reused across profiles).
template <class T> void GetZeroExtended(TuiProfile* AStream, T& ARecord) {
  std::memset(static_cast<void*>(&ARecord), 0, sizeof(T));
  Get(AStream, ARecord);
}
} // namespace

TDM* DM() {
  return GDM;
}

TDM::TDM(rtl::TComponent* AOwner, const TDMServices& AServices)
    : rtl::TComponent(AOwner), FServices(AServices),
      FAllProfileSettingInfo(std::make_unique<TALLGAMESINFO>()),
      FProfileSettingGroup(std::make_unique<TProfileSettingGroup>()),
      FCurrentProfileInfo(std::make_unique<TMouseProfileInfo>()),
      FDefaultProfileInfo(std::make_unique<TMouseProfileInfo>()),
      FTestProfileInfo(std::make_unique<TMouseProfileInfo>()),
      FRecordMacroInfo(std::make_unique<TMACROKEYINFO>()) {
  SetName("DM");
  uiProfileAllSettingInfo = MakeStream("uiProfileAllSettingInfo");
  uiProfileGame1 = MakeStream("uiProfileGame1");
  uiProfileGame2 = MakeStream("uiProfileGame2");
  uiProfileGame3 = MakeStream("uiProfileGame3");
  uiProfileGame4 = MakeStream("uiProfileGame4");
  uiProfileGame5 = MakeStream("uiProfileGame5");
  uiProfileSettingGroup = MakeStream("uiProfileSettingGroup");
  uiProfileDefaultGame = MakeStream("uiProfileDefaultGame");
  uiProfileTest = MakeStream("uiProfileTest");
  uiProfileRecordMacroInfo = MakeStream("uiProfileRecordMacroInfo");

  const TuiProfileOnRestoreToDefault Game1(this, &TDM::uiProfileGame1RestoreToDefault);
  uiProfileAllSettingInfo->SetOnRestoreToDefault(
      {this, &TDM::uiProfileAllSettingInfoRestoreToDefault});
  uiProfileGame1->SetOnRestoreToDefault(Game1);
  uiProfileGame2->SetOnRestoreToDefault(Game1);
  uiProfileGame3->SetOnRestoreToDefault(Game1);
  uiProfileGame4->SetOnRestoreToDefault({this, &TDM::uiProfileGame4RestoreToDefault});
  uiProfileGame5->SetOnRestoreToDefault({this, &TDM::uiProfileGame5RestoreToDefault});
  uiProfileSettingGroup->SetOnRestoreToDefault({this, &TDM::uiProfileSettingGroupRestoreToDefault});
  uiProfileDefaultGame->SetOnRestoreToDefault(Game1);
  uiProfileTest->SetOnRestoreToDefault({this, &TDM::uiProfileTestRestoreToDefault});
  FProfileGroup = {uiProfileGame1, uiProfileGame2, uiProfileGame3, uiProfileGame4, uiProfileGame5};
  // The process's data module is the first one made; another (the simulated configuration
  // program, which shares the simulator's process) works on the store without taking its
  // place.
  if (GDM == nullptr) {
    GDM = this;
  }
  DataModuleCreate();
}

TDM::~TDM() {
  if (GDM == this) {
    GDM = nullptr;
  }
}

TuiProfile* TDM::MakeStream(const char* AName) {
  auto* Stream = new TuiProfile(this, FServices.Registry, FServices.Files);
  Stream->SetName(AName);
  return Stream;
}

void TDM::BindStream(TuiProfile* AStream, const std::string& AFileName) {
  AStream->SetRootKey(platform::RegRoot::CurrentUser);
  AStream->SetKeyPath(FOptionsFromConfigFile.ProfileRegFolder);
  AStream->SetFileName(AFileName);
}

TuiProfile* TDM::ProfileStream(int AProfileIndex) const {
  return IsProfileIndexInRange(AProfileIndex)
             ? FProfileGroup[static_cast<std::size_t>(AProfileIndex)]
             : nullptr;
}

void TDM::DataModuleCreate() {
  // The creation wrapper: an error ends start-up where it happened, is shown with its text,
  // and the process carries on with what had been loaded.
  try {
    InitProfileStore();
  } catch (const std::exception& E) {
    FStartupError = E.what();
    FServices.Dialogs.ShowMessageBox(FStartupError, cStartupErrorCaption,
                                     platform::TMessageBoxIcon::Error);
  }
}

void TDM::InitProfileStore() {
  ReadOptionsFromConfigFile(FServices.Files, FServices.Environment, FOptionsFromConfigFile);
  ReadOtherConfig(FServices.Files, FServices.Environment, FOtherConfig);
  // Every stream is bound before anything can fail, so that every later operation works on a
  // bound stream; the game profiles get their stored names in SetupGameProfiles.
  BindStream(uiProfileSettingGroup, cProfileSettingGroupValueName);
  BindStream(uiProfileAllSettingInfo, cAllSettingsValueName);
  BindStream(uiProfileRecordMacroInfo, cRecordMacroValueName);
  BindStream(uiProfileTest, cTestProfileValueName);
  BindStream(uiProfileDefaultGame, cDefaultGameValueName);
  for (int Index = 0; Index < cGameProfileCount; ++Index) {
    BindStream(FProfileGroup[static_cast<std::size_t>(Index)],
               FOptionsFromConfigFile.ProfileNamePrefix + std::to_string(Index + 1) + ".pfd");
  }
  hid::SetDeviceUsageAndPage(hid::cVendorUsageAndPage);
  FProfileGroupIndex = 0;
  SetupProfileSettingGroup();
  SetupAllSettingInfo();
  SetupGameProfiles();
  SwitchToProfile(FAllProfileSettingInfo->CurrentGame);
}

void TDM::LoadOrCreate(TuiProfile* AStream) {
  if (!AStream->LoadStreamFromRegistry()) {
    AStream->RestoreToDefault();
    AStream->SaveStreamToRegistry();
  }
}

int TDM::GroupProfileIndex(int AGroupIndex) const {
  rtl::CheckIndex(AGroupIndex, 0, cProfileGroupCount - 1);
  const int32_t ProfileIndex =
      FProfileSettingGroup->ProfileIndexOfProfileGroup[static_cast<std::size_t>(AGroupIndex)];
  rtl::CheckIndex(ProfileIndex, 0, cGameProfileCount - 1);
  return ProfileIndex;
}

void TDM::SetupProfileSettingGroup() {
  const TProfileSettingGroup Zero{};
  Put(uiProfileSettingGroup, Zero);
  LoadOrCreate(uiProfileSettingGroup);
  Get(uiProfileSettingGroup, *FProfileSettingGroup);
  const int Group = FProfileSettingGroup->CurrentProfileGroup;
  const int Profile = GroupProfileIndex(Group);
  FProfileGroupIndex = Group;
  FProfileIndex = Profile;
}

void TDM::SetupAllSettingInfo() {
  Put(uiProfileAllSettingInfo, *FAllProfileSettingInfo);
  LoadOrCreate(uiProfileAllSettingInfo);
  Get(uiProfileAllSettingInfo, *FAllProfileSettingInfo);
  Put(uiProfileRecordMacroInfo, *FRecordMacroInfo);
}

void TDM::SetupGameProfiles() {
  const auto Zero = std::make_unique<TMouseProfileInfo>();
  for (int Index = 0; Index < cGameProfileCount; ++Index) {
    TuiProfile* Stream = FProfileGroup[static_cast<std::size_t>(Index)];
    const TPROFILESETTING& Setting = FProfileSettingGroup->ProfileSettingList[Index];
    const std::string FolderText = rtl::ReadFixedText(Setting.szFilePath);
    Stream->SetRootKey(platform::RegRoot::CurrentUser);
    Stream->SetFileName(rtl::ReadFixedText(Setting.szFileName));
    Stream->SetFilePath(FolderText);
    Stream->SetKeyPath(FOptionsFromConfigFile.ProfileRegFolder);
    Put(Stream, *Zero);
    if (Setting.nStorage == cStorageRegistry) {
      if (!Stream->LoadStreamFromRegistry()) {
        Stream->RestoreToDefault();
      }
    } else if (Setting.nStorage == cStorageFile) {
      const std::string Path = rtl::IncludeTrailingPathDelimiter(FolderText) + Stream->FileName();
      if (!FServices.Files.FileExists(Path)) {
        Stream->RestoreToDefault();
        Stream->SaveStreamToFile(Path);
      } else if (!Stream->LoadStreamFromFile(Path)) {
        Stream->RestoreToDefault();
        Stream->SaveStreamToFile();
      }
    }
  }
}

void TDM::ReadWorkingRecord() {
  GetZeroExtended(CurrentStream(), *FCurrentProfileInfo);
}

bool TDM::IsProfileIndexInRange(int AProfileIndex) {
  return AProfileIndex >= 0 && AProfileIndex < cGameProfileCount;
}

bool TDM::IsProfileGroupIndexInRange(int AProfileGroupIndex) {
  return AProfileGroupIndex >= 0 && AProfileGroupIndex < cProfileGroupCount;
}

bool TDM::SwitchToProfile(int AProfileIndex) {
  if (!IsProfileIndexInRange(AProfileIndex)) {
    return false;
  }
  FProfileIndex = AProfileIndex;
  ReadWorkingRecord();
  FAllProfileSettingInfo->CurrentGame = static_cast<uint16_t>(AProfileIndex);
  return true;
}

bool TDM::SwitchToProfileGroup(int AProfileGroupIndex) {
  if (!IsProfileGroupIndexInRange(AProfileGroupIndex)) {
    return false;
  }
  const int Profile = GroupProfileIndex(AProfileGroupIndex);
  FProfileSettingGroup->CurrentProfileGroup = AProfileGroupIndex;
  FProfileGroupIndex = AProfileGroupIndex;
  FProfileIndex = Profile;
  SwitchToProfile(FProfileIndex);
  return true;
}

void TDM::LoadAllProfileInfoFromRegistry() {
  LoadOrCreate(uiProfileAllSettingInfo);
  Get(uiProfileAllSettingInfo, *FAllProfileSettingInfo);
}

void TDM::LoadProfileGroupSettingInfoFromRegistry() {
  LoadOrCreate(uiProfileSettingGroup);
  Get(uiProfileSettingGroup, *FProfileSettingGroup);
  const int Group = FProfileSettingGroup->CurrentProfileGroup;
  const int Profile = GroupProfileIndex(Group);
  FProfileGroupIndex = Group;
  FProfileIndex = Profile;
}

bool TDM::LoadCurrentProfileInfoFromRegistry() {
  const bool Loaded = CurrentStream()->LoadStreamFromRegistry();
  ReadWorkingRecord();
  return Loaded;
}

bool TDM::LoadCurrentProfileInfoFromFile(const std::string& AFile) {
  const bool Loaded = CurrentStream()->LoadStreamFromFile(AFile);
  ReadWorkingRecord();
  return Loaded;
}

bool TDM::LoadProfileInfoFromRegistry(int AProfileIndex) {
  TuiProfile* Stream = ProfileStream(AProfileIndex);
  return Stream != nullptr && Stream->LoadStreamFromRegistry();
}

bool TDM::ReadProfileInfo(TMouseProfileInfo& AProfileInfo, int AProfileIndex) {
  TuiProfile* Stream = ProfileStream(AProfileIndex);
  if (Stream == nullptr) {
    return false;
  }
  Get(Stream, AProfileInfo);
  return true;
}

bool TDM::ReadCurrentProfileInfo() {
  ReadWorkingRecord();
  return true;
}

bool TDM::SaveBackToProfileInfo(const TMouseProfileInfo& AProfileInfo, int AProfileIndex) {
  TuiProfile* Stream = ProfileStream(AProfileIndex);
  if (Stream == nullptr) {
    return false;
  }
  Put(Stream, AProfileInfo);
  return true;
}

void TDM::SaveBackToCurrentProfileInfo() {
  Put(CurrentStream(), *FCurrentProfileInfo);
  SetProfileChanged(FProfileIndex, true);
}

void TDM::SaveCurrentProfileInfoToRegistry() {
  SaveBackToCurrentProfileInfo();
  CurrentStream()->SaveStreamToRegistry();
}

void TDM::SaveCurrentProfileInfoToFile(const std::string& AFile) {
  CurrentStream()->SaveStreamToFile(AFile);
}

void TDM::SaveCurrentProfileInfoToFile() {
  CurrentStream()->SaveStreamToFile();
}

bool TDM::SaveProfileInfoToRegistry(int AProfileIndex) {
  TuiProfile* Stream = ProfileStream(AProfileIndex);
  if (Stream == nullptr) {
    return false;
  }
  Stream->SaveStreamToRegistry();
  return true;
}

void TDM::SaveBackAllProfileInfo() {
  SaveBackAllProfileInfoToRegistry();
}

void TDM::SaveBackAllProfileInfoToRegistry() {
  for (TuiProfile* Stream : FProfileGroup) {
    Stream->SaveStreamToRegistry();
  }
}

void TDM::SaveBackAllProfileInfoToFile() {
  for (TuiProfile* Stream : FProfileGroup) {
    Stream->SaveStreamToFile();
  }
}

void TDM::SaveBackAllProfileSettingInfo() {
  FAllProfileSettingInfo->CurrentGame = static_cast<uint16_t>(FProfileIndex);
  Put(uiProfileAllSettingInfo, *FAllProfileSettingInfo);
  uiProfileAllSettingInfo->SaveStreamToRegistry();
}

void TDM::SaveBackToProfileGroupSettingInfo() {
  Put(uiProfileSettingGroup, *FProfileSettingGroup);
}

void TDM::SaveProfileGroupSettingInfoToRegistry() {
  SaveBackToProfileGroupSettingInfo();
  uiProfileSettingGroup->SaveStreamToRegistry();
}

void TDM::RestoreCurrentProfileInfoToDefault() {
  CurrentStream()->RestoreToDefault();
  ReadWorkingRecord();
  SetProfileChanged(FProfileIndex, true);
}

void TDM::RestoreAllProfileInfoToDefault() {
  for (int Index = 0; Index < cGameProfileCount; ++Index) {
    FProfileGroup[static_cast<std::size_t>(Index)]->RestoreToDefault();
    SetProfileChanged(Index, true);
  }
  ReadWorkingRecord();
}

bool TDM::RestoreProfileInfoToDefault(int AProfileIndex) {
  TuiProfile* Stream = ProfileStream(AProfileIndex);
  if (Stream == nullptr) {
    return false;
  }
  Stream->RestoreToDefault();
  SetProfileChanged(AProfileIndex, true);
  return true;
}

bool TDM::RestoreProfileGroupToDefault(int AProfileGroupIndex) {
  if (!IsProfileGroupIndexInRange(AProfileGroupIndex)) {
    return false;
  }
  const int Profile = GroupProfileIndex(AProfileGroupIndex);
  if (Profile == FProfileIndex) {
    RestoreCurrentProfileInfoToDefault();
  } else {
    FProfileGroup[static_cast<std::size_t>(Profile)]->RestoreToDefault();
  }
  return true;
}

void TDM::RestoreProfileSettingGroupToDefault() {
  uiProfileSettingGroup->RestoreToDefault();
  uiProfileSettingGroup->SaveStreamToRegistry();
}

void TDM::SETALLDPILikeThisProfile() {
  auto Scratch = std::make_unique<TMouseProfileInfo>();
  const TMOUSECONFIGINFO& Current = FCurrentProfileInfo->ConfigInfo;
  for (int Index = 0; Index < cGameProfileCount; ++Index) {
    if (Index == FProfileIndex) {
      continue;
    }
    TuiProfile* Stream = FProfileGroup[static_cast<std::size_t>(Index)];
    GetZeroExtended(Stream, *Scratch);
    std::memcpy(Scratch->ConfigInfo.CPIState, Current.CPIState, sizeof(Current.CPIState));
    std::memcpy(Scratch->ConfigInfo.UseDiffentXY, Current.UseDiffentXY,
                sizeof(Current.UseDiffentXY));
    Put(Stream, *Scratch);
    SetProfileChanged(Index, true);
    Stream->SaveStreamToRegistry();
    Stream->SaveStreamToFile();
  }
}

void TDM::SetProfileChanged(int AIndex, bool AIsChanged) {
  if (IsProfileIndexInRange(AIndex)) {
    FProfileChanged[static_cast<std::size_t>(AIndex)] = AIsChanged;
  }
}

bool TDM::IsProfileChanged(int AIndex) const {
  return IsProfileIndexInRange(AIndex) && FProfileChanged[static_cast<std::size_t>(AIndex)];
}

bool TDM::ChangeCurrentProfileFileNameAndPath(const std::string& AProfileFilePath) {
  const std::string Folder = rtl::ExtractFilePath(AProfileFilePath);
  const std::string Name = rtl::ExtractFileName(AProfileFilePath);
  TuiProfile* Stream = CurrentStream();
  Stream->SetFileName(Name);
  Stream->SetFilePath(Folder);
  TPROFILESETTING& Setting =
      FProfileSettingGroup->ProfileSettingList[static_cast<std::size_t>(FProfileIndex)];
  rtl::StoreFixedText(Setting.szFileName, Name);
  rtl::StoreFixedText(Setting.szFilePath, Folder);
  return true;
}

void TDM::SaveBackRecordMacroInfoToRegistry(const TMACROKEYINFO& ARecordMacroInfo) {
  Put(uiProfileRecordMacroInfo, ARecordMacroInfo);
  uiProfileRecordMacroInfo->SaveStreamToRegistry();
}

void TDM::LoadRecordMacroInfoFromRegistry() {
  uiProfileRecordMacroInfo->LoadStreamFromRegistry();
  Get(uiProfileRecordMacroInfo, *FRecordMacroInfo);
}

std::string TDM::CreateFolderQuietly(const std::string& AFolder) {
  if (!FServices.Files.DirectoryExists(AFolder)) {
    FServices.Files.MakeDirectory(rtl::ExcludeTrailingPathDelimiter(AFolder));
  }
  return AFolder;
}

void TDM::RaiseCannotCreateFolder(const std::string& AFolder, uint32_t AError) {
  throw rtl::EInOutError(rtl::FormatText("Cannot create folder \"%s\". %s",
                                         {AFolder, FServices.Files.ErrorText(AError)}));
}

void TDM::CreateFolderOrRaise(const std::string& AFolder) {
  if (FServices.Files.DirectoryExists(AFolder)) {
    return;
  }
  const uint32_t Error = FServices.Files.MakeDirectory(rtl::ExcludeTrailingPathDelimiter(AFolder));
  if (Error != platform::SysError::Success && !FServices.Files.DirectoryExists(AFolder)) {
    RaiseCannotCreateFolder(AFolder, Error);
  }
}

std::string TDM::GetPersonalDocumentProfilePath() {
  const std::string Documents = FServices.Environment.DocumentsFolder();
  const std::string ProfileFolder = FOptionsFromConfigFile.ProfileFolder + rtl::PathDelim;
  // Without its Documents part the profile folder would be the drive's root folder, and the
  // group defaults would store that for good: it is a folder that cannot be created.
  if (Documents.empty()) {
    RaiseCannotCreateFolder(ProfileFolder, platform::SysError::PathNotFound);
  }
  return CreateFolderQuietly(rtl::IncludeTrailingPathDelimiter(Documents) + ProfileFolder);
}

std::string TDM::GetPersonalDocumentMacroDatabasePath() {
  const std::string Folder = CreateFolderQuietly(GetPersonalDocumentProfilePath() +
                                                 FOptionsFromConfigFile.ProfileMacroFolder);
  return Folder + rtl::PathDelim + cMacroDatabaseFileName;
}

std::string TDM::GetProfileMacroPath(int AProfileIndex) {
  return GetPersonalDocumentProfilePath() + rtl::PathDelim +
         FOptionsFromConfigFile.ProfileNamePrefix + std::to_string(AProfileIndex + 1) + "_Macros";
}

std::vector<int> TDM::GetAllProfilesMacroIndexList() {
  std::vector<int> Indexes;
  auto Scratch = std::make_unique<TMouseProfileInfo>();
  for (TuiProfile* Stream : FProfileGroup) {
    GetZeroExtended(Stream, *Scratch);
    const TMOUSECONFIGINFO& Config = Scratch->ConfigInfo;
    const int Count = std::clamp<int>(Config.ButtonCount, 0, cButtonCount);
    for (int Button = 0; Button < Count; ++Button) {
      const TBUTTONFUNCINFO& Entry = Config.ButtonFuncInfo[Button];
      // 65535 names no macro: a profile holds at most 30.
      if (Entry.nDeviceCode != cMacroDeviceCode || Entry.nAssignedMacroIndex == cNoMacroIndex) {
        continue;
      }
      const int Macro = Entry.nAssignedMacroIndex;
      if (std::find(Indexes.begin(), Indexes.end(), Macro) == Indexes.end()) {
        Indexes.push_back(Macro);
      }
    }
  }
  return Indexes;
}

void TDM::InitTestDefaultValue() {
  BindStream(uiProfileTest, cTestProfileValueName);
  Put(uiProfileTest, *FTestProfileInfo);
  uiProfileTest->RestoreToDefault();
  Get(uiProfileTest, *FTestProfileInfo);
  BindStream(uiProfileDefaultGame, cDefaultGameValueName);
  Put(uiProfileDefaultGame, *FDefaultProfileInfo);
  uiProfileDefaultGame->RestoreToDefault();
  Get(uiProfileDefaultGame, *FDefaultProfileInfo);
}

} // namespace profile
