#include <gtest/gtest.h>

#include <filesystem>

#include "platform/SysError.h"
#include "profile/uiProfile.h"
#include "rtl/Exceptions.h"
#include "rtl/Paths.h"
#include "support/TestPlatform.h"

namespace {

using platform::RegRoot::CurrentUser;
using profile::TuiProfile;
using rtl::TMemoryStream;

// The same cases run on every backend: the simulated world, and under Wine the real
// registry and file system.
class TuiProfileTest : public ::testing::TestWithParam<std::string> {
protected:
  void SetUp() override {
    FTest = test::MakeTestPlatform(GetParam());
    FProfile = std::make_unique<TuiProfile>(nullptr, Platform().Registry, Platform().Files);
    FProfile->SetRootKey(CurrentUser);
    FProfile->SetKeyPath(FTest->KeyPath());
    FProfile->SetFileName("allsettings.pfd");
  }

  platform::TPlatform Platform() { return FTest->Platform(); }
  TuiProfile& Profile() { return *FProfile; }
  const std::string& Folder() { return FTest->Folder(); }

  void WriteImage(const std::vector<uint8_t>& AImage) {
    Profile().Write(AImage.data(), static_cast<int>(AImage.size()));
  }

  // Stores a value straight through the registry service.
  void PutValue(const std::string& AName, uint32_t AType, const std::vector<uint8_t>& AData) {
    uint32_t Error = 0;
    auto Key = Platform().Registry.OpenKey(CurrentUser, FTest->KeyPath(),
                                           platform::TKeyAccess::Create, Error);
    ASSERT_TRUE(Key) << Error;
    ASSERT_EQ(Key->SetValue(AName, AType, AData.data(), AData.size()), 0u);
  }

  std::vector<uint8_t> StoredValue(const std::string& AName, uint32_t& AType) {
    uint32_t Error = 0;
    std::vector<uint8_t> Data;
    auto Key = Platform().Registry.OpenKey(CurrentUser, FTest->KeyPath(),
                                           platform::TKeyAccess::Read, Error);
    if (Key) {
      Key->QueryValue(AName, AType, Data, 1 << 24);
    }
    return Data;
  }

  std::vector<uint8_t> FileBytes(const std::string& APath) {
    std::vector<uint8_t> Data;
    EXPECT_EQ(Platform().Files.ReadWholeFile(APath, Data, 1 << 24), 0u) << APath;
    return Data;
  }

  std::unique_ptr<test::TTestPlatform> FTest;
  std::unique_ptr<TuiProfile> FProfile;
};

TEST_P(TuiProfileTest, RegistryRoundTripIsTheStreamsBytesAsBinary) {
  const auto Image = test::PatternBytes(30954);
  WriteImage(Image);
  ASSERT_TRUE(Profile().SaveStreamToRegistry());
  uint32_t Type = 0;
  EXPECT_EQ(StoredValue("allsettings.pfd", Type), Image);
  EXPECT_EQ(Type, platform::RegType::Binary);

  WriteImage(test::PatternBytes(30954, 99));
  ASSERT_TRUE(Profile().LoadStreamFromRegistry());
  EXPECT_EQ(Profile().Stream().Bytes(), Image);
}

TEST_P(TuiProfileTest, ALoadOnlyReadsTheStore) {
  // Nothing stored: the stream stays as it was and no key is left behind.
  const auto Image = test::PatternBytes(16);
  WriteImage(Image);
  Profile().SetFileName("ProfileSettingGroup.pfd");
  EXPECT_FALSE(Profile().LoadStreamFromRegistry());
  EXPECT_EQ(Profile().Stream().Bytes(), Image);
  uint32_t Error = 0;
  EXPECT_FALSE(Platform().Registry.OpenKey(CurrentUser, FTest->KeyPath(),
                                           platform::TKeyAccess::Read, Error));
  EXPECT_EQ(Error, platform::SysError::FileNotFound);
  // The key without the value.
  PutValue("allsettings.pfd", platform::RegType::Binary, {1, 2, 3});
  EXPECT_FALSE(Profile().LoadStreamFromRegistry());
  EXPECT_EQ(Profile().Stream().Bytes(), Image);

  // A key the user may only read (set up by an administrator) still loads; a save is refused
  // and leaves the stored value as it was.
  auto* Sim = FTest->Sim();
  if (Sim == nullptr) {
    return;
  }
  Sim->Registry.SetReadOnly(CurrentUser, FTest->KeyPath(), true);
  Profile().SetFileName("allsettings.pfd");
  ASSERT_TRUE(Profile().LoadStreamFromRegistry());
  EXPECT_EQ(Profile().Stream().Bytes(), (std::vector<uint8_t>{1, 2, 3}));
  WriteImage(Image);
  EXPECT_FALSE(Profile().SaveStreamToRegistry());
  uint32_t Type = 0;
  EXPECT_EQ(StoredValue("allsettings.pfd", Type), (std::vector<uint8_t>{1, 2, 3}));
}

TEST_P(TuiProfileTest, ShorterStoredValueShrinksTheStreamAndReadLeavesTheRest) {
  PutValue("allsettings.pfd", platform::RegType::Binary, {1, 2, 3});
  WriteImage(test::PatternBytes(10));
  ASSERT_TRUE(Profile().LoadStreamFromRegistry());
  EXPECT_EQ(Profile().Stream().Size(), 3);

  std::vector<uint8_t> Record(10, 0xAA);
  EXPECT_EQ(Profile().Read(Record.data(), 10), 3);
  EXPECT_EQ(Record, (std::vector<uint8_t>{1, 2, 3, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA}));

  PutValue("allsettings.pfd", platform::RegType::Binary, {});
  ASSERT_TRUE(Profile().LoadStreamFromRegistry());
  EXPECT_EQ(Profile().Stream().Size(), 0);
}

TEST_P(TuiProfileTest, BadStoredValuesRaiseAndLeaveTheStream) {
  const auto Image = test::PatternBytes(8);
  WriteImage(Image);
  PutValue("allsettings.pfd", platform::RegType::String, {'a', 0, 0, 0});
  try {
    Profile().LoadStreamFromRegistry();
    FAIL() << "a value of another type was loaded";
  } catch (const rtl::ERegistryException& E) {
    EXPECT_STREQ(E.what(), "Invalid data type for 'allsettings.pfd'");
  }
  PutValue("allsettings.pfd", platform::RegType::Binary,
           std::vector<uint8_t>(profile::cMaxStreamImageSize + 1, 1));
  EXPECT_THROW(Profile().LoadStreamFromRegistry(), rtl::ERegistryException);
  EXPECT_EQ(Profile().Stream().Bytes(), Image);
}

TEST_P(TuiProfileTest, IncompleteRegistryTargetsAreRefusedQuietly) {
  WriteImage({1});
  Profile().SetRootKey(0x80000003u);
  EXPECT_FALSE(Profile().SaveStreamToRegistry());
  EXPECT_FALSE(Profile().LoadStreamFromRegistry());
  Profile().SetRootKey(CurrentUser);
  Profile().SetKeyPath("");
  EXPECT_FALSE(Profile().SaveStreamToRegistry());
  Profile().SetKeyPath(FTest->KeyPath());
  Profile().SetFileName("");
  EXPECT_FALSE(Profile().SaveStreamToRegistry());
}

TEST_P(TuiProfileTest, CancelledOperationsTouchNothingAndSkipTheirAfterEvents) {
  int AfterCalls = 0;
  profile::TuiProfileEvent Cancel = [](TMemoryStream&, bool& bContinue) { bContinue = false; };
  profile::TuiProfileEvent2 After = [&](TMemoryStream*) { ++AfterCalls; };
  Profile().SetOnBeforeSaveToRegistry(Cancel);
  Profile().SetOnBeforeLoadFromRegistry(Cancel);
  Profile().SetOnBeforeSaveToFile(Cancel);
  Profile().SetOnBeforeLoadFromFile(Cancel);
  Profile().SetOnAfterSaveToRegistry(After);
  Profile().SetOnAfterLoadFromRegistry(After);
  Profile().SetOnAfterSaveToFile(After);
  Profile().SetOnAfterLoadFromFile(After);
  Profile().SetFilePath(Folder());
  WriteImage({1, 2});

  EXPECT_FALSE(Profile().SaveStreamToRegistry());
  EXPECT_FALSE(Profile().LoadStreamFromRegistry());
  EXPECT_FALSE(Profile().SaveStreamToFile());
  EXPECT_FALSE(Profile().SaveStreamToFile(Folder() + "x.pfd"));
  EXPECT_FALSE(Profile().LoadStreamFromFile());
  EXPECT_EQ(AfterCalls, 0);
  EXPECT_FALSE(Platform().Files.FileExists(Folder() + "allsettings.pfd"));
  EXPECT_FALSE(Platform().Files.FileExists(Folder() + "x.pfd"));
  uint32_t Error = 0;
  EXPECT_FALSE(Platform().Registry.OpenKey(CurrentUser, FTest->KeyPath(),
                                           platform::TKeyAccess::ReadWrite, Error));
}

TEST_P(TuiProfileTest, EventsSeeTheComponentsStream) {
  std::vector<const TMemoryStream*> Seen;
  Profile().SetOnBeforeSaveToRegistry([&](TMemoryStream& AStream, bool& bContinue) {
    Seen.push_back(&AStream);
    EXPECT_TRUE(bContinue);
  });
  Profile().SetOnAfterSaveToRegistry([&](TMemoryStream* AStream) { Seen.push_back(AStream); });
  Profile().SetOnAfterLoadFromRegistry([&](TMemoryStream* AStream) { Seen.push_back(AStream); });
  WriteImage({5});
  ASSERT_TRUE(Profile().SaveStreamToRegistry());
  ASSERT_TRUE(Profile().LoadStreamFromRegistry());
  EXPECT_EQ(Seen, (std::vector<const TMemoryStream*>(3, &Profile().Stream())));
}

TEST_P(TuiProfileTest, FilePathTakesOnlyExistingFoldersAndGainsADelimiter) {
  Profile().SetFilePath(Folder() + "missing");
  EXPECT_EQ(Profile().FilePath(), "");
  Profile().SetFilePath(rtl::ExcludeTrailingPathDelimiter(Folder()));
  EXPECT_EQ(Profile().FilePath(), Folder());
  Profile().SetFilePath(Folder() + "missing");
  EXPECT_EQ(Profile().FilePath(), Folder());
}

TEST_P(TuiProfileTest, FileRoundTripIsExactlyTheStream) {
  const auto Image = test::PatternBytes(163560);
  WriteImage(Image);
  Profile().SetFilePath(Folder());
  Profile().SetFileName("Pr\xC3\xB6"
                        "file1.pfd");
  ASSERT_TRUE(Profile().SaveStreamToFile());
  EXPECT_EQ(FileBytes(Folder() + "Pr\xC3\xB6"
                                 "file1.pfd"),
            Image);

  // A shorter image replaces the file whole: nothing of the old one remains.
  Profile().SetSize(100);
  ASSERT_TRUE(Profile().SaveStreamToFile());
  EXPECT_EQ(FileBytes(Folder() + "Pr\xC3\xB6"
                                 "file1.pfd"),
            std::vector<uint8_t>(Image.begin(), Image.begin() + 100));

  WriteImage(Image);
  ASSERT_TRUE(Profile().LoadStreamFromFile());
  EXPECT_EQ(Profile().Stream().Size(), 100);
  EXPECT_EQ(Profile().Stream().Position(), 0);

  // No temporary file is left beside the profile.
  int Files = 0;
  for ([[maybe_unused]] const auto& Entry : std::filesystem::directory_iterator(
           std::filesystem::path(std::u8string(Folder().begin(), Folder().end())))) {
    ++Files;
  }
  EXPECT_EQ(Files, 1);
}

TEST_P(TuiProfileTest, LoadingFromFilesNeedsAPathAndAnExistingFile) {
  WriteImage({7});
  const std::string Path = Folder() + "p.pfd";
  EXPECT_FALSE(Profile().LoadStreamFromFile(Path));
  ASSERT_EQ(Platform().Files.ReplaceFileContent(Path, "\x01\x02", 2), 0u);
  // An empty FilePath fails even when FileName names an existing file.
  Profile().SetFileName(Path);
  EXPECT_FALSE(Profile().LoadStreamFromFile());
  ASSERT_TRUE(Profile().LoadStreamFromFile(Path));
  EXPECT_EQ(Profile().Stream().Bytes(), (std::vector<uint8_t>{1, 2}));
  EXPECT_EQ(Profile().FilePath(), "");
}

TEST_P(TuiProfileTest, SavingToAPathCreatesOneFolderLevel) {
  WriteImage({1, 2, 3});
  ASSERT_TRUE(Profile().SaveStreamToFile(Folder() + "MacroDB" + rtl::PathDelim + "a.pfd"));
  EXPECT_EQ(FileBytes(Folder() + "MacroDB" + rtl::PathDelim + "a.pfd"),
            (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_FALSE(
      Profile().SaveStreamToFile(Folder() + "x" + rtl::PathDelim + "y" + rtl::PathDelim + "a.pfd"));
  EXPECT_EQ(Profile().FilePath(), "");

  const std::string Target = Folder() + "Profiles" + rtl::PathDelim + "b.pfd";
  ASSERT_TRUE(Profile().PreSaveStreamToFile(Target));
  EXPECT_EQ(Profile().FilePath(), Folder() + "Profiles" + rtl::PathDelim);
  EXPECT_EQ(Profile().FileName(), "b.pfd");
  EXPECT_FALSE(Platform().Files.FileExists(Target));
  EXPECT_FALSE(Profile().PreSaveStreamToFile(Folder() + "x" + rtl::PathDelim + "y" +
                                             rtl::PathDelim + "c.pfd"));
  EXPECT_EQ(Profile().FileName(), "b.pfd");
}

TEST_P(TuiProfileTest, FileErrorsRaiseWithThePlatformsText) {
  WriteImage({1});
  Profile().SetFilePath(Folder());
  Profile().SetFileName("a.pfd");
  ASSERT_TRUE(Profile().SaveStreamToFile());
  // The folder vanishes after FilePath took it: the save cannot create the file.
  std::filesystem::remove_all(
      std::filesystem::path(std::u8string(Folder().begin(), Folder().end())));
  try {
    Profile().SaveStreamToFile();
    FAIL() << "no error";
  } catch (const rtl::EFCreateError& E) {
    const std::string Expected = "Cannot create file \"" + Folder() + "a.pfd\". ";
    EXPECT_EQ(std::string(E.what()).rfind(Expected, 0), 0u) << E.what();
    EXPECT_GT(std::string(E.what()).size(), Expected.size());
  }
}

TEST_P(TuiProfileTest, OversizedFilesAreRefusedNotCut) {
  const std::string Path = Folder() + "big.pfd";
  const std::vector<uint8_t> Big(profile::cMaxStreamImageSize + 1, 3);
  ASSERT_EQ(Platform().Files.ReplaceFileContent(Path, Big.data(), Big.size()), 0u);
  WriteImage({9});
  EXPECT_THROW(Profile().LoadStreamFromFile(Path), rtl::EFOpenError);
  EXPECT_EQ(Profile().Stream().Bytes(), std::vector<uint8_t>{9});
}

TEST_P(TuiProfileTest, WriteSizeAndRestoreFollowTheStream) {
  WriteImage(test::PatternBytes(10));
  EXPECT_EQ(Profile().Write("\xFF\xFF", 2), 2);
  EXPECT_EQ(Profile().Size(), 10);
  EXPECT_EQ(Profile().Stream().Bytes()[2], test::PatternBytes(10)[2]);

  Profile().SetSize(4);
  EXPECT_EQ(Profile().Stream().Size(), 4);
  EXPECT_THROW(Profile().SetSize(-1), rtl::EStreamError);

  Profile().RestoreToDefault();
  EXPECT_EQ(Profile().Stream().Size(), 4);
  Profile().SetOnRestoreToDefault([](TMemoryStream& AStream) {
    AStream.SetSize(6);
    AStream.Memory()[5] = 0x42;
  });
  Profile().RestoreToDefault();
  EXPECT_EQ(Profile().Stream().Bytes(), (std::vector<uint8_t>{0xFF, 0xFF, 14, 21, 0, 0x42}));
}

TEST_P(TuiProfileTest, IsOwnedLikeAnyComponent) {
  rtl::TComponent Owner(nullptr);
  auto* Owned = new TuiProfile(&Owner, Platform().Registry, Platform().Files);
  Owned->SetName("uiProfileAllSettings");
  EXPECT_EQ(Owner.FindComponent("uiprofileallsettings"), Owned);
  EXPECT_EQ(Owned->ClassName(), "TuiProfile");
  EXPECT_EQ(Owned->RootKey(), 0u);
  EXPECT_EQ(Owned->Stream().Size(), 0);
}

INSTANTIATE_TEST_SUITE_P(Backends, TuiProfileTest, ::testing::ValuesIn(test::TestBackendNames()),
                         [](const auto& AInfo) { return AInfo.param; });

// Failures that only the simulated world can produce on demand.
class TuiProfileFaultTest : public ::testing::Test {
protected:
  TuiProfileFaultTest() : FProfile(nullptr, FWorld.Registry, FWorld.Files) {
    FProfile.SetRootKey(CurrentUser);
    FProfile.SetKeyPath("software\\ZQgmmouse");
    FProfile.SetFileName("ZQProfile1.pfd");
    FProfile.SetFilePath(FWorld.Environment.DocumentsFolder());
  }
  platform::sim::TSimWorld FWorld;
  TuiProfile FProfile;
};

TEST_F(TuiProfileFaultTest, AnInterruptedSaveLeavesTheOldFileWhole) {
  const auto Old = test::PatternBytes(163560);
  FProfile.Write(Old.data(), static_cast<int>(Old.size()));
  ASSERT_TRUE(FProfile.SaveStreamToFile());
  const auto New = test::PatternBytes(163560, 1);
  FProfile.Write(New.data(), static_cast<int>(New.size()));

  FWorld.Files.FailNext(platform::sim::TSimFileOp::Replace, platform::SysError::DiskFull);
  try {
    FProfile.SaveStreamToFile();
    FAIL() << "no error";
  } catch (const rtl::EFCreateError& E) {
    EXPECT_EQ(std::string(E.what()),
              "Cannot create file \"" + FProfile.FilePath() +
                  "ZQProfile1.pfd\". There is not enough space on the disk.");
  }
  std::vector<uint8_t> OnDisk;
  ASSERT_EQ(FWorld.Files.ReadWholeFile(FProfile.FilePath() + "ZQProfile1.pfd", OnDisk, 1 << 20),
            0u);
  EXPECT_EQ(OnDisk, Old);
  int Files = 0;
  for ([[maybe_unused]] const auto& Entry : std::filesystem::directory_iterator(
           platform::sim::Utf8Path(FWorld.Environment.DocumentsFolder()))) {
    ++Files;
  }
  EXPECT_EQ(Files, 1);
}

TEST_F(TuiProfileFaultTest, UnreadableFilesAndRegistryFailuresRaise) {
  FProfile.Write("\x01", 1);
  ASSERT_TRUE(FProfile.SaveStreamToFile());
  FWorld.Files.FailNext(platform::sim::TSimFileOp::Read, platform::SysError::AccessDenied);
  try {
    FProfile.LoadStreamFromFile();
    FAIL() << "no error";
  } catch (const rtl::EFOpenError& E) {
    EXPECT_EQ(std::string(E.what()),
              "Cannot open file \"" + FProfile.FilePath() + "ZQProfile1.pfd\". Access is denied.");
  }

  FWorld.Registry.FailNext(platform::sim::TSimRegistryOp::SetValue,
                           platform::SysError::AccessDenied);
  try {
    FProfile.SaveStreamToRegistry();
    FAIL() << "no error";
  } catch (const rtl::ERegistryException& E) {
    EXPECT_STREQ(E.what(), "Failed to set data for 'ZQProfile1.pfd'");
  }
  ASSERT_TRUE(FProfile.SaveStreamToRegistry());
  FWorld.Registry.FailNext(platform::sim::TSimRegistryOp::QueryValue,
                           platform::SysError::ReadFault);
  try {
    FProfile.LoadStreamFromRegistry();
    FAIL() << "no error";
  } catch (const rtl::ERegistryException& E) {
    EXPECT_STREQ(E.what(), "Failed to get data for 'ZQProfile1.pfd'");
  }
  // A key that cannot be opened is a quiet false.
  FWorld.Registry.FailNext(platform::sim::TSimRegistryOp::OpenKey,
                           platform::SysError::AccessDenied);
  EXPECT_FALSE(FProfile.LoadStreamFromRegistry());
}

TEST_F(TuiProfileFaultTest, CancelledRegistryOperationsMakeNoRegistryCall) {
  FProfile.SetOnBeforeLoadFromRegistry([](TMemoryStream&, bool& bContinue) { bContinue = false; });
  const int Before = FWorld.Registry.CallCount();
  EXPECT_FALSE(FProfile.LoadStreamFromRegistry());
  EXPECT_EQ(FWorld.Registry.CallCount(), Before);
}

} // namespace
