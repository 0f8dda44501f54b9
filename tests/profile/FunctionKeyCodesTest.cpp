#include <gtest/gtest.h>

#include <cstring>

#include "profile/FunctionKeyCodes.h"
#include "rtl/Exceptions.h"
#include "rtl/Utf.h"

namespace {

using namespace profile;

struct THidRow {
  uint16_t Usage;
  uint16_t Modifier;
};

void ExpectHidTable(const std::vector<THID_CODE_INFO>& ATable,
                    std::initializer_list<THidRow> ARows) {
  ASSERT_EQ(ATable.size(), 50u);
  std::size_t Index = 0;
  for (const THidRow& Row : ARows) {
    SCOPED_TRACE(Index);
    EXPECT_EQ(ATable[Index].nKeyValue1, Row.Usage);
    EXPECT_EQ(ATable[Index].nKeyValue2, 0);
    EXPECT_EQ(ATable[Index].nModifier, Row.Modifier);
    ++Index;
  }
  for (; Index < ATable.size(); ++Index) {
    EXPECT_EQ(ATable[Index].nKeyValue1 | ATable[Index].nKeyValue2 | ATable[Index].nModifier, 0);
  }
}

struct TComboRow {
  uint16_t Key;
  uint16_t Extended;
  uint16_t Modifier;
};

void ExpectComboTable(const std::vector<TCOMBOKEYINFO>& ATable,
                      std::initializer_list<TComboRow> ARows) {
  ASSERT_EQ(ATable.size(), 50u);
  TCOMBOKEYINFO Zero{};
  std::size_t Index = 0;
  for (const TComboRow& Row : ARows) {
    SCOPED_TRACE(Index);
    TCOMBOKEYINFO Expected{};
    Expected.nKeyValue1 = Row.Key;
    Expected.nKey1Extended = Row.Extended;
    Expected.nModifier = Row.Modifier;
    EXPECT_EQ(std::memcmp(&ATable[Index], &Expected, sizeof(Expected)), 0);
    ++Index;
  }
  for (; Index < ATable.size(); ++Index) {
    EXPECT_EQ(std::memcmp(&ATable[Index], &Zero, sizeof(Zero)), 0);
  }
}

TEST(FunctionKeyCodes, HidTablesCarryUsagesAndTheHidModifierByte) {
  const THidCodeTables& Tables = HidCodeTables();
  ExpectHidTable(
      Tables.EditKeyCodes,
      {{0x1B, 1}, {0x06, 1}, {0x19, 1}, {0x04, 1}, {0x09, 1}, {0x11, 1}, {0x13, 1}, {0x16, 1}});
  ExpectHidTable(Tables.WindowKeyCodes,
                 {{0x2B, 4}, {0x3D, 4}, {0x08, 8}, {0x15, 8}, {0x07, 8}, {0x0F, 8}});
  ExpectHidTable(Tables.MediaKeyCodes, {{0x0CD, 0},
                                        {0x0B7, 0},
                                        {0x0B6, 0},
                                        {0x0B5, 0},
                                        {0x0E9, 0},
                                        {0x0EA, 0},
                                        {0x0E2, 0},
                                        {0x183, 0}});
  ExpectHidTable(Tables.BrowserKeyCodes, {{0x223, 0},
                                          {0x224, 0},
                                          {0x225, 0},
                                          {0x226, 0},
                                          {0x227, 0},
                                          {0x221, 0},
                                          {0x22A, 0},
                                          {0x18A, 0}});
}

TEST(FunctionKeyCodes, ComboTablesCarryVirtualKeysAndTheHostModifierBits) {
  const TComboKeyTables& Tables = ComboKeyTables();
  ExpectComboTable(Tables.EditComboKeys, {{0x58, 0, 2},
                                          {0x43, 0, 2},
                                          {0x56, 0, 2},
                                          {0x41, 0, 2},
                                          {0x46, 0, 2},
                                          {0x4E, 0, 2},
                                          {0x50, 0, 2},
                                          {0x53, 0, 2}});
  ExpectComboTable(
      Tables.WindowComboKeys,
      {{0x09, 0, 1}, {0x73, 0, 1}, {0x45, 0, 8}, {0x52, 0, 8}, {0x44, 0, 8}, {0x4C, 0, 8}});
  ExpectComboTable(Tables.MediaComboKeys, {{0xB3, 1, 0},
                                           {0xB2, 1, 0},
                                           {0xB1, 1, 0},
                                           {0xB0, 1, 0},
                                           {0xAF, 1, 0},
                                           {0xAE, 1, 0},
                                           {0xAD, 1, 0},
                                           {0xB5, 1, 0}});
  ExpectComboTable(
      Tables.BrowserComboKeys,
      {{0x57, 0, 2}, {0x6B, 0, 2}, {0x6D, 0, 2}, {0x09, 0, 6}, {0x09, 0, 2}, {0x54, 0, 2}});
}

TEST(FunctionKeyCodes, BrowserEntriesReadByIndexWithinFifty) {
  THID_CODE_INFO Hid{9, 9, 9};
  GetHidCodeInfo(2, Hid);
  EXPECT_EQ(Hid.nKeyValue1, 0x225);
  EXPECT_EQ(Hid.nKeyValue2, 0);
  EXPECT_EQ(Hid.nModifier, 0);
  GetHidCodeInfo(1, Hid);
  EXPECT_EQ(Hid.nKeyValue1, 0x224);
  GetHidCodeInfo(4, Hid);
  EXPECT_EQ(Hid.nKeyValue1, 0x227);
  GetHidCodeInfo(49, Hid);
  EXPECT_EQ(Hid.nKeyValue1 | Hid.nKeyValue2 | Hid.nModifier, 0);
  Hid = {7, 7, 7};
  GetHidCodeInfo(50, Hid);
  EXPECT_EQ(Hid.nKeyValue1, 7);
  EXPECT_THROW(GetHidCodeInfo(-1, Hid), rtl::ERangeError);

  TCOMBOKEYINFO Combo{};
  rtl::StoreFixedText(Combo.ComboKeyText, "keep");
  GetComboKeyInfo(3, Combo);
  EXPECT_EQ(Combo.nKeyValue1, 0x09);
  EXPECT_EQ(Combo.nModifier, 6);
  EXPECT_EQ(rtl::ReadFixedText(Combo.ComboKeyText), "");
  GetComboKeyInfo(5, Combo);
  EXPECT_EQ(Combo.nKeyValue1, 0x54);
  rtl::StoreFixedText(Combo.ComboKeyText, "keep");
  GetComboKeyInfo(50, Combo);
  EXPECT_EQ(rtl::ReadFixedText(Combo.ComboKeyText), "keep");
  EXPECT_THROW(GetComboKeyInfo(-5, Combo), rtl::ERangeError);
}

TEST(FunctionKeyCodes, MakeOperationsCheckSixteenBitsAndConvertOnlyForHid) {
  THID_CODE_INFO Hid{};
  MakeHidCodeInfo(0x0102, 0x0D, 1, 0x10, 0, Hid);
  EXPECT_EQ(Hid.nModifier, 0x0102);
  EXPECT_EQ(Hid.nKeyValue1, 0x58); // keypad Enter
  EXPECT_EQ(Hid.nKeyValue2, 0);    // SHIFT has no usage
  EXPECT_THROW(MakeHidCodeInfo(0x10000, 0, 0, 0, 0, Hid), rtl::ERangeError);
  EXPECT_THROW(MakeHidCodeInfo(0, -1, 0, 0, 0, Hid), rtl::ERangeError);
  EXPECT_THROW(MakeHidCodeInfo(0, 0, 0, 0, 0x10000, Hid), rtl::ERangeError);

  TCOMBOKEYINFO Combo{};
  rtl::StoreFixedText(Combo.ComboKeyText, "NEW TAB");
  MakeComboKeyInfo(6, 0x0D, 1, 0x41, 0xE0, Combo);
  EXPECT_EQ(Combo.nModifier, 6);
  EXPECT_EQ(Combo.nKeyValue1, 0x0D);
  EXPECT_EQ(Combo.nKey1Extended, 1);
  EXPECT_EQ(Combo.nKeyValue2, 0x41);
  EXPECT_EQ(Combo.nKey2Extended, 0xE0);
  EXPECT_EQ(rtl::ReadFixedText(Combo.ComboKeyText), "NEW TAB");
  EXPECT_THROW(MakeComboKeyInfo(0, 0, 0, 65536, 0, Combo), rtl::ERangeError);
}

TEST(FunctionKeyCodes, BuildingAFamilyTwiceKeepsTheFirstBuild) {
  THidCodeTables Hid;
  BuildHidCodeTables(Hid);
  Hid.BrowserKeyCodes[0].nKeyValue1 = 0x1234;
  BuildHidCodeTables(Hid);
  EXPECT_EQ(Hid.BrowserKeyCodes[0].nKeyValue1, 0x1234);
  EXPECT_EQ(Hid.MediaKeyCodes.size(), 50u);

  TComboKeyTables Combo;
  BuildComboKeyTables(Combo);
  Combo.BrowserComboKeys.clear();
  BuildComboKeyTables(Combo);
  EXPECT_TRUE(Combo.BrowserComboKeys.empty());
}

} // namespace
