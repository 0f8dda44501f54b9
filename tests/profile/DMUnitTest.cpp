#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "hid/UsageAndPage.h"
#include "platform/SysError.h"
#include "profile/DMUnit.h"
#include "rtl/Exceptions.h"
#include "rtl/Paths.h"
#include "rtl/Utf.h"
#include "support/TestPlatform.h"

namespace {

using namespace profile;
using platform::RegRoot::CurrentUser;

const std::string cDefaultKey = "software\\software\\ZQgmmouse";

// Fixed clock reading: 2024-02-29 06:00.
constexpr double cNow = 45351.25;

class DMTest : public ::testing::Test {
protected:
  DMTest() { World.Clock.SetNow(cNow); }

  TDMServices Services() {
    return {World.Registry, World.Files,  World.Environment,
            World.Clock,    World.Locale, World.Dialogs};
  }
  std::unique_ptr<TDM> Start() { return std::make_unique<TDM>(nullptr, Services()); }

  std::vector<uint8_t> Value(const std::string& AName, const std::string& AKey = cDefaultKey) {
    const auto Stored = World.Registry.GetValue(CurrentUser, AKey, AName);
    return Stored ? Stored->Data : std::vector<uint8_t>();
  }
  template <class T> void PutRecord(const std::string& AName, const T& ARecord) {
    const auto* Bytes = reinterpret_cast<const uint8_t*>(&ARecord);
    World.Registry.PutValue(CurrentUser, cDefaultKey, AName, platform::RegType::Binary,
                            std::vector<uint8_t>(Bytes, Bytes + sizeof(T)));
  }
  std::string ProfileFolder() {
    return World.Environment.DocumentsFolder() + rtl::PathDelim + "ZQProfile" + rtl::PathDelim;
  }
  std::unique_ptr<TMouseProfileInfo> StreamProfile(TuiProfile* AStream) {
    auto Profile = std::make_unique<TMouseProfileInfo>();
    EXPECT_EQ(AStream->Read(Profile.get(), sizeof(TMouseProfileInfo)), 163560);
    return Profile;
  }

  platform::sim::TSimWorld World;
};

TEST_F(DMTest, AFirstStartWritesOnlyTheGroupAndSettingsRecords) {
  hid::SetDeviceUsageAndPage({0, 0});
  auto Module = Start();
  EXPECT_EQ(DM(), Module.get());
  EXPECT_EQ(Module->StartupError(), "");
  EXPECT_TRUE(World.Dialogs.MessageBoxes().empty());
  EXPECT_EQ(hid::DeviceUsageAndPage(), hid::cVendorUsageAndPage);
  EXPECT_EQ(hid::DeviceUsageAndPage().Value(), 0xFFA00001u);

  EXPECT_EQ(World.Registry.WriteCount(), 2);
  EXPECT_EQ(Value("ProfileSettingGroup.pfd").size(), 30964u);
  EXPECT_EQ(Value("allsettings.pfd").size(), 30954u);
  for (const char* Missing : {"ZQProfile1.pfd", "RecordRPROFILE.pfd", "K4410ProfileTest.pfd"}) {
    EXPECT_TRUE(Value(Missing).empty()) << Missing;
  }
  EXPECT_EQ(Module->ProfileIndex(), 2);
  EXPECT_EQ(Module->AllProfileSettingInfo().CurrentGame, 2);
  EXPECT_EQ(Module->ProfileGroupIndex(), 0);
  EXPECT_EQ(Module->CurrentProfileInfo().ConfigInfo.ReportRate, 500);
  EXPECT_EQ(Module->CurrentProfileInfo().ProfileHeader.FProfileUID.DataTime, cNow);

  // The default folders exist, and the group record names them.
  EXPECT_TRUE(World.Files.DirectoryExists(ProfileFolder()));
  for (int N = 1; N <= 5; ++N) {
    EXPECT_TRUE(
        World.Files.DirectoryExists(ProfileFolder() + "ZQProfile" + std::to_string(N) + "_Macros"));
  }
  const TPROFILESETTING& First = Module->ProfileSettingGroup().ProfileSettingList[0];
  EXPECT_EQ(rtl::ReadFixedText(First.szFileName), "ZQProfile1.pfd");
  EXPECT_EQ(rtl::ReadFixedText(First.szFilePath), ProfileFolder());
  EXPECT_EQ(rtl::ReadFixedText(First.szRegKeyPath), cDefaultKey);
  EXPECT_EQ(rtl::ReadFixedText(First.szMacroPath),
            ProfileFolder() + rtl::PathDelim + "ZQProfile1_Macros");
  EXPECT_EQ(rtl::ReadFixedText(Module->ProfileSettingGroup().ProfileSettingList[4].szFileName),
            "ZQProfile5.pfd");
  EXPECT_EQ(Module->GetPersonalDocumentMacroDatabasePath(),
            ProfileFolder() + "MacroDB" + rtl::PathDelim + "MacroSet.MSDB");
  EXPECT_TRUE(World.Files.DirectoryExists(ProfileFolder() + "MacroDB"));
  Module.reset();
  EXPECT_EQ(DM(), nullptr);
}

TEST_F(DMTest, ASecondStartLoadsWhatIsStoredAndWritesNothing) {
  Start().reset();
  auto Stored = std::make_unique<TMouseProfileInfo>();
  Stored->ConfigInfo.ReportRate = 1000;
  Stored->ConfigInfo.ApplicationList[5] = 0x42;
  PutRecord("ZQProfile2.pfd", *Stored);
  TALLGAMESINFO All{};
  All.CurrentGame = 1;
  PutRecord("allsettings.pfd", All);
  const auto Group = Value("ProfileSettingGroup.pfd");
  const int Writes = World.Registry.WriteCount();

  auto Module = Start();
  EXPECT_EQ(World.Registry.WriteCount(), Writes);
  EXPECT_EQ(Value("ProfileSettingGroup.pfd"), Group);
  EXPECT_EQ(Module->ProfileIndex(), 1);
  EXPECT_EQ(Module->CurrentProfileInfo().ConfigInfo.ReportRate, 1000);
  EXPECT_EQ(Module->CurrentProfileInfo().ConfigInfo.ApplicationList[5], 0x42);
  // Profiles without a stored value get their defaults in memory only.
  EXPECT_EQ(StreamProfile(Module->uiProfileGame1)->ConfigInfo.ReportRate, 500);
  EXPECT_TRUE(Value("ZQProfile1.pfd").empty());
}

TEST_F(DMTest, FileStoredProfilesAreCreatedWhenMissing) {
  Start().reset();
  auto Group = std::make_unique<TProfileSettingGroup>();
  std::memcpy(Group.get(), Value("ProfileSettingGroup.pfd").data(), sizeof(TProfileSettingGroup));
  const std::string NewFolder = World.Environment.DocumentsFolder() + rtl::PathDelim + "Mine";
  Group->ProfileSettingList[0].nStorage = cStorageFile;
  rtl::StoreFixedText(Group->ProfileSettingList[0].szFilePath, NewFolder);
  Group->ProfileSettingList[1].nStorage = cStorageFile; // its folder exists, its file does not
  Group->ProfileSettingList[3].nStorage = 7;            // an unknown kind keeps the zero image
  PutRecord("ProfileSettingGroup.pfd", *Group);

  auto Module = Start();
  EXPECT_EQ(Module->StartupError(), "");
  std::vector<uint8_t> Written;
  ASSERT_EQ(
      World.Files.ReadWholeFile(NewFolder + rtl::PathDelim + "ZQProfile1.pfd", Written, 1 << 20),
      0u);
  EXPECT_EQ(Written.size(), 163560u);
  EXPECT_EQ(Written, Module->uiProfileGame1->Stream().Bytes());
  EXPECT_TRUE(World.Files.FileExists(ProfileFolder() + "ZQProfile2.pfd"));
  EXPECT_EQ(StreamProfile(Module->uiProfileGame4)->ConfigInfo.ReportRate, 0);

  // A later start loads the file as it is.
  Written[872 + 117168] = 0xE8;
  Written[872 + 117169] = 0x03;
  ASSERT_EQ(World.Files.ReplaceFileContent(NewFolder + rtl::PathDelim + "ZQProfile1.pfd",
                                           Written.data(), Written.size()),
            0u);
  Module = Start();
  EXPECT_EQ(StreamProfile(Module->uiProfileGame1)->ConfigInfo.ReportRate, 1000);
}

TEST_F(DMTest, IndexesOutsideTheirRangesChangeNothing) {
  auto Module = Start();
  TMouseProfileInfo* Scratch = new TMouseProfileInfo{};
  std::unique_ptr<TMouseProfileInfo> Owner(Scratch);
  for (int Bad : {-1, 5}) {
    EXPECT_FALSE(Module->SwitchToProfile(Bad));
    EXPECT_FALSE(Module->ReadProfileInfo(*Scratch, Bad));
    EXPECT_FALSE(Module->SaveBackToProfileInfo(*Scratch, Bad));
    EXPECT_FALSE(Module->SaveProfileInfoToRegistry(Bad));
    EXPECT_FALSE(Module->RestoreProfileInfoToDefault(Bad));
    EXPECT_FALSE(Module->LoadProfileInfoFromRegistry(Bad));
    EXPECT_FALSE(Module->IsProfileChanged(Bad));
    Module->SetProfileChanged(Bad, true);
  }
  for (int Bad : {-1, 2}) {
    EXPECT_FALSE(Module->SwitchToProfileGroup(Bad));
    EXPECT_FALSE(Module->RestoreProfileGroupToDefault(Bad));
  }
  EXPECT_EQ(Module->ProfileIndex(), 2);
  EXPECT_EQ(Module->AllProfileSettingInfo().CurrentGame, 2);
  for (int Index = 0; Index < 5; ++Index) {
    EXPECT_FALSE(Module->IsProfileChanged(Index));
  }
}

TEST_F(DMTest, ProfileGroupsSelectAProfileInMemoryOnly) {
  auto Module = Start();
  const auto Settings = Value("allsettings.pfd");
  ASSERT_TRUE(Module->SwitchToProfileGroup(1));
  EXPECT_EQ(Module->ProfileIndex(), 1);
  EXPECT_EQ(Module->ProfileGroupIndex(), 1);
  EXPECT_EQ(Module->ProfileSettingGroup().CurrentProfileGroup, 1);
  EXPECT_EQ(Module->AllProfileSettingInfo().CurrentGame, 1);
  EXPECT_EQ(Value("allsettings.pfd"), Settings);
  Module->SaveBackAllProfileSettingInfo();
  EXPECT_EQ(Value("allsettings.pfd")[30950], 1);

  // A stored group entry out of range fails before anything changes.
  Module->ProfileSettingGroup().ProfileIndexOfProfileGroup[0] = 9;
  EXPECT_THROW(Module->SwitchToProfileGroup(0), rtl::ERangeError);
  EXPECT_EQ(Module->ProfileIndex(), 1);
  EXPECT_EQ(Module->ProfileGroupIndex(), 1);
}

TEST_F(DMTest, StoredIndexesOutOfRangeStopStartUpWithADialog) {
  Start().reset();
  auto Group = std::make_unique<TProfileSettingGroup>();
  std::memcpy(Group.get(), Value("ProfileSettingGroup.pfd").data(), sizeof(TProfileSettingGroup));
  Group->CurrentProfileGroup = 7;
  PutRecord("ProfileSettingGroup.pfd", *Group);
  const int Writes = World.Registry.WriteCount();

  auto Module = Start();
  ASSERT_EQ(World.Dialogs.MessageBoxes().size(), 1u);
  EXPECT_EQ(World.Dialogs.MessageBoxes()[0].Text, "Range check error");
  EXPECT_EQ(World.Dialogs.MessageBoxes()[0].Icon, platform::TMessageBoxIcon::Error);
  EXPECT_EQ(Module->StartupError(), "Range check error");
  EXPECT_EQ(World.Registry.WriteCount(), Writes);

  // Every operation afterwards works on bound streams and returns without a crash.
  EXPECT_TRUE(Module->SwitchToProfile(0));
  EXPECT_TRUE(Module->ReadCurrentProfileInfo());
  EXPECT_FALSE(Module->LoadCurrentProfileInfoFromRegistry());
  EXPECT_FALSE(Module->LoadProfileInfoFromRegistry(3));
  Module->LoadAllProfileInfoFromRegistry();
  EXPECT_EQ(Module->AllProfileSettingInfo().CurrentGame, 2);
  EXPECT_THROW(Module->LoadProfileGroupSettingInfoFromRegistry(), rtl::ERangeError);
  Module->RestoreCurrentProfileInfoToDefault();
  EXPECT_EQ(Module->CurrentProfileInfo().ConfigInfo.ReportRate, 500);
  Module->InitTestDefaultValue();
  EXPECT_EQ(Module->TestProfileInfo().ConfigInfo.ReportRate, 125);
  EXPECT_TRUE(Module->GetAllProfilesMacroIndexList().empty());
  EXPECT_EQ(Module->uiProfileGame1->KeyPath(), cDefaultKey);
  EXPECT_EQ(Module->uiProfileGame1->FileName(), "ZQProfile1.pfd");
}

TEST_F(DMTest, AFolderThatCannotBeCreatedStopsStartUpWithADialog) {
  // No Documents folder: the profile folder has no parent to be created in.
  std::filesystem::remove_all(platform::sim::Utf8Path(World.Environment.DocumentsFolder()));
  auto Module = Start();
  ASSERT_EQ(World.Dialogs.MessageBoxes().size(), 1u);
  EXPECT_NE(World.Dialogs.MessageBoxes()[0].Text.find("Cannot create folder"), std::string::npos);
  // The group record was never saved; the other records were not reached.
  EXPECT_TRUE(Value("ProfileSettingGroup.pfd").empty());
  EXPECT_TRUE(Value("allsettings.pfd").empty());
  EXPECT_TRUE(Module->SwitchToProfile(4));
  Module->SaveBackToCurrentProfileInfo();
  EXPECT_TRUE(Module->IsProfileChanged(4));
}

TEST_F(DMTest, AnUnknownDocumentsFolderIsAFolderThatCannotBeCreated) {
  World.Environment.SetDocumentsFolder("");
  auto Module = Start();
  ASSERT_EQ(World.Dialogs.MessageBoxes().size(), 1u);
  EXPECT_EQ(World.Dialogs.MessageBoxes()[0].Text,
            std::string("Cannot create folder \"ZQProfile") + rtl::PathDelim +
                "\". The system cannot find the path specified.");
  // No group record naming folders without their Documents part is stored.
  EXPECT_TRUE(Value("ProfileSettingGroup.pfd").empty());
  EXPECT_THROW(Module->GetPersonalDocumentMacroDatabasePath(), rtl::EInOutError);
}

TEST_F(DMTest, ResolutionLevelsCopyToTheOtherProfiles) {
  auto Module = Start();
  Module->SaveBackAllProfileInfoToRegistry();
  auto& Current = Module->CurrentProfileInfo().ConfigInfo;
  Current.CPIState[0].CPIX = 400;
  Current.CPIState[10].CPIY = 12000;
  Current.UseDiffentXY[7] = 1;
  Current.CPILevel = 3;
  const auto CurrentStreamBefore = Module->uiProfileGame3->Stream().Bytes();

  Module->SETALLDPILikeThisProfile();
  EXPECT_EQ(Module->uiProfileGame3->Stream().Bytes(), CurrentStreamBefore);
  for (int Index : {0, 1, 3, 4}) {
    SCOPED_TRACE(Index);
    EXPECT_TRUE(Module->IsProfileChanged(Index));
    auto Other = std::make_unique<TMouseProfileInfo>();
    const auto Stored = Value("ZQProfile" + std::to_string(Index + 1) + ".pfd");
    ASSERT_EQ(Stored.size(), 163560u);
    std::memcpy(Other.get(), Stored.data(), Stored.size());
    EXPECT_EQ(Other->ConfigInfo.CPIState[0].CPIX, 400);
    EXPECT_EQ(Other->ConfigInfo.CPIState[10].CPIY, 12000);
    EXPECT_EQ(Other->ConfigInfo.UseDiffentXY[7], 1);
    EXPECT_EQ(Other->ConfigInfo.CPILevel, 5);
    EXPECT_EQ(Other->ConfigInfo.CurrentCPIIndex, Index == 3 ? 3 : Index == 4 ? 4 : 0);
    EXPECT_TRUE(
        World.Files.FileExists(ProfileFolder() + "ZQProfile" + std::to_string(Index + 1) + ".pfd"));
  }
  EXPECT_FALSE(Module->IsProfileChanged(2));
  EXPECT_FALSE(World.Files.FileExists(ProfileFolder() + "ZQProfile3.pfd"));
}

// Game profile 0 ("ZQProfile1.pfd") stored whole with a tail of its own; game profile 1
// ("ZQProfile2.pfd") stored only up to its report rate, as an older or damaged value would be.
constexpr std::size_t cShortProfileSize = 872 + 117168;

class DMShortProfileTest : public DMTest {
protected:
  void StoreWholeAndShortProfiles() {
    Start().reset();
    auto Whole = std::make_unique<TMouseProfileInfo>();
    Whole->ConfigInfo.ReportRate = 1000;
    Whole->ConfigInfo.CurrentCPIIndex = 3;
    Whole->ConfigInfo.CPIState[0].CPIX = 3200;
    Whole->MacroKeyInfoList.nMacroInfoCount = 7;
    PutRecord("ZQProfile1.pfd", *Whole);
    auto Short = std::make_unique<TMouseProfileInfo>();
    Short->ConfigInfo.VWheelType = 2;
    const auto* Bytes = reinterpret_cast<const uint8_t*>(Short.get());
    World.Registry.PutValue(CurrentUser, cDefaultKey, "ZQProfile2.pfd", platform::RegType::Binary,
                            std::vector<uint8_t>(Bytes, Bytes + cShortProfileSize));
  }
};

TEST_F(DMShortProfileTest, SwitchingToAProfileStoredShortKeepsNothingOfTheProfileBefore) {
  StoreWholeAndShortProfiles();
  auto Module = Start();
  ASSERT_TRUE(Module->SwitchToProfile(0));
  ASSERT_EQ(Module->CurrentProfileInfo().ConfigInfo.CPIState[0].CPIX, 3200);
  ASSERT_TRUE(Module->SwitchToProfile(1));
  const TMouseProfileInfo& Current = Module->CurrentProfileInfo();
  EXPECT_EQ(Current.ConfigInfo.VWheelType, 2);
  EXPECT_EQ(Current.ConfigInfo.ReportRate, 0);
  EXPECT_EQ(Current.ConfigInfo.CurrentCPIIndex, 0);
  EXPECT_EQ(Current.ConfigInfo.CPIState[0].CPIX, 0);
  EXPECT_EQ(Current.MacroKeyInfoList.nMacroInfoCount, 0);
  // Reading changes nothing stored.
  EXPECT_EQ(Module->uiProfileGame2->Stream().Size(), static_cast<int64_t>(cShortProfileSize));
  EXPECT_EQ(Value("ZQProfile2.pfd").size(), cShortProfileSize);
}

TEST_F(DMShortProfileTest, CopyingResolutionLevelsExtendsAProfileStoredShortWithZeros) {
  StoreWholeAndShortProfiles();
  auto Module = Start();
  ASSERT_EQ(Module->ProfileIndex(), 2);
  Module->CurrentProfileInfo().ConfigInfo.CPIState[0].CPIX = 400;
  Module->SETALLDPILikeThisProfile();

  const auto Read = [&](const std::string& AName) {
    auto Profile = std::make_unique<TMouseProfileInfo>();
    const auto Stored = Value(AName);
    EXPECT_EQ(Stored.size(), 163560u) << AName;
    std::memcpy(Profile.get(), Stored.data(), std::min(Stored.size(), sizeof(TMouseProfileInfo)));
    return Profile;
  };
  const auto Whole = Read("ZQProfile1.pfd");
  EXPECT_EQ(Whole->ConfigInfo.CPIState[0].CPIX, 400);
  EXPECT_EQ(Whole->ConfigInfo.ReportRate, 1000);
  EXPECT_EQ(Whole->MacroKeyInfoList.nMacroInfoCount, 7);
  const auto Short = Read("ZQProfile2.pfd");
  EXPECT_EQ(Short->ConfigInfo.CPIState[0].CPIX, 400);
  EXPECT_EQ(Short->ConfigInfo.VWheelType, 2);
  EXPECT_EQ(Short->ConfigInfo.ReportRate, 0);
  EXPECT_EQ(Short->ConfigInfo.CurrentCPIIndex, 0);
  EXPECT_EQ(Short->MacroKeyInfoList.nMacroInfoCount, 0);
}

TEST_F(DMTest, MacroIndexesAreListedOnceInTheOrderFound) {
  auto Module = Start();
  const auto Assign = [&](int AProfile, int AButton, int32_t ADevice, uint16_t AMacro) {
    auto Profile = std::make_unique<TMouseProfileInfo>();
    ASSERT_TRUE(Module->ReadProfileInfo(*Profile, AProfile));
    Profile->ConfigInfo.ButtonFuncInfo[AButton].nDeviceCode = ADevice;
    Profile->ConfigInfo.ButtonFuncInfo[AButton].nAssignedMacroIndex = AMacro;
    ASSERT_TRUE(Module->SaveBackToProfileInfo(*Profile, AProfile));
  };
  Assign(0, 4, 4, 3);
  Assign(0, 9, 4, 7);
  Assign(1, 2, 4, 3);
  Assign(2, 5, 9, 11);     // not a macro button
  Assign(3, 6, 4, 0xFFFF); // a macro button without a macro
  EXPECT_EQ(Module->GetAllProfilesMacroIndexList(), (std::vector<int>{3, 7}));
  // Only the buttons in use count.
  auto Profile = std::make_unique<TMouseProfileInfo>();
  Module->ReadProfileInfo(*Profile, 0);
  Profile->ConfigInfo.ButtonCount = 8;
  Module->SaveBackToProfileInfo(*Profile, 0);
  EXPECT_EQ(Module->GetAllProfilesMacroIndexList(), (std::vector<int>{3}));
}

TEST_F(DMTest, MovingTheCurrentProfileFileCutsTheNameToTwentyUnits) {
  auto Module = Start();
  const std::string Folder = ProfileFolder();
  ASSERT_TRUE(
      Module->ChangeCurrentProfileFileNameAndPath(Folder + "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123"));
  const TPROFILESETTING& Setting = Module->ProfileSettingGroup().ProfileSettingList[2];
  EXPECT_EQ(rtl::ReadFixedText(Setting.szFileName), "ABCDEFGHIJKLMNOPQRST");
  EXPECT_EQ(rtl::ReadFixedText(Setting.szFilePath), Folder);
  EXPECT_EQ(Module->uiProfileGame3->FileName(), "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123");
  EXPECT_EQ(Module->uiProfileGame3->FilePath(), Folder);
  EXPECT_EQ(Setting.nStorage, cStorageRegistry);
  Module->SaveCurrentProfileInfoToFile();
  EXPECT_TRUE(World.Files.FileExists(Folder + "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123"));
}

TEST_F(DMTest, RecordedMacrosAndChangedFlags) {
  auto Module = Start();
  TMACROKEYINFO Macro{};
  Macro.MacroListCount = 3;
  Macro.nMacroIndex = 12;
  Module->SaveBackRecordMacroInfoToRegistry(Macro);
  EXPECT_EQ(Value("RecordRPROFILE.pfd").size(), 896u);
  Module = Start();
  EXPECT_EQ(Module->RecordMacroInfo().nMacroIndex, 0);
  Module->LoadRecordMacroInfoFromRegistry();
  EXPECT_EQ(Module->RecordMacroInfo().nMacroIndex, 12);

  Module->SaveCurrentProfileInfoToRegistry();
  EXPECT_TRUE(Module->IsProfileChanged(2));
  EXPECT_EQ(Value("ZQProfile3.pfd").size(), 163560u);
  Module->SetProfileChanged(2, false);
  EXPECT_TRUE(Module->RestoreProfileGroupToDefault(0)); // profile 0 is not current
  EXPECT_FALSE(Module->IsProfileChanged(0));
  Module->RestoreAllProfileInfoToDefault();
  for (int Index = 0; Index < 5; ++Index) {
    EXPECT_TRUE(Module->IsProfileChanged(Index));
  }
}

// A first and a second start on every backend; under Wine, the real registry and files.
class DMBackendTest : public ::testing::TestWithParam<std::string> {};

TEST_P(DMBackendTest, FirstAndSecondStart) {
  auto Backend = test::MakeTestPlatform(GetParam());
  platform::TPlatform Platform = Backend->Platform();
  test::TRedirectedEnvironment Environment(Platform.Environment, Backend->Folder());
  // The registry folder is the test's own key.
  const std::string Key = Backend->KeyPath();
  const std::string Config = "[options]\r\nProfileRegFolder=" + Key.substr(9) + "\r\n";
  ASSERT_EQ(Platform.Files.ReplaceFileContent(Environment.ModuleFolder() + "config.ini",
                                              Config.data(), Config.size()),
            0u);
  // A start-up error is recorded, never shown: a modal box would stall the test under Wine.
  platform::sim::TSimDialogs Dialogs;
  const TDMServices Services{Platform.Registry, Platform.Files,  Environment,
                             Platform.Clock,    Platform.Locale, Dialogs};
  auto Module = std::make_unique<TDM>(nullptr, Services);
  EXPECT_EQ(Module->StartupError(), "");
  EXPECT_EQ(Module->OptionsFromConfigFile().ProfileRegFolder, Key);
  EXPECT_EQ(Module->ProfileIndex(), 2);

  uint32_t Error = 0;
  auto RegKey = Platform.Registry.OpenKey(CurrentUser, Key, platform::TKeyAccess::ReadWrite, Error);
  ASSERT_TRUE(RegKey) << Error;
  uint32_t Type = 0;
  uint64_t Size = 0;
  ASSERT_EQ(RegKey->QueryValueInfo("allsettings.pfd", Type, Size), 0u);
  EXPECT_EQ(Type, platform::RegType::Binary);
  EXPECT_EQ(Size, 30954u);
  ASSERT_EQ(RegKey->QueryValueInfo("ProfileSettingGroup.pfd", Type, Size), 0u);
  EXPECT_EQ(Size, 30964u);
  EXPECT_EQ(RegKey->QueryValueInfo("ZQProfile3.pfd", Type, Size), platform::SysError::FileNotFound);

  // The second start finds what the first wrote.
  Module->SwitchToProfile(4);
  Module->CurrentProfileInfo().ConfigInfo.ReportRate = 250;
  Module->SaveCurrentProfileInfoToRegistry();
  Module->SaveBackAllProfileSettingInfo();
  Module = std::make_unique<TDM>(nullptr, Services);
  EXPECT_EQ(Module->ProfileIndex(), 4);
  EXPECT_EQ(Module->CurrentProfileInfo().ConfigInfo.ReportRate, 250);
  EXPECT_EQ(Module->CurrentProfileInfo().ConfigInfo.LEDConfig.B, 0);
  EXPECT_TRUE(Dialogs.MessageBoxes().empty());
}

INSTANTIATE_TEST_SUITE_P(Backends, DMBackendTest, ::testing::ValuesIn(test::TestBackendNames()),
                         [](const auto& AInfo) { return AInfo.param; });

} // namespace
