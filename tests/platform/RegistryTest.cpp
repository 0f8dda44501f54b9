#include <gtest/gtest.h>

#include "platform/SysError.h"
#include "support/TestPlatform.h"

namespace {

using namespace platform;

class RegistryTest : public ::testing::TestWithParam<std::string> {
protected:
  void SetUp() override { FTest = test::MakeTestPlatform(GetParam()); }
  IRegistry& Registry() { return FTest->Platform().Registry; }
  std::unique_ptr<IRegistryKey> Open(bool ACreate, uint32_t& AError) {
    return Registry().OpenKey(RegRoot::CurrentUser, FTest->KeyPath(), ACreate, AError);
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
  EXPECT_FALSE(Registry().OpenKey(0x12345678u, "software", true, Error));
  EXPECT_NE(Error, SysError::Success);

  EXPECT_EQ(Registry().DeleteKeyTree(RegRoot::CurrentUser, FTest->KeyPath()), SysError::Success);
  EXPECT_FALSE(Open(false, Error));
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

INSTANTIATE_TEST_SUITE_P(Backends, RegistryTest, ::testing::ValuesIn(test::TestBackendNames()),
                         [](const auto& AInfo) { return AInfo.param; });

} // namespace
