#include <gtest/gtest.h>

#include <thread>

#include "hook/uiKeyCode.h"

namespace {

using namespace hook;

struct TExpectedKey {
  int32_t Key;
  int32_t Flag;
  uint32_t Usage;
  const char* Description;
};

void ExpectKeys(std::initializer_list<TExpectedKey> AKeys) {
  for (const TExpectedKey& Expected : AKeys) {
    SCOPED_TRACE(::testing::Message()
                 << "key 0x" << std::hex << Expected.Key << " flag " << Expected.Flag);
    EXPECT_EQ(KeyToHidUsage(Expected.Key, Expected.Flag), Expected.Usage);
    EXPECT_EQ(KeyToDescription(Expected.Key, Expected.Flag), Expected.Description);
  }
}

TEST(KeyNames, FlagNormalisationChoosesTheTable) {
  // Enter: main Enter without the flag, keypad Enter with it (1 or 0xE1), 0xE0 reads as 0.
  ExpectKeys({{0x0D, 0, 0x28, "ENTER"},
              {0x0D, 0xE0, 0x28, "ENTER"},
              {0x0D, 1, 0x58, "ENTER"},
              {0x0D, 0xE1, 0x58, "ENTER"},
              {0x0D, 2, 0x58, "ENTER"}});
  // A key marked 0xE1 in the primary table answers from there for flag 1 ...
  ExpectKeys({{0x5B, 1, 0xE3, "L WIN"}, {0xA6, 0xE1, 0x224, "BROWSER_BACK"}});
  // ... but any other flag value goes to the extended table.
  ExpectKeys({{0x5B, 7, 0, "UNDEFINED_05B"}, {0x41, 1, 0, "UNDEFINED_041"}});
  EXPECT_EQ(FindKeyInfo(0x41, 1)->Extended, 0xE1);
  EXPECT_EQ(FindKeyInfo(0x41, 0)->Extended, 0xE0);
}

TEST(KeyNames, OutOfRangeKeysAndKeysWithoutUsage) {
  ExpectKeys({{300, 0, 0, ""},
              {-1, 0, 0, ""},
              {-1, 1, 0, ""},
              {299, 1, 0, "UNDEFINED_12B"},
              {0x10, 0, 0, "SHIFT"},
              {0x00, 0, 0, ""},
              {0x01, 0, 0, "Mouse Left Click"}});
  EXPECT_EQ(FindKeyInfo(300, 0), nullptr);
}

TEST(KeyNames, DefaultSlotsAndUndefinedKeys) {
  ExpectKeys({{0xB8, 0, 0, "UNDEFINED_0B8"},
              {0xB9, 0, 0, "UNDEFINED_0B9"},
              {0xC1, 0, 0, "UNDEFINED_0C1"},
              {0xDA, 0, 0, "UNDEFINED_0DA"},
              {0xE3, 0, 0, "UNDEFINED_0E3"},
              {0x100, 0, 0, "UNDEFINED_100"}});
  EXPECT_EQ(FindKeyInfo(0xB8, 0)->VKName, "VK_UNDEFINED_0B8");
  EXPECT_EQ(FindKeyInfo(0xB8, 0)->VKCode, 0xB8);
  for (int32_t Key : {0x05, 0x07, 0x0A, 0x0B, 0x0E, 0x0F, 0x15, 0x1A, 0x1C, 0x1F, 0x3A, 0x40, 0x5E,
                      0x5F, 0x88, 0x8F, 0x92, 0x9F, 0xE0}) {
    ExpectKeys({{Key, 0, 0, "Undefined"}});
  }
  EXPECT_EQ(FindKeyInfo(0x05, 0)->VKName, "VK_UNDEFINED_05");
  EXPECT_EQ(FindKeyInfo(0xE0, 0)->VKName, "VK_UNDEFINED_E0");
}

TEST(KeyNames, RuleBuiltRangesAtTheirEnds) {
  ExpectKeys({{0x41, 0, 0x04, "A"},
              {0x5A, 0, 0x1D, "Z"},
              {0x31, 0, 0x1E, "1"},
              {0x39, 0, 0x26, "9"},
              {0x30, 0, 0x27, "0"},
              {0x70, 0, 0x3A, "F1"},
              {0x7B, 0, 0x45, "F12"},
              {0x7C, 0, 0x68, "F13"},
              {0x87, 0, 0x73, "F24"},
              {0x60, 0, 0x62, "NUMPAD 0"},
              {0x61, 0, 0x59, "NUMPAD 1"},
              {0x69, 0, 0x61, "NUMPAD 9"}});
  EXPECT_EQ(FindKeyInfo(0x5A, 0)->VKName, "VK_Z");
  EXPECT_EQ(FindKeyInfo(0x87, 0)->VKName, "VK_F24");
  EXPECT_EQ(FindKeyInfo(0x69, 0)->VKName, "VK_NUMPAD9");
}

TEST(KeyNames, PrimaryRowsOneByOne) {
  ExpectKeys({{0x02, 0, 0, "Mouse Right Click"},
              {0x03, 0, 0, "Control Break"},
              {0x04, 0, 0, "Mouse Middle Click"},
              {0x08, 0, 0x2A, "BACKSPACE"},
              {0x09, 0, 0x2B, "TAB"},
              {0x0C, 0, 0x9C, "CLEAR"},
              {0x11, 0, 0, "CTRL"},
              {0x12, 0, 0, "ALT"},
              {0x13, 0, 0x48, "PAUSE"},
              {0x14, 0, 0x39, "CAPS LOCK"},
              {0x1B, 0, 0x29, "ESC"},
              {0x20, 0, 0x2C, "SPACEBAR"},
              {0x21, 0, 0x61, "PAGE UP"},
              {0x22, 0, 0x5B, "PAGE DOWN"},
              {0x23, 0, 0x59, "END"},
              {0x24, 0, 0x5F, "HOME"},
              {0x25, 0, 0x5C, "LEFT ARROW"},
              {0x26, 0, 0x60, "UP ARROW"},
              {0x27, 0, 0x5E, "RIGHT ARROW"},
              {0x28, 0, 0x5A, "DOWN ARROW"},
              {0x29, 0, 0, "SELECT"},
              {0x2A, 0, 0, "PRINT"},
              {0x2B, 0, 0, "EXECUTE"},
              {0x2C, 1, 0x46, "PRINT SCREEN"},
              {0x2D, 0, 0x62, "Keypad 0 Insert"},
              {0x2E, 0, 0x63, "Keypad DEL"},
              {0x2F, 0, 0, "HELP"},
              {0x5C, 1, 0xE7, "R WIN"},
              {0x5D, 1, 0x65, "APP"},
              {0x6A, 0, 0x55, "*"},
              {0x6B, 0, 0x57, "+"},
              {0x6C, 0, 0x97, "Separator"},
              {0x6D, 0, 0x56, "-"},
              {0x6E, 0, 0x63, "Decimal"},
              {0x6F, 1, 0x54, "/"},
              {0x90, 1, 0x53, "NUM LOCK"},
              {0x91, 0, 0x47, "Scroll Lock"},
              {0xA0, 0, 0xE1, "L SHIFT"},
              {0xA1, 1, 0xE5, "R SHIFT"},
              {0xA2, 0, 0xE0, "L CTRL"},
              {0xA3, 1, 0xE4, "R CTRL"},
              {0xA4, 0, 0xE2, "L ALT"},
              {0xA5, 1, 0xE6, "R ALT"},
              {0xA7, 1, 0x225, "BROWSER_FORWARD"},
              {0xA8, 1, 0x227, "BROWSER_REFRESH"},
              {0xA9, 1, 0x226, "BROWSER_STOP"},
              {0xAA, 1, 0x221, "BROWSER_SEARCH"},
              {0xAB, 1, 0x22A, "BROWSER_FAVORITES"},
              {0xAC, 1, 0x223, "BROWSER_HOME"},
              {0xAD, 1, 0xE2, "VOLUME_MUTE"},
              {0xAE, 1, 0xEA, "VOLUME_DOWN"},
              {0xAF, 1, 0xE9, "VOLUME_UP"},
              {0xB0, 1, 0xB5, "MEDIA_NEXT_TRACK"},
              {0xB1, 1, 0xB6, "MEDIA_PREV_TRACK"},
              {0xB2, 1, 0xB7, "MEDIA_STOP"},
              {0xB3, 1, 0xCD, "MEDIA_PLAY_PAUSE"},
              {0xB4, 1, 0x18A, "LAUNCH_MAIL"},
              {0xB5, 1, 0x183, "LAUNCH_MEDIA_SELECT"},
              {0xB6, 1, 0x194, "LAUNCH_APP1"},
              {0xB7, 1, 0x192, "LAUNCH_APP2"},
              {0xBA, 0, 0x33, ";:"},
              {0xBB, 0, 0x2E, "="},
              {0xBC, 0, 0x36, ",<"},
              {0xBD, 0, 0x2D, "-_"},
              {0xBE, 0, 0x37, "."},
              {0xBF, 0, 0x38, "/?"},
              {0xC0, 0, 0x35, "~`"},
              {0xDB, 0, 0x2F, "[{"},
              {0xDC, 0, 0x31, "\\|"},
              {0xDD, 0, 0x30, "]}"},
              {0xDE, 0, 0x34, "'\""},
              {0xDF, 0, 0, "None"},
              {0xE1, 0, 0, "AX"},
              {0xE2, 0, 0x64, "Europe 2 (Note 2)"}});
  // Scan codes are kept for the punctuation keys only.
  EXPECT_EQ(FindKeyInfo(0xBA, 0)->ScanCode, 39);
  EXPECT_EQ(FindKeyInfo(0xE2, 0)->ScanCode, 86);
  EXPECT_EQ(FindKeyInfo(0xDE, 0)->VKName, "VK_OEM_7");
  EXPECT_EQ(FindKeyInfo(0x41, 0)->ScanCode, 0);
  EXPECT_EQ(FindKeyInfo(0x2C, 0)->Extended, 0xE1);
}

TEST(KeyNames, ExtendedRowsNameTheSeparateBlock) {
  ExpectKeys({{0x2D, 1, 0x49, "INS"},
              {0x2E, 1, 0x4C, "DEL"},
              {0xFF, 1, 0x4C, "DEL"},
              {0x21, 1, 0x4B, "PAGE UP"},
              {0x22, 1, 0x4E, "PAGE DOWN"},
              {0x23, 1, 0x4D, "END"},
              {0x24, 1, 0x4A, "HOME"},
              {0x25, 1, 0x50, "LEFT ARROW"},
              {0x26, 1, 0x52, "UP ARROW"},
              {0x27, 1, 0x4F, "RIGHT ARROW"},
              {0x28, 1, 0x51, "DOWN ARROW"},
              {0xFF, 0, 0, "UNDEFINED_0FF"}});
  EXPECT_EQ(FindKeyInfo(0x2D, 1)->VKName, "VK_INSERT");
  EXPECT_EQ(FindKeyInfo(0xFF, 1)->ScanCode, 94);
}

TEST(KeyNames, TablesAreBuiltOnceEvenUnderConcurrentFirstUse) {
  const TKeyboardInfoTable* Seen[4] = {};
  std::thread Threads[4];
  for (int I = 0; I < 4; ++I) {
    Threads[I] = std::thread([&Seen, I] { Seen[I] = FindKeyInfo(0x41, 0); });
  }
  for (auto& Thread : Threads) {
    Thread.join();
  }
  for (const auto* Info : Seen) {
    EXPECT_EQ(Info, &KeyInfoTables().Primary[0x41]);
  }
}

TEST(MouseButtonNames, SevenButtonsHaveTexts) {
  EXPECT_EQ(MouseButtonDescription(LCLICK), "Mouse Click");
  EXPECT_EQ(MouseButtonDescription(RCLICK), "Mouse Right Click");
  EXPECT_EQ(MouseButtonDescription(MCLICK), "Mouse Middle Click");
  EXPECT_EQ(MouseButtonDescription(XCLICK4), "Backward(Mouse) ");
  EXPECT_EQ(MouseButtonDescription(XCLICK5), "Forward(Mouse)");
  EXPECT_EQ(MouseButtonDescription(WHEELUP), "Wheel up(Mouse)");
  EXPECT_EQ(MouseButtonDescription(WHEELDOWN), "Wheel Down(Mouse)");
  for (TMouseButtons Button : {BUTTON_NONE, BUTTONX1, BUTTONX2, BUTTONX3}) {
    EXPECT_EQ(MouseButtonDescription(Button), "");
  }
}

} // namespace
