#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "profile/ProfileRecords.h"
#include "rtl/Utf.h"
#include "support/TestPlatform.h"

namespace {

using namespace profile;

template <class T> std::vector<uint8_t> ImageOf(const T& ARecord) {
  const auto* Bytes = reinterpret_cast<const uint8_t*>(&ARecord);
  return std::vector<uint8_t>(Bytes, Bytes + sizeof(T));
}

using test::ReadLe;

TEST(ProfileRecords, ImagesHaveTheStoredSizes) {
  EXPECT_EQ(ImageOf(TMouseProfileInfo{}).size(), 163560u);
  EXPECT_EQ(ImageOf(TALLGAMESINFO{}).size(), 30954u);
  EXPECT_EQ(ImageOf(TProfileSettingGroup{}).size(), 30964u);
  EXPECT_EQ(ImageOf(TMACROKEYINFO{}).size(), 896u);
}

TEST(ProfileRecords, ProfileFieldsLandAtTheirStoredOffsets) {
  auto Profile = std::make_unique<TMouseProfileInfo>();
  std::memset(Profile.get(), 0, sizeof(TMouseProfileInfo));
  Profile->ProfileHeader.FFileVersion = cProfileFileVersion;
  Profile->ProfileHeader.FProfileUID.DataTime = 45351.25;
  auto& Config = Profile->ConfigInfo;
  Config.ReportRate = 500;
  Config.CurrentCPIIndex = 0x01020304;
  Config.CPIState[0].CPIX = 0x0640;
  Config.CPIState[4].Enabled = 1;
  Config.Sensorlift.SensorLift = 0xEE;
  Config.ButtonCount = 24;
  Config.FireKeyCount = -2;
  for (int K = 0; K < cButtonCount; ++K) {
    Config.ButtonFuncInfo[K].nFunctionIndex = static_cast<uint16_t>(100 + K);
  }
  Config.VWheelButtonFuncInfo[1].nFunctionType = 1;
  Config.ButtonFuncInfo[3].ComboKeyInfo.nModifier = 0x0102;
  Config.ButtonFuncInfo[3].nMediaUsageHigh = 0x00E2;
  Config.ButtonFuncInfo[3].nAssignedMacroIndex = 7;
  Profile->MacroInfoToDevice.nMacroInfoCount = 3;

  const auto Image = ImageOf(*Profile);
  EXPECT_EQ(ReadLe(Image, 0, 4), 0x105u);
  double Uid = 0;
  std::memcpy(&Uid, Image.data() + 64, sizeof(Uid));
  EXPECT_EQ(Uid, 45351.25);
  EXPECT_EQ(ReadLe(Image, 872 + 117168, 2), 500u);
  EXPECT_EQ(ReadLe(Image, 118044, 4), 0x01020304u);
  EXPECT_EQ(ReadLe(Image, 118080, 2), 0x0640u);
  EXPECT_EQ(ReadLe(Image, 118080 + 4 * 10 + 4, 2), 1u);
  EXPECT_EQ(Image.at(872 + 127606), 0xEE);
  EXPECT_EQ(ReadLe(Image, 128480, 4), 24u);
  EXPECT_EQ(ReadLe(Image, 872 + 129668, 4), 0xFFFFFFFEu);
  for (std::size_t K = 0; K < cButtonCount; ++K) {
    EXPECT_EQ(ReadLe(Image, 872 + 4184 * K + 4166, 2), 100 + K);
  }
  EXPECT_EQ(Image.at(872 + 100416 + 4184 + 4168), 1);
  EXPECT_EQ(ReadLe(Image, 872 + 4184 * 3 + 68 + 8, 2), 0x0102u);
  EXPECT_EQ(ReadLe(Image, 872 + 4184 * 3 + 142, 2), 0x00E2u);
  EXPECT_EQ(ReadLe(Image, 872 + 4184 * 3 + 1114, 2), 7u);
  EXPECT_EQ(ReadLe(Image, 159028 + 4480, 2), 3u);
  // The padding after ReportRate and after Sensorlift is part of the image, and zero.
  EXPECT_EQ(ReadLe(Image, 872 + 117170, 2), 0u);
  EXPECT_EQ(Image.at(872 + 127607), 0);
}

TEST(ProfileRecords, SettingRecordsHoldFixedUtf16Texts) {
  auto Group = std::make_unique<TProfileSettingGroup>();
  std::memset(Group.get(), 0, sizeof(TProfileSettingGroup));
  Group->CurrentProfileGroup = 1;
  Group->ProfileIndexOfProfileGroup[1] = 4;
  TPROFILESETTING& Setting = Group->ProfileSettingList[2];
  rtl::StoreFixedText(Setting.szFileName, "ZQProfile3-with-a-long-name.pfd");
  rtl::StoreFixedText(Setting.szFilePath, "C:\\Users\\J\xC3\xBCrgen");
  Setting.nStorage = cStorageFile;

  const auto Image = ImageOf(*Group);
  const std::size_t Base = 12 + 2 * 6190;
  EXPECT_EQ(ReadLe(Image, 0, 4), 1u);
  EXPECT_EQ(ReadLe(Image, 8, 4), 4u);
  EXPECT_EQ(Image.at(Base + 6188), 1);
  // "ZQProfile3-with-a-lo" then the terminator: 20 units kept.
  EXPECT_EQ(ReadLe(Image, Base + 4098, 2), u'Z');
  EXPECT_EQ(ReadLe(Image, Base + 4098 + 2 * 19, 2), u'o');
  EXPECT_EQ(ReadLe(Image, Base + 4098 + 2 * 20, 2), 0u);
  // "ü" is one UTF-16 unit, little-endian.
  EXPECT_EQ(ReadLe(Image, Base + 2 + 2 * 10, 2), 0x00FCu);
  EXPECT_EQ(rtl::ReadFixedText(Setting.szFilePath), "C:\\Users\\J\xC3\xBCrgen");

  TALLGAMESINFO All{};
  All.CurrentGame = 4;
  All.CurrentLanguage = 2;
  const auto AllImage = ImageOf(All);
  EXPECT_EQ(ReadLe(AllImage, 30950, 2), 4u);
  EXPECT_EQ(AllImage.at(30952), 2);
  EXPECT_EQ(AllImage.at(30953), 0);
}

} // namespace
