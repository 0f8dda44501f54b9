#include <gtest/gtest.h>

#include "backend/sim/SimWorld.h"
#include "platform/ConfigFile.h"
#include "profile/ConfigOptions.h"
#include "support/TestPlatform.h"

namespace {

using namespace profile;

class ConfigOptionsTest : public ::testing::Test {
protected:
  void WriteConfig(const std::string& AText) { test::WriteConfig(FWorld, AText); }
  TOptionsFromConfigFile Options() {
    TOptionsFromConfigFile Result;
    ReadOptionsFromConfigFile(FWorld.Files, FWorld.Environment, Result);
    return Result;
  }
  TOtherConfig Other() {
    TOtherConfig Result;
    Result.ShowCapsLock = 5;
    ReadOtherConfig(FWorld.Files, FWorld.Environment, Result);
    return Result;
  }
  platform::sim::TSimWorld FWorld;
};

void ExpectDefaults(const TOptionsFromConfigFile& AOptions, const TOtherConfig& AOther) {
  EXPECT_EQ(AOptions.ProfileRegFolder, "software\\software\\ZQgmmouse");
  EXPECT_EQ(AOptions.ProfileFolder, "ZQProfile");
  EXPECT_EQ(AOptions.ProfileNamePrefix, "ZQProfile");
  EXPECT_EQ(AOptions.ProfileMacroFolder, "MacroDB");
  EXPECT_EQ(AOther.OfficialWebsite, "http://");
  EXPECT_EQ(AOther.Nologo, 0);
  EXPECT_EQ(AOther.PASSWHQL, 0);
  EXPECT_EQ(AOther.ShowCapsLock, 0);
  EXPECT_EQ(AOther.HelpFile.Count(), 0);
  EXPECT_EQ(AOther.ProductWebSite, "");
}

TEST_F(ConfigOptionsTest, WithoutAFileEveryOptionHasItsDefault) {
  ExpectDefaults(Options(), Other());
}

TEST_F(ConfigOptionsTest, DamagedOrHugeFilesGiveTheDefaults) {
  WriteConfig(std::string("\x00\x01\xFF garbage [[[ ==\n", 20) + std::string(5000, '=') +
              "\n[options\nprofilePrefix\n");
  ExpectDefaults(Options(), Other());
  WriteConfig("[options]\nprofilePrefix=Big\n" + std::string(platform::cMaxIniFileSize, ' '));
  ExpectDefaults(Options(), Other());
}

TEST_F(ConfigOptionsTest, TheRegistryFolderIsAlwaysPrefixed) {
  WriteConfig("[Options]\nProfileRegFolder=ZQgmmouse\nPROFILEFOLDER=My Profiles\n"
              "profilePrefix=\"Pro\"\nprofileMacroFolder=Macros\n");
  const auto Read = Options();
  EXPECT_EQ(Read.ProfileRegFolder, "software\\ZQgmmouse");
  EXPECT_EQ(Read.ProfileFolder, "My Profiles");
  EXPECT_EQ(Read.ProfileNamePrefix, "Pro");
  EXPECT_EQ(Read.ProfileMacroFolder, "Macros");
}

TEST_F(ConfigOptionsTest, OtherOptionsFollowTheirSectionsAndIntegerRules) {
  WriteConfig("\xEF\xBB\xBF[OtherConfig]\r\nNoLogo=abc\r\nOfficialWebsite=https://example.test\r\n"
              "[HelpFiles]\r\nen=a.chm\r\ncn=\r\nde=b.chm\r\nEN=ignored.chm\r\n"
              "[DEVICE]\r\nWHQL=0x10\r\n[Websites]\r\nProductWebSite=p\r\nSupportWebSite=s\r\n"
              "UpgradeWebSite=u\r\n");
  const auto Read = Other();
  EXPECT_EQ(Read.Nologo, 0);
  EXPECT_EQ(Read.PASSWHQL, 16);
  EXPECT_EQ(Read.OfficialWebsite, "https://example.test");
  ASSERT_EQ(Read.HelpFile.Count(), 2);
  EXPECT_EQ(Read.HelpFile.Names(0), "en");
  EXPECT_EQ(Read.HelpFile.Value("en"), "a.chm");
  EXPECT_EQ(Read.HelpFile.Value("de"), "b.chm");
  EXPECT_EQ(Read.ProductWebSite, "p");
  EXPECT_EQ(Read.SupportWebSite, "s");
  EXPECT_EQ(Read.UpgradeWebSite, "u");

  WriteConfig("[OtherConfig]\nNoLogo=$1\n[DEVICE]\nWHQL=1\n");
  EXPECT_EQ(Other().Nologo, 1);
  EXPECT_EQ(Other().PASSWHQL, 1);
}

} // namespace
