#include <gtest/gtest.h>

#include "platform/SysError.h"
#include "support/TestPlatform.h"

namespace {

using namespace platform;

class RegistryTest : public ::testing::TestWithParam<std::string> {
protected:
  void SetUp() override { FTest = test::MakeTestPlatform(GetParam()); }
  IRegistry& Registry() { return FTest->Platform().Registry; }
  static TKeyAccess Access(bool ACreate) {
    return ACreate ? TKeyAccess::Create : TKeyAccess::ReadWrite;
  }
  std::unique_ptr<IRegistryKey> Open(bool ACreate, uint32_t& AError) {
    return Registry().OpenKey(RegRoot::CurrentUser, FTest->KeyPath(), Access(ACreate), AError);
  }
  // The error of opening (or creating) a path below the test's key; 0 when it opens.
  uint32_t OpenError(const std::string& ASubPath, bool ACreate) {
    uint32_t Error = 0;
    Registry().OpenKey(RegRoot::CurrentUser, FTest->KeyPath() + ASubPath, Access(ACreate), Error);
    return Error;
  }
  std::unique_ptr<test::TTestPlatform> FTest;
};

TEST_P(RegistryTest, KeysAreOpenedOrCreatedBelowTheRoots) {
  uint32_t Error = 0;
  EXPECT_FALSE(Open(false, Error));
  EXPECT_EQ(Error, SysError::FileNotFound);
  EXPECT_TRUE(Open(true, Error));
  EXPECT_EQ(Error, SysError::Success);
  EXPECT_TRUE(Open(false, Error));
  EXPECT_FALSE(Registry().OpenKey(0x12345678u, "software", TKeyAccess::Create, Error));
  EXPECT_NE(Error, SysError::Success);

  EXPECT_EQ(Registry().DeleteKeyTree(RegRoot::CurrentUser, FTest->KeyPath()), SysError::Success);
  EXPECT_FALSE(Open(false, Error));
}

TEST_P(RegistryTest, AKeyOpenedToReadRefusesWrites) {
  uint32_t Error = 0;
  EXPECT_FALSE(Registry().OpenKey(RegRoot::CurrentUser, FTest->KeyPath(), TKeyAccess::Read, Error));
  EXPECT_EQ(Error, SysError::FileNotFound);
  const uint32_t Value = 7;
  ASSERT_EQ(Open(true, Error)->SetValue("v", RegType::DWord, &Value, sizeof(Value)), 0u);
  auto Reading =
      Registry().OpenKey(RegRoot::CurrentUser, FTest->KeyPath(), TKeyAccess::Read, Error);
  ASSERT_TRUE(Reading) << Error;
  uint32_t Type = 0;
  std::vector<uint8_t> Data;
  EXPECT_EQ(Reading->QueryValue("v", Type, Data, 16), SysError::Success);
  EXPECT_EQ(Data.size(), sizeof(Value));
  EXPECT_EQ(Reading->SetValue("w", RegType::DWord, &Value, sizeof(Value)), SysError::AccessDenied);
  EXPECT_EQ(Reading->DeleteValue("v"), SysError::AccessDenied);
  // The positive control: opened to write, the same calls work.
  auto Writing =
      Registry().OpenKey(RegRoot::CurrentUser, FTest->KeyPath(), TKeyAccess::ReadWrite, Error);
  ASSERT_TRUE(Writing) << Error;
  EXPECT_EQ(Writing->SetValue("w", RegType::DWord, &Value, sizeof(Value)), SysError::Success);
  EXPECT_EQ(Writing->DeleteValue("v"), SysError::Success);
}

TEST_P(RegistryTest, ValuesKeepTheirTypesAndBytes) {
  uint32_t Error = 0;
  auto Key = Open(true, Error);
  ASSERT_TRUE(Key);
  const auto Bytes = test::PatternBytes(30964);
  ASSERT_EQ(Key->SetValue("ProfileSettingGroup.pfd", RegType::Binary, Bytes.data(), Bytes.size()),
            SysError::Success);
  const char Text[] = {'x', 0, 0, 0};
  ASSERT_EQ(Key->SetValue("text", RegType::String, Text, sizeof(Text)), SysError::Success);

  uint32_t Type = 0;
  uint64_t Size = 0;
  ASSERT_EQ(Key->QueryValueInfo("profilesettinggroup.pfd", Type, Size), SysError::Success);
  EXPECT_EQ(Type, RegType::Binary);
  EXPECT_EQ(Size, 30964u);
  std::vector<uint8_t> Data;
  ASSERT_EQ(Key->QueryValue("ProfileSettingGroup.pfd", Type, Data, 30964), SysError::Success);
  EXPECT_EQ(Data, Bytes);
  EXPECT_EQ(Key->QueryValue("ProfileSettingGroup.pfd", Type, Data, 30963), SysError::MoreData);
  EXPECT_TRUE(Data.empty());
  ASSERT_EQ(Key->QueryValue("text", Type, Data, 100), SysError::Success);
  EXPECT_EQ(Type, RegType::String);

  EXPECT_EQ(Key->QueryValueInfo("missing", Type, Size), SysError::FileNotFound);
  EXPECT_EQ(Key->DeleteValue("text"), SysError::Success);
  EXPECT_EQ(Key->QueryValue("text", Type, Data, 100), SysError::FileNotFound);
  EXPECT_EQ(Key->DeleteValue("text"), SysError::FileNotFound);
}

TEST_P(RegistryTest, CreatingAKeyCreatesEveryMissingKeyOnItsPath) {
  EXPECT_EQ(OpenError("\\a\\b\\c", true), SysError::Success);
  EXPECT_EQ(OpenError("\\a\\b", false), SysError::Success);
  EXPECT_EQ(OpenError("\\a", false), SysError::Success);
  EXPECT_EQ(OpenError("", false), SysError::Success);
  EXPECT_EQ(OpenError("\\a\\x", false), SysError::FileNotFound);
  EXPECT_EQ(Registry().DeleteKeyTree(RegRoot::CurrentUser, FTest->KeyPath() + "\\a\\b"),
            SysError::Success);
  EXPECT_EQ(OpenError("\\a\\b\\c", false), SysError::FileNotFound);
  EXPECT_EQ(OpenError("\\a", false), SysError::Success);
}

TEST_P(RegistryTest, KeyAndValueNamesCompareWithoutRegardToCase) {
  // "M\u00e4use" and "Gr\u00f6\u00dfe" against their upper-case spellings ("\u00df" has none).
  const std::string Sharp = "\xC3\x9F";
  uint32_t Error = 0;
  auto Key = Registry().OpenKey(RegRoot::CurrentUser, FTest->KeyPath() + "\\M\xC3\xA4use\\Rad",
                                TKeyAccess::Create, Error);
  ASSERT_TRUE(Key) << Error;
  const uint32_t Value = 5;
  ASSERT_EQ(Key->SetValue("Gr\xC3\xB6" + Sharp + "e", RegType::DWord, &Value, sizeof(Value)),
            SysError::Success);
  auto Same = Registry().OpenKey(RegRoot::CurrentUser, FTest->KeyPath() + "\\M\xC3\x84USE\\RAD",
                                 TKeyAccess::Read, Error);
  ASSERT_TRUE(Same) << Error;
  uint32_t Type = 0;
  uint64_t Size = 0;
  EXPECT_EQ(Same->QueryValueInfo("GR\xC3\x96" + Sharp + "E", Type, Size), SysError::Success);
  EXPECT_EQ(Same->QueryValueInfo("GR\xC3\x96SSE", Type, Size), SysError::FileNotFound);
  EXPECT_EQ(OpenError("\\MAUSE", false), SysError::FileNotFound);
}

TEST_P(RegistryTest, MalformedKeyPathsAreRefusedAsThePlatformRefusesThem) {
  // A path that starts with a delimiter is not below the root.
  for (const bool Create : {true, false}) {
    uint32_t Error = 0;
    EXPECT_FALSE(
        Registry().OpenKey(RegRoot::CurrentUser, "\\" + FTest->KeyPath(), Access(Create), Error));
    EXPECT_EQ(Error, SysError::BadPathName);
  }
  // A key name is at most 255 characters.
  EXPECT_EQ(OpenError("\\" + std::string(300, 'n'), true), SysError::InvalidParameter);
  EXPECT_EQ(OpenError("\\" + std::string(300, 'n'), false), SysError::InvalidParameter);
  EXPECT_EQ(OpenError("\\" + std::string(255, 'n'), true), SysError::Success);
  // Delimiters at the end name the key itself.
  EXPECT_EQ(OpenError("\\t\\\\", true), SysError::Success);
  EXPECT_EQ(OpenError("\\t", false), SysError::Success);
}

INSTANTIATE_TEST_SUITE_P(Backends, RegistryTest, ::testing::ValuesIn(test::TestBackendNames()),
                         [](const auto& AInfo) { return AInfo.param; });

} // namespace
