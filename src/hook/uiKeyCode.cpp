#include "hook/uiKeyCode.h"

#include <cstdio>

namespace hook {

namespace {

struct TKeyRow {
  int32_t VKCode;
  const char* VKName;
  int32_t HIDCode;
  const char* KeyDescription;
  int32_t ScanCode = 0;
  int32_t Extended = cExtendedE0;
};

constexpr int32_t E1 = cExtendedE1;
constexpr int32_t E0 = cExtendedE0;

// The primary keys that are not built by a rule.
constexpr TKeyRow cPrimaryRows[] = {
    {0x00, "VK_NULL", -1, ""},
    {0x01, "VK_LBUTTON", -1, "Mouse Left Click"},
    {0x02, "VK_RBUTTON", -1, "Mouse Right Click"},
    {0x03, "VK_CANCEL", -1, "Control Break"},
    {0x04, "VK_MBUTTON", -1, "Mouse Middle Click"},
    {0x08, "VK_BACK", 0x2A, "BACKSPACE"},
    {0x09, "VK_TAB", 0x2B, "TAB"},
    {0x0C, "VK_CLEAR", 0x9C, "CLEAR"},
    {0x0D, "VK_RETURN", 0x28, "ENTER"},
    {0x10, "VK_SHIFT", -1, "SHIFT"},
    {0x11, "VK_CONTROL", -1, "CTRL"},
    {0x12, "VK_MENU", -1, "ALT"},
    {0x13, "VK_PAUSE", 0x48, "PAUSE"},
    {0x14, "VK_CAPITAL", 0x39, "CAPS LOCK"},
    {0x1B, "VK_ESCAPE", 0x29, "ESC"},
    {0x20, "VK_SPACE", 0x2C, "SPACEBAR"},
    {0x21, "VK_PRIOR", 0x61, "PAGE UP"},
    {0x22, "VK_NEXT", 0x5B, "PAGE DOWN"},
    {0x23, "VK_END", 0x59, "END"},
    {0x24, "VK_HOME", 0x5F, "HOME"},
    {0x25, "VK_LEFT", 0x5C, "LEFT ARROW"},
    {0x26, "VK_UP", 0x60, "UP ARROW"},
    {0x27, "VK_RIGHT", 0x5E, "RIGHT ARROW"},
    {0x28, "VK_DOWN", 0x5A, "DOWN ARROW"},
    {0x29, "VK_SELECT", -1, "SELECT"},
    {0x2A, "VK_PRINT", -1, "PRINT"},
    {0x2B, "VK_EXECUTE", -1, "EXECUTE"},
    {0x2C, "VK_SNAPSHOT", 0x46, "PRINT SCREEN", 0, E1},
    {0x2D, "VK_NUMPAD0_INSERT", 0x62, "Keypad 0 Insert"},
    {0x2E, "VK_DELETE", 0x63, "Keypad DEL"},
    {0x2F, "VK_HELP", -1, "HELP"},
    {0x5B, "VK_LWIN", 0xE3, "L WIN", 0, E1},
    {0x5C, "VK_RWIN", 0xE7, "R WIN", 0, E1},
    {0x5D, "VK_APP", 0x65, "APP", 0, E1},
    {0x6A, "VK_MULTIPLY", 0x55, "*"},
    {0x6B, "VK_ADD", 0x57, "+"},
    {0x6C, "VK_SEPARATOR", 0x97, "Separator"},
    {0x6D, "VK_SUBTRACT", 0x56, "-"},
    {0x6E, "VK_DECIMAL", 0x63, "Decimal"},
    {0x6F, "VK_DIVIDE", 0x54, "/", 0, E1},
    {0x90, "VK_NUMLOCK", 0x53, "NUM LOCK", 0, E1},
    {0x91, "VK_SCROLL", 0x47, "Scroll Lock"},
    {0xA0, "VK_LSHIFT", 0xE1, "L SHIFT"},
    {0xA1, "VK_RSHIFT", 0xE5, "R SHIFT", 0, E1},
    {0xA2, "VK_LCONTROL", 0xE0, "L CTRL"},
    {0xA3, "VK_RCONTROL", 0xE4, "R CTRL", 0, E1},
    {0xA4, "VK_LMENU", 0xE2, "L ALT"},
    {0xA5, "VK_RMENU", 0xE6, "R ALT", 0, E1},
    {0xA6, "VK_BROWSER_BACK", 0x224, "BROWSER_BACK", 0, E1},
    {0xA7, "VK_BROWSER_FORWARD", 0x225, "BROWSER_FORWARD", 0, E1},
    {0xA8, "VK_BROWSER_REFRESH", 0x227, "BROWSER_REFRESH", 0, E1},
    {0xA9, "VK_BROWSER_STOP", 0x226, "BROWSER_STOP", 0, E1},
    {0xAA, "VK_BROWSER_SEARCH", 0x221, "BROWSER_SEARCH", 0, E1},
    {0xAB, "VK_BROWSER_FAVORITES", 0x22A, "BROWSER_FAVORITES", 0, E1},
    {0xAC, "VK_BROWSER_HOME", 0x223, "BROWSER_HOME", 0, E1},
    {0xAD, "VK_VOLUME_MUTE", 0xE2, "VOLUME_MUTE", 0, E1},
    {0xAE, "VK_VOLUME_DOWN", 0xEA, "VOLUME_DOWN", 0, E1},
    {0xAF, "VK_VOLUME_UP", 0xE9, "VOLUME_UP", 0, E1},
    {0xB0, "VK_MEDIA_NEXT_TRACK", 0xB5, "MEDIA_NEXT_TRACK", 0, E1},
    {0xB1, "VK_MEDIA_PREV_TRACK", 0xB6, "MEDIA_PREV_TRACK", 0, E1},
    {0xB2, "VK_MEDIA_STOP", 0xB7, "MEDIA_STOP", 0, E1},
    {0xB3, "VK_MEDIA_PLAY_PAUSE", 0xCD, "MEDIA_PLAY_PAUSE", 0, E1},
    {0xB4, "VK_LAUNCH_MAIL", 0x18A, "LAUNCH_MAIL", 0, E1},
    {0xB5, "VK_LAUNCH_MEDIA_SELECT", 0x183, "LAUNCH_MEDIA_SELECT", 0, E1},
    {0xB6, "VK_LAUNCH_APP1", 0x194, "LAUNCH_APP1", 0, E1},
    {0xB7, "VK_LAUNCH_APP2", 0x192, "LAUNCH_APP2", 0, E1},
    {0xBA, "VK_OEM_1", 0x33, ";:", 39},
    {0xBB, "VK_OEM_PLUS", 0x2E, "=", 13},
    {0xBC, "VK_OEM_COMMA", 0x36, ",<", 51},
    {0xBD, "VK_OEM_MINUS", 0x2D, "-_", 12},
    {0xBE, "VK_OEM_PERIOD", 0x37, ".", 52},
    {0xBF, "VK_OEM_2", 0x38, "/?", 53},
    {0xC0, "VK_OEM_3", 0x35, "~`", 41},
    {0xDB, "VK_OEM_4", 0x2F, "[{", 26},
    {0xDC, "VK_OEM_5", 0x31, "\\|", 43},
    {0xDD, "VK_OEM_6", 0x30, "]}", 27},
    {0xDE, "VK_OEM_7", 0x34, "'\"", 40},
    {0xDF, "VK_OEM_8", -1, "None"},
    {0xE1, "VK_OEM_AX", -1, "AX"},
    {0xE2, "VK_OEM_102", 0x64, "Europe 2 (Note 2)", 86},
};

// The same virtual keys reported with the extended flag: the separate navigation block and
// the keypad Enter.
constexpr TKeyRow cExtendedRows[] = {
    {0x0D, "VK_RETURN", 0x58, "ENTER", 0, E1},      {0x2D, "VK_INSERT", 0x49, "INS", 0, E1},
    {0x2E, "VK_DELETE", 0x4C, "DEL", 0, E1},        {0xFF, "VK_POWER", 0x4C, "DEL", 94, E1},
    {0x21, "VK_PRIOR", 0x4B, "PAGE UP", 0, E1},     {0x22, "VK_NEXT", 0x4E, "PAGE DOWN", 0, E1},
    {0x23, "VK_END", 0x4D, "END", 0, E1},           {0x24, "VK_HOME", 0x4A, "HOME", 0, E1},
    {0x25, "VK_LEFT", 0x50, "LEFT ARROW", 0, E1},   {0x26, "VK_UP", 0x52, "UP ARROW", 0, E1},
    {0x27, "VK_RIGHT", 0x4F, "RIGHT ARROW", 0, E1}, {0x28, "VK_DOWN", 0x51, "DOWN ARROW", 0, E1},
};

// Primary keys without a key behind them.
constexpr int32_t cUndefinedKeys[] = {0x05, 0x06, 0x07, 0x0A, 0x0B, 0x0E, 0x0F, 0x15, 0x16,
                                      0x17, 0x18, 0x19, 0x1A, 0x1C, 0x1D, 0x1E, 0x1F, 0x3A,
                                      0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x40, 0x5E, 0x5F, 0xE0};

std::string Hex(int32_t AValue, int ADigits) {
  char Buffer[16];
  std::snprintf(Buffer, sizeof(Buffer), "%0*X", ADigits, static_cast<unsigned>(AValue));
  return Buffer;
}

void SetSlot(TKeyboardInfoTable& ASlot, const TKeyRow& ARow) {
  ASlot = {ARow.VKName,   ARow.VKCode,  ARow.ScanCode,
           ARow.Extended, ARow.HIDCode, ARow.KeyDescription};
}

void SetSlot(TKeyboardInfoTable& ASlot, int32_t AKey, std::string AName, int32_t AHid,
             std::string ADescription) {
  ASlot = {std::move(AName), AKey, 0, E0, AHid, std::move(ADescription)};
}

void FillDefaults(std::array<TKeyboardInfoTable, cKeyTableSize>& ATable, int32_t AExtended) {
  for (int32_t Key = 0; Key < cKeyTableSize; ++Key) {
    ATable[static_cast<std::size_t>(Key)] = {"VK_UNDEFINED_" + Hex(Key, 3), Key, 0, AExtended, -1,
                                             "UNDEFINED_" + Hex(Key, 3)};
  }
}

void FillRuleRows(std::array<TKeyboardInfoTable, cKeyTableSize>& ATable) {
  const auto Slot = [&ATable](int32_t AKey) -> TKeyboardInfoTable& {
    return ATable[static_cast<std::size_t>(AKey)];
  };
  for (int32_t Key = 0x41; Key <= 0x5A; ++Key) {
    const std::string Letter(1, static_cast<char>(Key));
    SetSlot(Slot(Key), Key, "VK_" + Letter, Key - 0x3D, Letter);
  }
  for (int32_t Key = 0x31; Key <= 0x39; ++Key) {
    const std::string Digit(1, static_cast<char>(Key));
    SetSlot(Slot(Key), Key, "VK_" + Digit, 0x1E + (Key - 0x31), Digit);
  }
  SetSlot(Slot(0x30), 0x30, "VK_0", 0x27, "0");
  for (int32_t Number = 1; Number <= 24; ++Number) {
    const int32_t Key = 0x70 + Number - 1;
    const int32_t Hid = Number <= 12 ? 0x3A + Number - 1 : 0x68 + Number - 13;
    SetSlot(Slot(Key), Key, "VK_F" + std::to_string(Number), Hid, "F" + std::to_string(Number));
  }
  SetSlot(Slot(0x60), 0x60, "VK_NUMPAD0", 0x62, "NUMPAD 0");
  for (int32_t Number = 1; Number <= 9; ++Number) {
    const int32_t Key = 0x60 + Number;
    SetSlot(Slot(Key), Key, "VK_NUMPAD" + std::to_string(Number), 0x59 + Number - 1,
            "NUMPAD " + std::to_string(Number));
  }
  const auto Undefined = [&](int32_t AKey) {
    SetSlot(Slot(AKey), AKey, "VK_UNDEFINED_" + Hex(AKey, 2), -1, "Undefined");
  };
  for (int32_t Key : cUndefinedKeys) {
    Undefined(Key);
  }
  for (int32_t Key = 0x88; Key <= 0x8F; ++Key) {
    Undefined(Key);
  }
  for (int32_t Key = 0x92; Key <= 0x9F; ++Key) {
    Undefined(Key);
  }
}

constexpr TMouseButtonString cMouseButtonStrings[] = {
    {LCLICK, "Mouse Click"},          {RCLICK, "Mouse Right Click"}, {MCLICK, "Mouse Middle Click"},
    {XCLICK4, "Backward(Mouse) "},    {XCLICK5, "Forward(Mouse)"},   {WHEELUP, "Wheel up(Mouse)"},
    {WHEELDOWN, "Wheel Down(Mouse)"},
};

} // namespace

TKeyInfoTables BuildKeyInfoTables() {
  TKeyInfoTables Tables;
  FillDefaults(Tables.Primary, E0);
  FillRuleRows(Tables.Primary);
  for (const TKeyRow& Row : cPrimaryRows) {
    SetSlot(Tables.Primary[static_cast<std::size_t>(Row.VKCode)], Row);
  }
  FillDefaults(Tables.Extended, E1);
  for (const TKeyRow& Row : cExtendedRows) {
    SetSlot(Tables.Extended[static_cast<std::size_t>(Row.VKCode)], Row);
  }
  return Tables;
}

const TKeyInfoTables& KeyInfoTables() {
  // Built on first use; the language makes the first use safe from concurrent callers.
  static const TKeyInfoTables Tables = BuildKeyInfoTables();
  return Tables;
}

const TKeyboardInfoTable* FindKeyInfo(int32_t AKey, int32_t AExtended) {
  if (AExtended == cExtendedE0) {
    AExtended = 0;
  } else if (AExtended == cExtendedE1) {
    AExtended = 1;
  }
  if (AKey < 0 || AKey >= cKeyTableSize) {
    return nullptr;
  }
  const TKeyInfoTables& Tables = KeyInfoTables();
  const TKeyboardInfoTable& Primary = Tables.Primary[static_cast<std::size_t>(AKey)];
  const TKeyboardInfoTable& Extended = Tables.Extended[static_cast<std::size_t>(AKey)];
  if (AExtended == 0) {
    return &Primary;
  }
  if (AExtended == 1 && Primary.Extended == cExtendedE1) {
    return &Primary;
  }
  return &Extended;
}

const std::string& KeyToDescription(int32_t AKey, int32_t AExtended) {
  static const std::string Empty;
  const TKeyboardInfoTable* Info = FindKeyInfo(AKey, AExtended);
  return Info != nullptr ? Info->KeyDescription : Empty;
}

uint32_t KeyToHidUsage(int32_t AKey, int32_t AExtended) {
  const TKeyboardInfoTable* Info = FindKeyInfo(AKey, AExtended);
  return Info != nullptr && Info->HIDCode >= 0 ? static_cast<uint32_t>(Info->HIDCode) : 0;
}

std::string MouseButtonDescription(TMouseButtons AButton) {
  for (const TMouseButtonString& Row : cMouseButtonStrings) {
    if (Row.MouseButton == AButton) {
      return Row.ButtonDescription;
    }
  }
  return std::string();
}

} // namespace hook
