#include <gtest/gtest.h>

#include "backend/sim/SimWorld.h"
#include "hook/uiHook.h"

namespace {

using namespace hook;

class RecorderTest : public ::testing::Test {
protected:
  RecorderTest()
      : Hook(std::make_unique<TuiHook>(nullptr, THookServices{World.HookLibrary, World.HookLibrary,
                                                              World.Dialogs, World.Environment})) {}
  bool Key(uint32_t AKey, bool ADown, uint32_t ATime, uint32_t AExtended = 0) {
    return World.HookLibrary.InjectKeyboard(AKey, 0x10 + AKey % 64,
                                            (ADown ? 0 : LLKHF_UP_FLAG) | AExtended, ATime);
  }
  // The list as "type:value:state" texts.
  static std::vector<std::string> Entries(const TMacroKeyList& AList) {
    std::vector<std::string> Texts;
    for (const auto& [Text, Object] : AList) {
      const TMACROKEYHOOK& Entry = Object->FMacroKey;
      Texts.push_back(std::to_string(Entry.nKeyType) + ":" + std::to_string(Entry.nKeyValue) + ":" +
                      std::to_string(Entry.nKeyState));
    }
    return Texts;
  }
  platform::sim::TSimWorld World;
  std::unique_ptr<TuiHook> Hook;
};

TEST_F(RecorderTest, SingleKeysAreNamedAndTheHandlerDecidesTheBlock) {
  std::vector<std::string> Names;
  Hook->SetOnRecordKeyboardSingleKey(
      [&](int32_t, uint32_t, int32_t AState, int32_t, const std::string& AName, bool& ABlocked) {
        Names.push_back(AName + (AState ? "+" : "-"));
        ABlocked = AState == 1;
      });
  Hook->RecordKeyboardSingleKey();
  EXPECT_TRUE(Key(0x0D, true, 1, LLKHF_EXTENDED_FLAG));
  EXPECT_FALSE(Key(0x0D, false, 2, LLKHF_EXTENDED_FLAG));
  EXPECT_EQ(Names, (std::vector<std::string>{"ENTER+", "ENTER-"}));
  Hook->StopRecordKeyboardSingleKey();
  EXPECT_FALSE(World.HookLibrary.KeyboardHookInstalled());
}

TEST_F(RecorderTest, CombinationsFormWithinOneHundredMilliseconds) {
  std::vector<std::string> Combos;
  Hook->SetOnRecordKeyboardComboKey([&](int32_t AKey1, int32_t, int32_t AKey2, int32_t,
                                        int32_t AModifier, const std::string& AText) {
    Combos.push_back(std::to_string(AKey1) + "," + std::to_string(AKey2) + "," +
                     std::to_string(AModifier) + "," + AText);
  });
  Hook->RecordKeyboardComboKey();
  World.HookLibrary.SetKeyDown(0xA2, true); // left Ctrl held
  EXPECT_FALSE(Key(0xA2, true, 1000));      // the modifier itself passes and raises nothing
  EXPECT_TRUE(Key(0x41, true, 1200));
  EXPECT_TRUE(Key(0x42, true, 1300));
  EXPECT_FALSE(Key(0x42, false, 1310)); // key-ups are ignored
  EXPECT_TRUE(Key(0x43, true, 1350));   // a third key starts a new combination
  World.HookLibrary.SetKeyDown(0xA2, false);
  World.HookLibrary.SetKeyDown(0xA1, true);
  EXPECT_TRUE(Key(0x44, true, 5000));
  EXPECT_TRUE(Key(0x44, true, 5050)); // the same key again is the first key anew
  EXPECT_EQ(Combos, (std::vector<std::string>{"65,0,2,Ctrl+A", "65,66,2,Ctrl+A+B", "67,0,2,Ctrl+C",
                                              "68,0,4,Shift+D", "68,0,4,Shift+D"}));
  EXPECT_EQ(Hook->ComboKeyString(), "Shift+D");

  // The second variant keeps the scan codes.
  Hook->SetOnRecordKeyboardComboKey(TOnRecordKeyboardComboKey());
  int32_t Scan1 = 0;
  Hook->SetOnRecordKeyboardComboKey2([&](int32_t, int32_t AScan1, int32_t, int32_t, int32_t,
                                         int32_t, int32_t, const std::string&) { Scan1 = AScan1; });
  Hook->RecordKeyboardComboKey();
  Key(0x41, true, 9000);
  EXPECT_EQ(Scan1, static_cast<int32_t>(0x10 + 0x41 % 64));
}

TEST_F(RecorderTest, EachModifierHasItsOwnBitAndTheTextsKeepOneOrder) {
  std::string Last;
  Hook->SetOnRecordKeyboardComboKey(
      [&](int32_t, int32_t, int32_t, int32_t, int32_t AModifier, const std::string& AText) {
        Last = std::to_string(AModifier) + "," + AText;
      });
  Hook->RecordKeyboardComboKey();
  struct TModifierKey {
    int32_t Key;
    const char* Expected;
  };
  // Left and right key of each: Ctrl 2, Alt 1, Win 8, Shift 4.
  const TModifierKey cKeys[] = {{0xA2, "2,Ctrl+A"},  {0xA3, "2,Ctrl+A"}, {0xA4, "1,Alt+A"},
                                {0xA5, "1,Alt+A"},   {0x5B, "8,Win+A"},  {0x5C, "8,Win+A"},
                                {0xA0, "4,Shift+A"}, {0xA1, "4,Shift+A"}};
  uint32_t Time = 1000;
  for (const TModifierKey& Modifier : cKeys) {
    World.HookLibrary.SetKeyDown(Modifier.Key, true);
    EXPECT_TRUE(Key(0x41, true, Time += 1000));
    World.HookLibrary.SetKeyDown(Modifier.Key, false);
    EXPECT_EQ(Last, Modifier.Expected) << std::hex << Modifier.Key;
  }
  // All four, held in the reverse of the text's order: the text keeps its own.
  for (const int32_t Held : {0xA1, 0x5C, 0xA5, 0xA3}) {
    World.HookLibrary.SetKeyDown(Held, true);
  }
  EXPECT_TRUE(Key(0x41, true, Time += 1000));
  EXPECT_EQ(Last, "15,Ctrl+Alt+Win+Shift+A");
}

TEST_F(RecorderTest, KeyboardMacrosKeepDelaysBetweenTenAndTwoThousandMilliseconds) {
  std::vector<std::string> Texts;
  Hook->SetOnRecordKeyboardMacroKey([&](int32_t, int32_t, int32_t, int32_t, double,
                                        const std::string& AName, const std::string& AState,
                                        TMacroKeyList&) { Texts.push_back(AName + " " + AState); });
  Hook->RecordKeyboardMacroKey();
  EXPECT_TRUE(Key(0x41, true, 1000));
  Key(0x41, false, 1005); // 5 ms: no delay
  Key(0x42, true, 1505);  // 500 ms: delay
  Key(0x42, false, 4505); // 3 s: no delay
  Key(0x43, true, 4516);  // 11 ms: delay
  Key(0x43, false, 4526); // 10 ms: no delay
  Key(0x44, true, 4526 + 1999);
  EXPECT_EQ(Entries(Hook->MacroKeyList()),
            (std::vector<std::string>{"1:65:1", "1:65:0", "0:500:0", "1:66:1", "1:66:0", "0:11:0",
                                      "1:67:1", "1:67:0", "0:1999:0", "1:68:1"}));
  EXPECT_EQ(Texts[0], "A Down");
  EXPECT_EQ(Texts[2], "500 ms");
  EXPECT_EQ(Hook->MacroKeyList()[2].first, "2");
  // A key whose code equals the delay just recorded is recorded all the same.
  Hook->RecordKeyboardMacroKey();
  Key(0x41, true, 100);
  Key(0x41, false, 165); // delay 65 = 0x41
  EXPECT_EQ(Entries(Hook->MacroKeyList()),
            (std::vector<std::string>{"1:65:1", "0:65:0", "1:65:0"}));

  std::size_t Handed = 0;
  std::unique_ptr<TMacroKeyObject> Kept;
  Hook->SetOnStopRecordKeyboardMacroKey([&](TMacroKeyList& AList) {
    Handed = AList.size();
    Kept = std::move(AList[0].second);
  });
  Hook->StopRecordKeyboardMacroKey();
  EXPECT_EQ(Handed, 3u);
  EXPECT_TRUE(Hook->MacroKeyList().empty());
  ASSERT_TRUE(Kept);
  EXPECT_EQ(Kept->FMacroKey.nKeyValue, 0x41);
}

TEST_F(RecorderTest, TheExRecorderMeasuresHoldsAndCapsDelays) {
  std::vector<uint32_t> Totals;
  Hook->SetOnRecordKeyboardMacroKeyEx([&](int32_t, int32_t, int32_t, int32_t, double,
                                          uint32_t ATotal, const std::string&, const std::string&,
                                          TMacroKeyList&) { Totals.push_back(ATotal); });
  Hook->RecordKeyboardMacroKeyEx();
  Key(0x41, true, 1000);
  for (uint32_t T = 1500; T <= 2100; T += 100) {
    Key(0x41, true, T); // auto-repeats
  }
  Key(0x41, false, 2200);
  Key(0x42, true, 2200 + 70000);
  EXPECT_EQ(Entries(Hook->MacroKeyList()),
            (std::vector<std::string>{"1:65:1", "0:1200:0", "1:65:0", "0:65535:0", "1:66:1"}));
  EXPECT_EQ(Totals, (std::vector<uint32_t>{0, 1200, 65535}));

  // Past 500 entries keys pass through unrecorded.
  Hook->RecordKeyboardMacroKeyEx();
  uint32_t Time = 10;
  for (uint32_t Step = 0; Hook->MacroKeyList().size() <= cMaxExMacroEntries; ++Step) {
    const uint32_t Digit = 0x30 + Step % 10;
    Time += 20;
    Key(Digit, true, Time);
    Time += 20;
    Key(Digit, false, Time);
  }
  const std::size_t Full = Hook->MacroKeyList().size();
  EXPECT_FALSE(Key(0x41, true, Time + 20));
  EXPECT_EQ(Hook->MacroKeyList().size(), Full);
}

TEST_F(RecorderTest, MouseMacrosTimeEveryEventAfterTheFirst) {
  std::vector<std::string> Texts;
  Hook->SetOnRecordMouseMacroKey([&](int32_t AType, TMouseButtons, int32_t, uint16_t AX, uint16_t,
                                     double, const std::string& AName, const std::string& AState,
                                     TMouseMacroKeyList&) {
    Texts.push_back(std::to_string(AType) + " " + AName + " " + AState + " " + std::to_string(AX));
  });
  Hook->RecordMouseMacro();
  EXPECT_FALSE(World.HookLibrary.InjectMouse(WM_MOUSEMOVE_MSG, 5, 6, 0, 0, 1000));
  World.HookLibrary.InjectMouse(WM_XBUTTONDOWN_MSG, 7, 8, 1u << 16, 0, 1040);
  World.HookLibrary.InjectMouse(WM_XBUTTONUP_MSG, 7, 8, 2u << 16, 0, 1040);
  World.HookLibrary.InjectMouse(WM_MOUSEWHEEL_MSG, -3, 9, static_cast<uint32_t>(-120) << 16, 0,
                                1100);
  World.HookLibrary.InjectMouse(WM_LBUTTONDOWN_MSG, 70000, 9, 0, 0, 900); // backwards: dropped
  World.HookLibrary.InjectMouse(WM_LBUTTONDOWN_MSG, 1, 1, 0, LLMHF_INJECTED_FLAG, 1200); // injected
  EXPECT_EQ(Texts, (std::vector<std::string>{"0 40 ms 7", "1 Backward(Mouse)  Down 7", "0 0 ms 7",
                                             "1 Forward(Mouse) Up 7", "0 60 ms 0",
                                             "1 Wheel up(Mouse) Down 0"}));
  const auto& List = Hook->MouseMacroKeyList();
  ASSERT_EQ(List.size(), 6u);
  EXPECT_EQ(List[1].second->FMOUSEMacroKey.TimeValue, 40);
  EXPECT_EQ(List[5].second->FMOUSEMacroKey.MouseButton, WHEELUP);
  int Stopped = 0;
  Hook->SetOnStopRecordMouseMacroKey(
      [&](TMouseMacroKeyList& AList) { Stopped = static_cast<int>(AList.size()); });
  Hook->StopRecordMouseMacro();
  EXPECT_EQ(Stopped, 6);
  EXPECT_EQ(Hook->MouseMacroKeyList().size(), 6u); // kept until the next recording
  Hook->RecordMouseMacro();
  EXPECT_TRUE(Hook->MouseMacroKeyList().empty());
}

TEST_F(RecorderTest, RecordingReplacesTheRuleHookOfItsKind) {
  int RuleCalls = 0;
  Hook->SetOnHookKeyboardAllKey([&](int32_t, int32_t, int32_t, bool&, uint32_t) { ++RuleCalls; });
  Hook->StartHookKeyboard();
  Key(0x41, true, 1);
  Hook->SetOnRecordKeyboardMacroKey([](int32_t, int32_t, int32_t, int32_t, double,
                                       const std::string&, const std::string&, TMacroKeyList&) {});
  Hook->RecordKeyboardMacroKey();
  Key(0x41, true, 2);
  EXPECT_EQ(RuleCalls, 1);
  EXPECT_EQ(Hook->MacroKeyList().size(), 1u);
}

} // namespace
