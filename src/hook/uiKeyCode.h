// Key and button names: a virtual key and its extended flag to a display text and to the HID
// usage code the mouse's firmware sends for it; a mouse button to a display text.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "hook/HookTypes.h"

namespace hook {

struct TKeyboardInfoTable {
  std::string VKName;
  int32_t VKCode = 0;
  int32_t ScanCode = 0;
  // 0xE0 or 0xE1; in the primary table 0xE1 marks a key that always carries the flag.
  int32_t Extended = 0;
  // -1 when the key has none.
  int32_t HIDCode = -1;
  std::string KeyDescription;
};

inline constexpr int cKeyTableSize = 300;
inline constexpr int32_t cExtendedE0 = 0xE0;
inline constexpr int32_t cExtendedE1 = 0xE1;

struct TKeyInfoTables {
  // Keys without the extended flag, and keys that always carry it.
  std::array<TKeyboardInfoTable, cKeyTableSize> Primary;
  // Keys reported with the extended flag.
  std::array<TKeyboardInfoTable, cKeyTableSize> Extended;
};

// Builds both tables afresh.
TKeyInfoTables BuildKeyInfoTables();
// The process's tables, built once on first use (safe from any thread).
const TKeyInfoTables& KeyInfoTables();

// The slot a key and flag select (flag 0xE0 reads as 0, 0xE1 as 1); null for a key outside
// 0..299.
const TKeyboardInfoTable* FindKeyInfo(int32_t AKey, int32_t AExtended);
// "" for a key outside 0..299.
const std::string& KeyToDescription(int32_t AKey, int32_t AExtended);
// 0 for a key outside 0..299 or without a usage.
uint32_t KeyToHidUsage(int32_t AKey, int32_t AExtended);

struct TMouseButtonString {
  TMouseButtons MouseButton;
  const char* ButtonDescription;
};

// "" for the buttons without a text.
std::string MouseButtonDescription(TMouseButtons AButton);

} // namespace hook
