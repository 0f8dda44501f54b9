#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "profile/DMUnit.h"
#include "rtl/Utf.h"
#include "support/TestPlatform.h"

namespace {

using namespace profile;
using platform::RegRoot::CurrentUser;

constexpr double cNow = 45351.25;
constexpr std::size_t cConfig = 872;
constexpr std::size_t cEntry = 4184;

// A field of a stored image.
constexpr auto Field = test::ReadLe;
// Offset of a field of button entry k of ButtonFuncInfo.
std::size_t Button(std::size_t AButton, std::size_t AField) {
  return cConfig + cEntry * AButton + AField;
}

class FactoryDefaultsTest : public ::testing::Test {
protected:
  FactoryDefaultsTest() { World.Clock.SetNow(cNow); }
  std::unique_ptr<TDM> Start() {
    return std::make_unique<TDM>(nullptr,
                                 TDMServices{World.Registry, World.Files, World.Environment,
                                             World.Clock, World.Locale, World.Dialogs});
  }
  static std::vector<uint8_t> Image(TuiProfile* AStream) { return AStream->Stream().Bytes(); }
  platform::sim::TSimWorld World;
};

struct TTail {
  std::size_t Entry;
  uint32_t Type, Index, Device, ID;
};

TEST_F(FactoryDefaultsTest, GameProfileDefaultsAtTheirOffsets) {
  auto Module = Start();
  const auto Image = FactoryDefaultsTest::Image(Module->uiProfileGame1);
  ASSERT_EQ(Image.size(), 163560u);
  EXPECT_EQ(Field(Image, 0, 4), 261u);
  double Uid = 0;
  std::memcpy(&Uid, Image.data() + 64, 8);
  EXPECT_EQ(Uid, cNow);
  EXPECT_EQ(Field(Image, 128480, 4), 24u);
  const TTail Tails[] = {{0, 1, 0, 1, 1},     {1, 1, 1, 2, 2},      {2, 1, 2, 3, 3},
                         {3, 13, 38, 25, 12}, {4, 1, 41, 10, 1302}, {5, 1, 42, 9, 1303},
                         {6, 8, 5, 16, 6},    {15, 8, 5, 16, 6},    {21, 8, 5, 16, 6},
                         {22, 1, 0, 27, 0},   {23, 1, 0, 13, 0}};
  for (const TTail& Tail : Tails) {
    SCOPED_TRACE(Tail.Entry);
    EXPECT_EQ(Field(Image, Button(Tail.Entry, 4164), 2), Tail.Entry);
    EXPECT_EQ(Field(Image, Button(Tail.Entry, 4166), 2), Tail.Index);
    EXPECT_EQ(Field(Image, Button(Tail.Entry, 4168), 1), Tail.Type);
    EXPECT_EQ(Field(Image, Button(Tail.Entry, 4172), 4), Tail.Device);
    EXPECT_EQ(Field(Image, Button(Tail.Entry, 4176), 4), Tail.ID);
  }
  EXPECT_EQ(Field(Image, Button(3, 4068), 2), 3u);
  EXPECT_EQ(Field(Image, Button(3, 4070), 2), 1u);
  EXPECT_EQ(Field(Image, Button(3, 4072), 2), 129u);
  const uint32_t Keys[16] = {0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38,
                             0x39, 0x30, 0x6B, 0x6D, 0xBB, 0xBE, 0x6A, 0x6F};
  for (std::size_t Entry = 6; Entry <= 21; ++Entry) {
    EXPECT_EQ(Field(Image, Button(Entry, 2), 2), Keys[Entry - 6]) << Entry;
    EXPECT_EQ(Field(Image, Button(Entry, 4), 2), 0u);
  }
  EXPECT_EQ(Field(Image, Button(22, 4160), 4), 4u);
  // Wheel up and down.
  EXPECT_EQ(Field(Image, Button(24, 4166), 2), 0u);
  EXPECT_EQ(Field(Image, Button(24, 4172), 4), 11u);
  EXPECT_EQ(Field(Image, Button(24, 4176), 4), 1u);
  EXPECT_EQ(Field(Image, Button(25, 4164), 2), 1u);
  EXPECT_EQ(Field(Image, Button(25, 4168), 1), 1u);
  EXPECT_EQ(Field(Image, Button(25, 4166), 2), 1u);
  EXPECT_EQ(Field(Image, Button(25, 4172), 4), 12u);
  EXPECT_EQ(Field(Image, Button(26, 4172), 4), 0u); // horizontal wheel not written
  const std::pair<std::size_t, uint32_t> Words[] = {{117156, 3}, {117160, 550}, {117162, 10},
                                                    {117164, 0}, {117168, 500}, {117318, 5}};
  for (const auto& [Offset, Expected] : Words) {
    EXPECT_EQ(Field(Image, cConfig + Offset, 2), Expected) << Offset;
  }
  EXPECT_EQ(Field(Image, cConfig + 117172, 4), 0u);
  const uint32_t CPI[5] = {1000, 2000, 4000, 8200, 16400};
  for (std::size_t Level = 0; Level < 5; ++Level) {
    EXPECT_EQ(Field(Image, cConfig + 117208 + 10 * Level, 2), CPI[Level]);
    EXPECT_EQ(Field(Image, cConfig + 117208 + 10 * Level + 2, 2), CPI[Level]);
    EXPECT_EQ(Field(Image, cConfig + 117208 + 10 * Level + 4, 2), 1u);
    EXPECT_EQ(Field(Image, cConfig + 117184 + 2 * Level, 2), 1u);
  }
  EXPECT_EQ(Field(Image, cConfig + 117208 + 10 * 5 + 4, 2), 0u);
  const uint8_t Lights[24] = {255, 255, 0, 2, 3, 0, 255, 0, 0, 2, 0, 0,
                              255, 0,   0, 2, 3, 0, 255, 0, 0, 2, 3, 2};
  EXPECT_EQ(std::memcmp(Image.data() + cConfig + 127582, Lights, sizeof(Lights)), 0);
}

TEST_F(FactoryDefaultsTest, ProfilesOneToFiveDifferOnlyWhereTheyShould) {
  World.Clock.SetNow(cNow);
  auto Module = Start();
  const auto One = Image(Module->uiProfileGame1);
  EXPECT_EQ(Image(Module->uiProfileGame2), One);
  EXPECT_EQ(Image(Module->uiProfileGame3), One);
  const auto Differences = [&](const std::vector<uint8_t>& AOther) {
    std::set<std::size_t> Offsets;
    for (std::size_t I = 0; I < One.size(); ++I) {
      if (One[I] != AOther.at(I)) {
        Offsets.insert(I);
      }
    }
    return Offsets;
  };
  const auto Four = Image(Module->uiProfileGame4);
  const auto Five = Image(Module->uiProfileGame5);
  EXPECT_EQ(Differences(Four),
            (std::set<std::size_t>{cConfig + 117172, cConfig + 127583, cConfig + 127584}));
  EXPECT_EQ(Field(Four, cConfig + 127582, 3), 0xFF00FFu);
  EXPECT_EQ(Field(Four, cConfig + 117172, 4), 3u);
  EXPECT_EQ(Differences(Five), (std::set<std::size_t>{cConfig + 117172, cConfig + 127583}));
  EXPECT_EQ(Field(Five, cConfig + 127582, 3), 0x0000FFu);
  EXPECT_EQ(Field(Five, cConfig + 117172, 4), 4u);

  // A later reset takes a new identity.
  World.Clock.Advance(86400000);
  Module->RestoreProfileInfoToDefault(1);
  const auto Two = Image(Module->uiProfileGame2);
  const auto Changed = Differences(Two);
  ASSERT_FALSE(Changed.empty());
  EXPECT_GE(*Changed.begin(), 64u);
  EXPECT_LT(*Changed.rbegin(), 72u);
  double Uid = 0;
  std::memcpy(&Uid, Two.data() + 64, 8);
  EXPECT_EQ(Uid, cNow + 1);
}

TEST_F(FactoryDefaultsTest, TheTestProfileReportsEachButtonsBit) {
  auto Module = Start();
  Module->InitTestDefaultValue();
  const auto Image = FactoryDefaultsTest::Image(Module->uiProfileTest);
  ASSERT_EQ(Image.size(), 163560u);
  EXPECT_EQ(Field(Image, Button(8, 4064), 3), 0x000100u);
  EXPECT_EQ(Image[Button(8, 4064)], 0x00);
  EXPECT_EQ(Image[Button(8, 4065)], 0x01);
  EXPECT_EQ(Image[Button(23, 4066)], 0x80);
  EXPECT_EQ(Field(Image, Button(5, 4064), 3), 0x20u);
  const uint32_t Devices[5] = {1, 2, 3, 5, 4};
  for (std::size_t Entry = 0; Entry < 24; ++Entry) {
    SCOPED_TRACE(Entry);
    EXPECT_EQ(Field(Image, Button(Entry, 4164), 2), Entry);
    EXPECT_EQ(Field(Image, Button(Entry, 4168), 1), Entry < 5 ? 1u : 11u);
    EXPECT_EQ(Field(Image, Button(Entry, 4166), 2), Entry < 5 ? Entry : 14u);
    EXPECT_EQ(Field(Image, Button(Entry, 4172), 4), Entry < 5 ? Devices[Entry] : 19u);
    EXPECT_EQ(Field(Image, Button(Entry, 4176), 4), Entry < 5 ? Entry + 1 : 0u);
  }
  EXPECT_EQ(Field(Image, cConfig + 117168, 2), 125u);
  EXPECT_EQ(Field(Image, cConfig + 127582, 4), 0x020000FFu);
  EXPECT_EQ(Image[cConfig + 127586], 2);
  EXPECT_EQ(Field(Image, Button(24, 4172), 4), 0u);
  EXPECT_EQ(Field(Image, cConfig + 127588, 4), 0u);
  EXPECT_EQ(Module->TestProfileInfo().ConfigInfo.ReportRate, 125);
  EXPECT_EQ(Module->DefaultProfileInfo().ConfigInfo.ReportRate, 500);

  rtl::TMemoryStream Empty;
  Module->uiProfileTestRestoreToDefault(Empty);
  EXPECT_EQ(Empty.Size(), 0);
}

TEST_F(FactoryDefaultsTest, TheLanguageFollowsTheSystemLanguage) {
  const std::pair<uint16_t, uint8_t> Cases[] = {{0x0804, 1}, {0x0404, 2}, {0x0409, 0}, {0x0407, 0}};
  for (const auto& [LangID, Expected] : Cases) {
    platform::sim::TSimWorld Fresh;
    Fresh.Locale.SetSystemDefaultLangID(LangID);
    TDM Module(nullptr, {Fresh.Registry, Fresh.Files, Fresh.Environment, Fresh.Clock, Fresh.Locale,
                         Fresh.Dialogs});
    const auto Stored =
        Fresh.Registry.GetValue(CurrentUser, "software\\software\\ZQgmmouse", "allsettings.pfd");
    ASSERT_TRUE(Stored);
    EXPECT_EQ(Stored->Data.at(30952), Expected) << std::hex << LangID;
    EXPECT_EQ(Field(Stored->Data, 30950, 2), 2u);
    EXPECT_EQ(Field(Stored->Data, 0, 2), 1u);    // nTag of entry 0
    EXPECT_EQ(Field(Stored->Data, 6190, 2), 0u); // nTag of entry 1
    EXPECT_EQ(Stored->Data.at(6188), 0);         // nStorage
  }
}

TEST_F(FactoryDefaultsTest, AResetKeepsWhatTheDefaultsDoNotList) {
  auto Stored = std::make_unique<TMouseProfileInfo>();
  Stored->MacroKeyInfoList.nMacroInfoCount = 2;
  Stored->MacroKeyInfoList.MacroInfos[1].MacroList[0] = 0x5A;
  Stored->ConfigInfo.ApplicationList[100] = 0x33;
  Stored->ConfigInfo.CPIState[7] = {3200, 3200, 1, {9, 9, 9, 9}};
  Stored->ConfigInfo.ButtonFuncInfo[0].nSingleKeyValue = 0x41;
  Stored->ConfigInfo.ButtonFuncInfo[0].ParamBlock5[3] = 7;
  Stored->ConfigInfo.HWheelButtonFuncInfo[0].nFunctionIndex = 44;
  Stored->ConfigInfo.LEDConfig.LIGHT_MODE = 5;
  Stored->FunctionList.FunctionInfo[9] = 1;
  const auto* Bytes = reinterpret_cast<const uint8_t*>(Stored.get());
  World.Registry.PutValue(CurrentUser, "software\\software\\ZQgmmouse", "ZQProfile3.pfd",
                          platform::RegType::Binary,
                          std::vector<uint8_t>(Bytes, Bytes + sizeof(TMouseProfileInfo)));
  auto Module = Start();
  Module->RestoreCurrentProfileInfoToDefault();
  const TMouseProfileInfo& Reset = Module->CurrentProfileInfo();
  EXPECT_EQ(Reset.MacroKeyInfoList.nMacroInfoCount, 2);
  EXPECT_EQ(Reset.MacroKeyInfoList.MacroInfos[1].MacroList[0], 0x5A);
  EXPECT_EQ(Reset.ConfigInfo.ApplicationList[100], 0x33);
  EXPECT_EQ(Reset.ConfigInfo.CPIState[7].CPIX, 3200);
  EXPECT_EQ(Reset.ConfigInfo.CPIState[7].Extra[0], 9);
  EXPECT_EQ(Reset.ConfigInfo.ButtonFuncInfo[0].nSingleKeyValue, 0);
  EXPECT_EQ(Reset.ConfigInfo.ButtonFuncInfo[0].ParamBlock5[3], 0);
  EXPECT_EQ(Reset.ConfigInfo.HWheelButtonFuncInfo[0].nFunctionIndex, 44);
  EXPECT_EQ(Reset.ConfigInfo.LEDConfig.LIGHT_MODE, 5);
  EXPECT_EQ(Reset.FunctionList.FunctionInfo[9], 1);
  EXPECT_EQ(Reset.ConfigInfo.ReportRate, 500);
  EXPECT_TRUE(Module->IsProfileChanged(2));

  // A shorter stored image is extended with zeros to the record's size first.
  World.Registry.PutValue(CurrentUser, "software\\software\\ZQgmmouse", "ZQProfile3.pfd",
                          platform::RegType::Binary, std::vector<uint8_t>(1000, 0xEE));
  ASSERT_TRUE(Module->LoadCurrentProfileInfoFromRegistry());
  EXPECT_EQ(Module->uiProfileGame3->Stream().Size(), 1000);
  Module->RestoreCurrentProfileInfoToDefault();
  EXPECT_EQ(Module->uiProfileGame3->Stream().Size(), 163560);
  EXPECT_EQ(Module->uiProfileGame3->Stream().Bytes()[100], 0xEE);
  EXPECT_EQ(Module->uiProfileGame3->Stream().Bytes()[2000], 0);
}

TEST_F(FactoryDefaultsTest, PartialResetsOfTheCurrentProfile) {
  auto Module = Start();
  auto& Config = Module->CurrentProfileInfo().ConfigInfo;
  Config.LEDConfig.LIGHT_MODE = 4;
  Module->RestoreToDefaultCPISetting();
  EXPECT_EQ(Config.CPILevel, 5);
  EXPECT_EQ(Config.CurrentCPIIndex, 1);
  EXPECT_EQ(Config.CPIState[3].CPIX, 8200);
  EXPECT_EQ(Config.CPIState[3].Enabled, 1);
  EXPECT_EQ(Config.CPIState[4].CPIX, 0);
  EXPECT_EQ(Config.CPIState[4].Enabled, 0);
  EXPECT_EQ(Config.UseDiffentXY[3], 0);
  EXPECT_EQ(Config.UseDiffentXY[4], 1);
  Module->RestoreToDefaultLightAndReportAdvancedSetting();
  EXPECT_EQ(Config.ReportRate, 125);
  EXPECT_EQ(Config.LEDConfig.R, 255);
  EXPECT_EQ(Config.LEDConfig.G, 0);
  EXPECT_EQ(Config.LEDConfig.BREATH_SPEED, 3);
  EXPECT_EQ(Config.LEDConfig.LIGHT_MODE, 4);
  // Nothing reached the store.
  EXPECT_FALSE(
      World.Registry.GetValue(CurrentUser, "software\\software\\ZQgmmouse", "ZQProfile3.pfd"));
}

TEST_F(FactoryDefaultsTest, TheEightButtonSets) {
  auto Module = Start();
  rtl::TMemoryStream Stream;
  Stream.Assign(std::vector<uint8_t>(163560, 0x77));
  Module->uiProfileGame2RestoreToDefault(Stream);
  auto Image = Stream.Bytes();
  EXPECT_EQ(Field(Image, 128480, 4), 8u);
  EXPECT_EQ(Field(Image, Button(3, 4166), 2), 23u);
  EXPECT_EQ(Field(Image, Button(3, 4168), 1), 10u);
  EXPECT_EQ(Field(Image, Button(3, 4176), 4), 909u);
  EXPECT_EQ(Field(Image, Button(3, 140), 2), 0x25u); // forward: usage 0x225
  EXPECT_EQ(Field(Image, Button(3, 142), 2), 0x02u);
  EXPECT_EQ(Field(Image, Button(4, 140), 2), 0x24u);
  EXPECT_EQ(Field(Image, Button(5, 140), 2), 0x27u);
  EXPECT_EQ(Field(Image, Button(6, 68), 2), 0x54u); // Ctrl+T
  EXPECT_EQ(Field(Image, Button(6, 68 + 8), 2), 2u);
  EXPECT_EQ(Field(Image, Button(7, 68), 2), 0x57u); // Ctrl+W
  profile::TCOMBOKEYINFO Combo{};
  std::memcpy(&Combo, Image.data() + Button(6, 68), sizeof(Combo));
  EXPECT_EQ(rtl::ReadFixedText(Combo.ComboKeyText), "NEW TAB");
  std::memcpy(&Combo, Image.data() + Button(7, 68), sizeof(Combo));
  EXPECT_EQ(rtl::ReadFixedText(Combo.ComboKeyText), "CLOSE TAB");
  EXPECT_EQ(Field(Image, Button(8, 4172), 4), 27u);
  EXPECT_EQ(Field(Image, Button(9, 4172), 4), 13u);
  EXPECT_EQ(Field(Image, Button(8, 4166), 2), 0x7777u); // not written
  EXPECT_EQ(Field(Image, cConfig + 117172, 4), 1u);
  EXPECT_EQ(Field(Image, cConfig + 127582, 3), 0x00FF00u);

  Stream.Assign(std::vector<uint8_t>(163560, 0x77));
  Module->uiProfileGame3RestoreToDefault(Stream);
  Image = Stream.Bytes();
  EXPECT_EQ(Field(Image, Button(3, 2), 2), 0xA4u);
  EXPECT_EQ(Field(Image, Button(4, 2), 2), 0xA2u);
  EXPECT_EQ(Field(Image, Button(5, 2), 2), 0xA0u);
  EXPECT_EQ(Field(Image, Button(6, 4176), 4), 1302u);
  EXPECT_EQ(Field(Image, Button(7, 4172), 4), 9u);
  EXPECT_EQ(Field(Image, cConfig + 117172, 4), 2u);
  EXPECT_EQ(Field(Image, cConfig + 127582, 3), 0x777777u); // colour not written
  EXPECT_EQ(Image[cConfig + 127585], 2);                   // brightness is
}

TEST(StandardFunctions, FortyEightRowsOfThreeIntegers) {
  EXPECT_EQ(sizeof(cStandardFunctions), 48u * 12u);
  for (int Index = 0; Index < cStandardFunctionCount; ++Index) {
    EXPECT_EQ(cStandardFunctions[Index].Index, Index);
  }
  EXPECT_EQ(cStandardFunctions[28].DeviceCode, 14);
  EXPECT_EQ(cStandardFunctions[28].FunctionID, 914);
  EXPECT_EQ(cStandardFunctions[3].DeviceCode, 5);
  EXPECT_EQ(cStandardFunctions[45].FunctionID, 1501);
  EXPECT_EQ(cStandardFunctions[47].DeviceCode, 14);
  EXPECT_EQ(cStandardFunctions[47].FunctionID, 16);
}

} // namespace
