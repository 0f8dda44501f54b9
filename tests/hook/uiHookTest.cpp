#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "backend/sim/SimWorld.h"
#include "hook/uiHook.h"
#include "rtl/Paths.h"
#include "support/Wait.h"

namespace {

using namespace hook;

std::unique_ptr<TMouseHookDetailObject> MouseRule(TMouseButtons AButton, TMouseButtonStateSet ASet,
                                                  TMouseButtons AModified = BUTTON_NONE) {
  return std::make_unique<TMouseHookDetailObject>(
      TMouseHookDetail{AButton, ASet, AModified, HOOK_DOWN});
}

std::unique_ptr<TKeyBoardHookDetailObject> KeyRule(int32_t AKey, int32_t AScan, int32_t AExtended,
                                                   int32_t ABlock) {
  return std::make_unique<TKeyBoardHookDetailObject>(
      TKeyBoardHookDetail{AKey, AScan, AExtended, ABlock});
}

constexpr uint32_t cWheelUp = 120u << 16;
constexpr uint32_t cWheelDown = static_cast<uint32_t>(-120) << 16;

class HookTest : public ::testing::Test {
protected:
  std::unique_ptr<TuiHook> MakeHook() {
    return std::make_unique<TuiHook>(nullptr, THookServices{World.HookLibrary, World.HookLibrary,
                                                            World.Dialogs, World.Environment});
  }
  platform::sim::TSimWorld World;
};

TEST_F(HookTest, TheLibraryLoadsOnceWithItsFourExports) {
  auto Hook = MakeHook();
  EXPECT_TRUE(Hook->DLLLoaded());
  EXPECT_TRUE(World.HookLibrary.Loaded());
  EXPECT_TRUE(World.Dialogs.MessageBoxes().empty());
  // A second component shares the process-wide binding.
  auto Second = MakeHook();
  EXPECT_TRUE(Second->DLLLoaded());
  EXPECT_EQ(World.HookLibrary.LoadAttempts(), 1);
  Hook->StartHookMouse();
  Hook->StartHookMouse();
  EXPECT_TRUE(World.HookLibrary.MouseHookInstalled());
  EXPECT_EQ(World.HookLibrary.MouseEnables(), 2);
  // Destroying one component removes the hooks and unloads the library for all.
  Hook.reset();
  EXPECT_FALSE(World.HookLibrary.Loaded());
  EXPECT_FALSE(World.HookLibrary.MouseHookInstalled());
  Second->StartHookMouse();
  EXPECT_FALSE(World.HookLibrary.MouseHookInstalled());
}

TEST_F(HookTest, TheLibraryIsLoadedByItsFullPathInTheProgramFolderOnly) {
  auto Hook = MakeHook();
  EXPECT_TRUE(Hook->DLLLoaded());
  EXPECT_TRUE(World.Dialogs.MessageBoxes().empty());
  Hook.reset();
  // What the platform's search would find elsewhere (a bare name or a relative path from the
  // current folder or the PATH, the same name in another folder) is never the library.
  const std::string Documents =
      rtl::IncludeTrailingPathDelimiter(World.Environment.DocumentsFolder());
  for (const std::string& Name :
       {std::string(cHookLibraryName), std::string(".") + rtl::PathDelim + cHookLibraryName,
        Documents + cHookLibraryName, World.Environment.ModuleFolder() + "x" + cHookLibraryName}) {
    EXPECT_EQ(LoadHookLibrary(World.HookLibrary, Name), 0) << Name;
  }
  EXPECT_FALSE(World.HookLibrary.Loaded());
  EXPECT_EQ(LoadHookLibrary(World.HookLibrary, World.Environment.ModuleFolder() + cHookLibraryName),
            1);
  UnloadHookLibrary();
}

TEST_F(HookTest, AMissingLibraryIsShownOnceAndAMissingExportQuietly) {
  World.HookLibrary.SetMissing(true);
  auto Hook = MakeHook();
  EXPECT_FALSE(Hook->DLLLoaded());
  ASSERT_EQ(World.Dialogs.MessageBoxes().size(), 1u);
  EXPECT_EQ(World.Dialogs.MessageBoxes()[0].Text, "uiHook.dll can not be found!");
  EXPECT_EQ(World.Dialogs.MessageBoxes()[0].Caption, "Error");
  EXPECT_EQ(World.Dialogs.MessageBoxes()[0].Icon, platform::TMessageBoxIcon::Error);
  Hook->StartHookMouse();
  Hook->AddMouseHookObject(MouseRule(WHEELUP, StateBit(MOUSEWHEEL)));
  EXPECT_EQ(Hook->MouseHookObjects().size(), 1u);
  Hook->StopHookMouse();
  Hook.reset();

  World.HookLibrary.SetMissing(false);
  World.HookLibrary.SetMissingExport("DisableMouseHook");
  auto Partial = MakeHook();
  EXPECT_FALSE(Partial->DLLLoaded());
  EXPECT_FALSE(World.HookLibrary.Loaded());
  EXPECT_EQ(World.Dialogs.MessageBoxes().size(), 1u);
}

TEST_F(HookTest, WheelRulesMatchTheFirstRuleNotLowerThanTheButton) {
  auto Hook = MakeHook();
  std::vector<std::string> Raised;
  Hook->SetOnHookMouseButton([&](TMouseButtons AButton, int32_t AState, bool& ABlocked) {
    Raised.push_back(std::to_string(AButton) + "/" + std::to_string(AState));
    ABlocked = true;
  });
  Hook->StartHookMouse();
  // No rule: nothing raised, nothing blocked.
  EXPECT_FALSE(World.HookLibrary.InjectMouse(WM_MOUSEWHEEL_MSG, 0, 0, cWheelUp, 0, 1));
  Hook->AddMouseHookObject(MouseRule(WHEELDOWN, StateBit(MOUSEWHEEL)));
  EXPECT_TRUE(World.HookLibrary.InjectMouse(WM_MOUSEWHEEL_MSG, 0, 0, cWheelUp, 0, 2));
  EXPECT_TRUE(World.HookLibrary.InjectMouse(WM_MOUSEWHEEL_MSG, 0, 0, 240u << 16, 0, 3));
  EXPECT_TRUE(World.HookLibrary.InjectMouse(WM_MOUSEWHEEL_MSG, 0, 0, cWheelDown, 0, 4));
  EXPECT_TRUE(World.HookLibrary.InjectMouse(WM_MOUSEWHEEL_MSG, 0, 0,
                                            static_cast<uint32_t>(-240) << 16, 0, 5));
  // Delta 0 is BUTTON_NONE: the rule matches, and its ModifiedFunction (BUTTON_NONE) equals
  // the button, so the event passes silently.
  EXPECT_FALSE(World.HookLibrary.InjectMouse(WM_MOUSEWHEEL_MSG, 0, 0, 0, 0, 6));
  EXPECT_EQ(Raised, (std::vector<std::string>{"6/1", "6/1", "7/1", "7/1"}));
  // A click is not in the rule's set.
  EXPECT_FALSE(World.HookLibrary.InjectMouse(WM_LBUTTONDOWN_MSG, 0, 0, 0, 0, 7));

  // With [WHEELUP passing silently, WHEELDOWN], wheel up stops at the first rule.
  Hook->RemoveAllMouseHookObject();
  Hook->AddMouseHookObject(MouseRule(WHEELUP, StateBit(MOUSEWHEEL), WHEELUP));
  Hook->AddMouseHookObject(MouseRule(WHEELDOWN, StateBit(MOUSEWHEEL)));
  Raised.clear();
  EXPECT_FALSE(World.HookLibrary.InjectMouse(WM_MOUSEWHEEL_MSG, 0, 0, cWheelUp, 0, 8));
  EXPECT_TRUE(World.HookLibrary.InjectMouse(WM_MOUSEWHEEL_MSG, 0, 0, cWheelDown, 0, 9));
  EXPECT_EQ(Raised, std::vector<std::string>{"7/1"});
}

TEST_F(HookTest, ButtonsStatesInjectedEventsAndMoves) {
  auto Hook = MakeHook();
  std::vector<std::string> All;
  int Moves = 0;
  Hook->SetOnHookMouseAllButton([&](TMouseButtons AButton, int32_t AState, int16_t AEx, bool&) {
    All.push_back(std::to_string(AButton) + "/" + std::to_string(AState) + "/" +
                  std::to_string(AEx));
  });
  Hook->SetOnHookMouseMove([&](int32_t AX, int32_t AY, double ATime) {
    EXPECT_EQ(AX, 10);
    EXPECT_EQ(AY, -5);
    EXPECT_EQ(ATime, 77.0);
    ++Moves;
  });
  Hook->AddMouseHookObject(MouseRule(BUTTONX3, 0xFFFF));
  Hook->SetOnHookMouseButton([](TMouseButtons, int32_t, bool& ABlocked) { ABlocked = true; });
  Hook->StartHookMouse();
  World.HookLibrary.InjectMouse(WM_LBUTTONUP_MSG, 0, 0, 0, 0, 1);
  World.HookLibrary.InjectMouse(WM_RBUTTONDOWN_MSG, 0, 0, 0, 0, 1);
  World.HookLibrary.InjectMouse(WM_MBUTTONUP_MSG, 0, 0, 0, 0, 1);
  World.HookLibrary.InjectMouse(WM_XBUTTONDOWN_MSG, 0, 0, 1u << 16, 0, 1);
  World.HookLibrary.InjectMouse(WM_XBUTTONUP_MSG, 0, 0, 2u << 16, 0, 1);
  World.HookLibrary.InjectMouse(0x203, 0, 0, 0, 0, 1); // double click
  // Injected events raise nothing, moves included.
  EXPECT_FALSE(World.HookLibrary.InjectMouse(WM_LBUTTONDOWN_MSG, 0, 0, 0, LLMHF_INJECTED_FLAG, 1));
  EXPECT_FALSE(World.HookLibrary.InjectMouse(WM_MOUSEMOVE_MSG, 10, -5, 0, LLMHF_INJECTED_FLAG, 77));
  EXPECT_EQ(All, (std::vector<std::string>{"1/0/0", "2/1/0", "3/0/0", "4/1/1", "5/0/2", "0/1/0"}));
  EXPECT_EQ(Moves, 0);
}

TEST_F(HookTest, AMoveIsNeitherMatchedNorBlocked) {
  auto Hook = MakeHook();
  // A rule for every message kind, moves included, that changes any button, and handlers that
  // block whatever reaches them.
  Hook->AddMouseHookObject(MouseRule(BUTTONX3, 0xFFFF, LCLICK));
  std::vector<std::string> Raised;
  Hook->SetOnHookMouseButton([&](TMouseButtons AButton, int32_t, bool& ABlocked) {
    Raised.push_back("rule " + std::to_string(AButton));
    ABlocked = true;
  });
  Hook->SetOnHookMouseAllButton([&](TMouseButtons AButton, int32_t, int16_t, bool& ABlocked) {
    Raised.push_back("all " + std::to_string(AButton));
    ABlocked = true;
  });
  Hook->StartHookMouse();
  // The positive control: the same rule and handlers block a wheel turn.
  EXPECT_TRUE(World.HookLibrary.InjectMouse(WM_MOUSEWHEEL_MSG, 0, 0, cWheelUp, 0, 1));
  EXPECT_EQ(Raised, (std::vector<std::string>{"all 6", "rule 6"}));
  // Moves pass untouched, without a move handler and with one.
  Raised.clear();
  EXPECT_FALSE(World.HookLibrary.InjectMouse(WM_MOUSEMOVE_MSG, 10, -5, 0, 0, 2));
  int Moves = 0;
  Hook->SetOnHookMouseMove([&](int32_t, int32_t, double) { ++Moves; });
  EXPECT_FALSE(World.HookLibrary.InjectMouse(WM_MOUSEMOVE_MSG, 10, -5, 0, 0, 3));
  EXPECT_EQ(Moves, 1);
  EXPECT_TRUE(Raised.empty());
}

TEST_F(HookTest, KeyboardRulesMatchByKeyOrScanCodeWithTheExtendedFlag) {
  auto Hook = MakeHook();
  std::vector<std::string> Seen;
  Hook->SetOnHookKeyboardKey(
      [&](int32_t AKey, int32_t AState, int32_t AExtended, bool& ABlocked, uint32_t AScan) {
        Seen.push_back(std::to_string(AKey) + "/" + std::to_string(AState) + "/" +
                       std::to_string(AExtended) + "/" + std::to_string(AScan) +
                       (ABlocked ? "/blocked" : ""));
      });
  Hook->AddKeyboardHookObject(KeyRule(0x41, 0, 0, 1));
  Hook->AddKeyboardHookObject(KeyRule(0, 0x1D, 1, 0));
  Hook->StartHookKeyboard();
  EXPECT_TRUE(World.HookLibrary.InjectKeyboard(0x41, 0x1E, 0, 1));
  EXPECT_TRUE(World.HookLibrary.InjectKeyboard(0x41, 0x1E, LLKHF_UP_FLAG, 2));
  EXPECT_FALSE(
      World.HookLibrary.InjectKeyboard(0x41, 0x1E, LLKHF_EXTENDED_FLAG, 3)); // flag differs
  EXPECT_FALSE(
      World.HookLibrary.InjectKeyboard(0xA3, 0x1D, LLKHF_EXTENDED_FLAG, 4)); // scan code match
  EXPECT_FALSE(World.HookLibrary.InjectKeyboard(0xA2, 0x1D, 0, 5));
  EXPECT_EQ(Seen,
            (std::vector<std::string>{"65/1/0/30/blocked", "65/0/0/30/blocked", "163/1/1/29"}));
  // A -1 rule first ends every scan.
  Hook->RemoveAllKeyboardHookObject();
  Hook->AddKeyboardHookObject(KeyRule(-1, 0, 0, 0));
  Hook->AddKeyboardHookObject(KeyRule(0x41, 0, 0, 1));
  EXPECT_FALSE(World.HookLibrary.InjectKeyboard(0x41, 0x1E, 0, 6));
  EXPECT_EQ(Hook->KeyboardHookObjects()[1].first, "65");
}

TEST_F(HookTest, WithoutHandlersRulesNeitherBlockNorChange) {
  auto Hook = MakeHook();
  Hook->AddMouseHookObject(MouseRule(WHEELDOWN, StateBit(MOUSEWHEEL)));
  Hook->AddKeyboardHookObject(KeyRule(0x41, 0, 0, 1));
  Hook->StartHookMouse();
  Hook->StartHookKeyboard();
  EXPECT_TRUE(World.HookLibrary.MouseHookInstalled());
  EXPECT_FALSE(World.HookLibrary.InjectMouse(WM_MOUSEWHEEL_MSG, 0, 0, cWheelUp, 0, 1));
  EXPECT_FALSE(World.HookLibrary.InjectKeyboard(0x41, 0x1E, 0, 1));
  Hook->StopHookKeyboard();
  EXPECT_FALSE(World.HookLibrary.KeyboardHookInstalled());
}

TEST_F(HookTest, AThrowingHandlerLetsTheEventPass) {
  auto Hook = MakeHook();
  Hook->SetOnHookKeyboardAllKey([](int32_t, int32_t, int32_t, bool& ABlocked, uint32_t) {
    ABlocked = true;
    throw std::runtime_error("handler failed");
  });
  Hook->StartHookKeyboard();
  bool Blocked = true;
  EXPECT_NO_THROW(Blocked = World.HookLibrary.InjectKeyboard(0x41, 0x1E, 0, 1));
  EXPECT_FALSE(Blocked);
}

TEST_F(HookTest, HookCallsRunOnTheLibrarysThreadAndAreAnsweredWhileTheMainThreadSleeps) {
  auto Hook = MakeHook();
  Hook->AddMouseHookObject(MouseRule(WHEELDOWN, StateBit(MOUSEWHEEL)));
  std::thread::id HandlerThread;
  Hook->SetOnHookMouseButton([&](TMouseButtons AButton, int32_t, bool& ABlocked) {
    HandlerThread = std::this_thread::get_id();
    ABlocked = AButton == WHEELUP;
  });
  Hook->StartHookMouse();
  std::thread::id Injector;
  bool UpBlocked = false;
  bool DownBlocked = true;
  std::atomic<bool> Answered{false};
  std::thread Injecting([&] {
    Injector = std::this_thread::get_id();
    UpBlocked = World.HookLibrary.InjectMouse(WM_MOUSEWHEEL_MSG, 0, 0, cWheelUp, 0, 1);
    DownBlocked = World.HookLibrary.InjectMouse(WM_MOUSEWHEEL_MSG, 0, 0, cWheelDown, 0, 2);
    Answered = true;
  });
  // The main thread sleeps, as it does in its blocking work, and handles nothing meanwhile.
  EXPECT_TRUE(test::WaitUntil([&] { return Answered.load(); }, std::chrono::seconds(30)))
      << "a hook call waited for the main thread";
  Injecting.join();
  EXPECT_NE(HandlerThread, std::thread::id());
  EXPECT_NE(HandlerThread, std::this_thread::get_id());
  EXPECT_NE(HandlerThread, Injector);
  // The rule's decision crosses back to the injecting thread, both ways.
  EXPECT_TRUE(UpBlocked);
  EXPECT_FALSE(DownBlocked);

  // A handler may stop its own hook: the library's thread does not wait for itself, the event
  // keeps its decision and the next one finds no hook.
  Hook->SetOnHookMouseButton([&](TMouseButtons, int32_t, bool& ABlocked) {
    Hook->StopHookMouse();
    ABlocked = true;
  });
  EXPECT_TRUE(World.HookLibrary.InjectMouse(WM_MOUSEWHEEL_MSG, 0, 0, cWheelUp, 0, 3));
  EXPECT_FALSE(World.HookLibrary.MouseHookInstalled());
  EXPECT_FALSE(World.HookLibrary.InjectMouse(WM_MOUSEWHEEL_MSG, 0, 0, cWheelUp, 0, 4));
}

// The main thread changes rules and restarts hooks and recorders while another thread's events
// are being decided: every event that reached a handler comes back with its decision, and
// every one that did not passes.
TEST_F(HookTest, RuleAndRecorderChangesDuringHookCallsLoseNoDecision) {
  auto Hook = MakeHook();
  std::atomic<bool> MouseDecided{false};
  Hook->SetOnHookMouseButton([&](TMouseButtons, int32_t, bool& ABlocked) {
    MouseDecided = true;
    ABlocked = true;
  });
  // A key is blocked by its rule or swallowed by the recorder.
  std::atomic<bool> KeyDecided{false};
  Hook->SetOnHookKeyboardKey(
      [&](int32_t, int32_t, int32_t, bool& ABlocked, uint32_t) { KeyDecided = ABlocked; });
  std::atomic<int> Misrecorded{0};
  Hook->SetOnRecordKeyboardMacroKey([&](int32_t AType, int32_t AKey, int32_t, int32_t, double,
                                        const std::string&, const std::string&,
                                        TMacroKeyList& AList) {
    if (AType != 1) {
      return;
    }
    KeyDecided = true;
    // Every entry under its position, the last the key just recorded.
    for (std::size_t I = 0; I < AList.size(); ++I) {
      Misrecorded += AList[I].first != std::to_string(I) || !AList[I].second;
    }
    if (AList.empty() || AList.back().second->FMacroKey.nKeyValue != AKey) {
      ++Misrecorded;
    }
  });
  Hook->StartHookMouse();
  constexpr int cEvents = 4000;
  constexpr int cMisses = 16;
  std::atomic<bool> Finished{false};
  int Lost = 0;
  int Blocked = 0;
  int Passed = 0;
  std::thread Injecting([&] {
    for (int I = 0; I < cEvents; ++I) {
      const auto Time = static_cast<uint32_t>(I * 20 + 1);
      MouseDecided = false;
      const bool Wheel = World.HookLibrary.InjectMouse(WM_MOUSEWHEEL_MSG, 0, 0, cWheelUp, 0, Time);
      KeyDecided = false;
      const bool Key =
          World.HookLibrary.InjectKeyboard(0x41, 0x1E, I % 2 != 0 ? LLKHF_UP_FLAG : 0, Time);
      Lost += (Wheel != MouseDecided) + (Key != KeyDecided);
      Blocked += Wheel + Key;
      Passed += !Wheel + !Key;
    }
    Finished = true;
  });
  for (int Round = 0; !Finished; ++Round) {
    // Lists long enough that scans and changes overlap: rules that miss, then the one that
    // matches.
    Hook->RemoveAllMouseHookObject();
    Hook->RemoveAllKeyboardHookObject();
    for (int Miss = 0; Miss < cMisses; ++Miss) {
      Hook->AddMouseHookObject(MouseRule(BUTTONX3, StateBit(MOUSEHWHEEL)));
      Hook->AddKeyboardHookObject(KeyRule(0x100 + Miss, 0, 0, 1));
    }
    Hook->AddMouseHookObject(MouseRule(WHEELDOWN, StateBit(MOUSEWHEEL)));
    Hook->AddKeyboardHookObject(KeyRule(0x41, 0, 0, 1));
    // Mostly a recording restarted under its own running recorder, at times the rule hook.
    if (Round % 32 == 0) {
      Hook->StartHookKeyboard();
    } else if (Round % 2 == 0) {
      Hook->RecordKeyboardMacroKey();
    }
    if (Round % 16 == 4) {
      Hook->StopHookMouse();
      Hook->StartHookMouse();
    }
  }
  Injecting.join();
  EXPECT_EQ(Lost, 0);
  EXPECT_EQ(Misrecorded, 0);
  // Both outcomes happened: the changes were made while events were being decided.
  EXPECT_GT(Blocked, 0);
  EXPECT_GT(Passed, 0);
}

// The rules are read as copies taken under the rules' lock: another thread may replace them
// meanwhile (ThreadSanitizer watches the lane that runs this). Each copy is whole: empty, or
// the one rule with its text.
TEST_F(HookTest, TheRulesAreReadWhileAnotherThreadReplacesThem) {
  auto Hook = MakeHook();
  std::atomic<bool> Done{false};
  std::thread Writer([&] {
    for (int I = 0; I < 2000; ++I) {
      Hook->AddMouseHookObject(MouseRule(WHEELUP, StateBit(MOUSEWHEEL)));
      Hook->RemoveAllMouseHookObject();
    }
    Done = true;
  });
  bool Whole = true;
  while (!Done) {
    const auto Rules = Hook->MouseHookObjects();
    Whole =
        Whole && (Rules.empty() || (Rules.size() == 1 && Rules[0].second.MouseButton == WHEELUP &&
                                    Rules[0].first == std::to_string(static_cast<int>(WHEELUP))));
  }
  Writer.join();
  EXPECT_TRUE(Whole);
  EXPECT_TRUE(Hook->MouseHookObjects().empty());
  Hook->AddMouseHookObject(MouseRule(WHEELUP, StateBit(MOUSEWHEEL)));
  EXPECT_EQ(Hook->MouseHookObjects().size(), 1u);
}

} // namespace
