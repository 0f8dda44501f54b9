#include "profile/FunctionKeyCodes.h"

#include "hook/uiKeyCode.h"
#include "rtl/RangeCheck.h"

namespace profile {

namespace {

// One row of a family: the modifier and the first key with its extended flag (no row has a
// second key).
struct TFunctionRow {
  int32_t Modifier;
  int32_t Key;
  int32_t Extended;
};

// HID modifier byte.
constexpr int32_t cHidCtrl = 1;
constexpr int32_t cHidAlt = 4;
constexpr int32_t cHidGui = 8;
// Host modifier bits.
constexpr int32_t cHostAlt = 1;
constexpr int32_t cHostCtrl = 2;
constexpr int32_t cHostShift = 4;
constexpr int32_t cHostWin = 8;

// The rows carry host modifier bits; the HID family sends the same modifiers as its own byte.
constexpr TFunctionRow cEditRows[] = {
    {cHostCtrl, 0x58, 0}, {cHostCtrl, 0x43, 0}, {cHostCtrl, 0x56, 0}, {cHostCtrl, 0x41, 0},
    {cHostCtrl, 0x46, 0}, {cHostCtrl, 0x4E, 0}, {cHostCtrl, 0x50, 0}, {cHostCtrl, 0x53, 0}};
constexpr TFunctionRow cWindowRows[] = {{cHostAlt, 0x09, 0}, {cHostAlt, 0x73, 0},
                                        {cHostWin, 0x45, 0}, {cHostWin, 0x52, 0},
                                        {cHostWin, 0x44, 0}, {cHostWin, 0x4C, 0}};
constexpr TFunctionRow cMediaRows[] = {{0, 0xB3, 1}, {0, 0xB2, 1}, {0, 0xB1, 1}, {0, 0xB0, 1},
                                       {0, 0xAF, 1}, {0, 0xAE, 1}, {0, 0xAD, 1}, {0, 0xB5, 1}};
constexpr TFunctionRow cBrowserKeyRows[] = {{0, 0xAC, 1}, {0, 0xA6, 1}, {0, 0xA7, 1}, {0, 0xA9, 1},
                                            {0, 0xA8, 1}, {0, 0xAA, 1}, {0, 0xAB, 1}, {0, 0xB4, 1}};
constexpr TFunctionRow cBrowserComboRows[] = {
    {cHostCtrl, 0x57, 0}, {cHostCtrl, 0x6B, 0},
    {cHostCtrl, 0x6D, 0}, {cHostCtrl | cHostShift, 0x09, 0},
    {cHostCtrl, 0x09, 0}, {cHostCtrl, 0x54, 0}};

int32_t HostToHidModifier(int32_t AHost) {
  return ((AHost & cHostAlt) != 0 ? cHidAlt : 0) | ((AHost & cHostCtrl) != 0 ? cHidCtrl : 0) |
         ((AHost & cHostWin) != 0 ? cHidGui : 0);
}

uint16_t HidUsageField(int32_t AKey, int32_t AExtended) {
  const uint32_t Usage = hook::KeyToHidUsage(AKey, AExtended);
  return Usage == 0xFFFF ? 0 : static_cast<uint16_t>(Usage);
}

template <class TEntry, std::size_t N, class TMake>
void FillTable(std::vector<TEntry>& ATable, const TFunctionRow (&ARows)[N], TMake AMake) {
  for (std::size_t I = 0; I < N; ++I) {
    AMake(ARows[I], ATable[I]);
  }
}

} // namespace

void MakeHidCodeInfo(int32_t Modifier, int32_t Key1, int32_t Key1Extended, int32_t Key2,
                     int32_t Key2Extended, THID_CODE_INFO& Info) {
  Info.nModifier = rtl::CheckWord(Modifier);
  Info.nKeyValue1 = HidUsageField(rtl::CheckWord(Key1), rtl::CheckWord(Key1Extended));
  Info.nKeyValue2 = HidUsageField(rtl::CheckWord(Key2), rtl::CheckWord(Key2Extended));
}

void MakeComboKeyInfo(int32_t Modifier, int32_t Key1, int32_t Key1Extended, int32_t Key2,
                      int32_t Key2Extended, TCOMBOKEYINFO& Info) {
  Info.nModifier = rtl::CheckWord(Modifier);
  Info.nKeyValue1 = rtl::CheckWord(Key1);
  Info.nKey1Extended = rtl::CheckWord(Key1Extended);
  Info.nKeyValue2 = rtl::CheckWord(Key2);
  Info.nKey2Extended = rtl::CheckWord(Key2Extended);
}

void BuildHidCodeTables(THidCodeTables& ATables) {
  if (!ATables.EditKeyCodes.empty()) {
    return;
  }
  for (auto* Table : {&ATables.EditKeyCodes, &ATables.WindowKeyCodes, &ATables.MediaKeyCodes,
                      &ATables.BrowserKeyCodes}) {
    Table->assign(cFunctionKeyTableSize, THID_CODE_INFO{});
  }
  const auto Make = [](const TFunctionRow& ARow, THID_CODE_INFO& AInfo) {
    MakeHidCodeInfo(HostToHidModifier(ARow.Modifier), ARow.Key, ARow.Extended, 0, 0, AInfo);
  };
  FillTable(ATables.EditKeyCodes, cEditRows, Make);
  FillTable(ATables.WindowKeyCodes, cWindowRows, Make);
  FillTable(ATables.MediaKeyCodes, cMediaRows, Make);
  FillTable(ATables.BrowserKeyCodes, cBrowserKeyRows, Make);
}

void BuildComboKeyTables(TComboKeyTables& ATables) {
  if (!ATables.EditComboKeys.empty()) {
    return;
  }
  for (auto* Table : {&ATables.EditComboKeys, &ATables.WindowComboKeys, &ATables.MediaComboKeys,
                      &ATables.BrowserComboKeys}) {
    Table->assign(cFunctionKeyTableSize, TCOMBOKEYINFO{});
  }
  const auto Make = [](const TFunctionRow& ARow, TCOMBOKEYINFO& AInfo) {
    MakeComboKeyInfo(ARow.Modifier, ARow.Key, ARow.Extended, 0, 0, AInfo);
  };
  FillTable(ATables.EditComboKeys, cEditRows, Make);
  FillTable(ATables.WindowComboKeys, cWindowRows, Make);
  FillTable(ATables.MediaComboKeys, cMediaRows, Make);
  FillTable(ATables.BrowserComboKeys, cBrowserComboRows, Make);
}

const THidCodeTables& HidCodeTables() {
  static const THidCodeTables Tables = [] {
    THidCodeTables Built;
    BuildHidCodeTables(Built);
    return Built;
  }();
  return Tables;
}

const TComboKeyTables& ComboKeyTables() {
  static const TComboKeyTables Tables = [] {
    TComboKeyTables Built;
    BuildComboKeyTables(Built);
    return Built;
  }();
  return Tables;
}

namespace {
template <class TEntry>
void CopyEntry(const std::vector<TEntry>& ATable, int32_t AIndex, TEntry& AInfo) {
  if (AIndex < 0) {
    throw rtl::ERangeError();
  }
  if (AIndex < static_cast<int32_t>(ATable.size())) {
    AInfo = ATable[static_cast<std::size_t>(AIndex)];
  }
}
} // namespace

void GetHidCodeInfo(int32_t Index, THID_CODE_INFO& Info) {
  CopyEntry(HidCodeTables().BrowserKeyCodes, Index, Info);
}

void GetComboKeyInfo(int32_t Index, TCOMBOKEYINFO& Info) {
  CopyEntry(ComboKeyTables().BrowserComboKeys, Index, Info);
}

} // namespace profile
