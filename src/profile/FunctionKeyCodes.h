// The key code tables of the standard functions a mouse button can be given: as the HID
// usage codes and modifier byte the firmware sends (THID_CODE_INFO), and as host key
// combinations (TCOMBOKEYINFO). The two families encode modifiers differently: the HID byte
// (Ctrl 1, Shift 2, Alt 4, GUI 8) and the host bits (Alt 1, Ctrl 2, Shift 4, Win 8).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "profile/ProfileRecords.h"

namespace profile {

struct THID_CODE_INFO {
  uint16_t nKeyValue1;
  uint16_t nKeyValue2;
  uint16_t nModifier;
};
static_assert(sizeof(THID_CODE_INFO) == 6);
static_assert(offsetof(THID_CODE_INFO, nKeyValue2) == 2);
static_assert(offsetof(THID_CODE_INFO, nModifier) == 4);

inline constexpr int cFunctionKeyTableSize = 50;

struct THidCodeTables {
  std::vector<THID_CODE_INFO> EditKeyCodes;
  std::vector<THID_CODE_INFO> WindowKeyCodes;
  std::vector<THID_CODE_INFO> MediaKeyCodes;
  std::vector<THID_CODE_INFO> BrowserKeyCodes;
};

struct TComboKeyTables {
  std::vector<TCOMBOKEYINFO> EditComboKeys;
  std::vector<TCOMBOKEYINFO> WindowComboKeys;
  std::vector<TCOMBOKEYINFO> MediaComboKeys;
  std::vector<TCOMBOKEYINFO> BrowserComboKeys;
};

// Every argument must fit 16 bits (ERangeError otherwise). The keys are virtual keys with
// their extended flags, stored as their HID usages (0 for a key without one).
void MakeHidCodeInfo(int32_t Modifier, int32_t Key1, int32_t Key1Extended, int32_t Key2,
                     int32_t Key2Extended, THID_CODE_INFO& Info);
// Stores the values as given in the first five fields; the text is left alone.
void MakeComboKeyInfo(int32_t Modifier, int32_t Key1, int32_t Key1Extended, int32_t Key2,
                      int32_t Key2Extended, TCOMBOKEYINFO& Info);

// Fill the four tables of a family with 50 entries each, unless its first table has entries.
void BuildHidCodeTables(THidCodeTables& ATables);
void BuildComboKeyTables(TComboKeyTables& ATables);

// The process's tables, built once on first use (safe from any thread).
const THidCodeTables& HidCodeTables();
const TComboKeyTables& ComboKeyTables();

// Entry Index of BrowserKeyCodes / BrowserComboKeys. Info is left as it is for an index of
// 50 or more; a negative index raises ERangeError.
void GetHidCodeInfo(int32_t Index, THID_CODE_INFO& Info);
void GetComboKeyInfo(int32_t Index, TCOMBOKEYINFO& Info);

} // namespace profile
