// The real hook library under the platform: loaded from beside the program, hooks installed
// on this thread, input injected with SendInput.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>

#include "hook/uiHook.h"
#include "platform/sim/SimWorld.h"
#include "platform/win32/Win32Platform.h"

namespace {

using namespace hook;

void SendKey(WORD AKey, bool AUp) {
  INPUT Input{};
  Input.type = INPUT_KEYBOARD;
  Input.ki.wVk = AKey;
  Input.ki.dwFlags = AUp ? KEYEVENTF_KEYUP : 0;
  SendInput(1, &Input, sizeof(Input));
}

void SendClick() {
  INPUT Inputs[2] = {};
  Inputs[0].type = Inputs[1].type = INPUT_MOUSE;
  Inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  Inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, Inputs, sizeof(INPUT));
}

// Low-level hooks fire only while the installing thread handles messages.
template <class TCondition>
bool Pump(platform::IDesktop& ADesktop, TCondition ACondition, int AMs = 3000) {
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(AMs);
  while (!ACondition()) {
    if (std::chrono::steady_clock::now() > Deadline) {
      return false;
    }
    ADesktop.WaitAndProcess(5);
  }
  return true;
}

TEST(Win32Hook, TheRealLibraryReportsAndSwallowsKeys) {
  platform::win32::TWin32Platform Real;
  platform::TPlatform Platform = Real.Platform();
  platform::sim::TSimDialogs Dialogs; // a missing library is recorded, not shown
  auto Hook = std::make_unique<TuiHook>(
      nullptr, THookServices{Platform.Libraries, Platform.Keyboard, Dialogs});
  ASSERT_TRUE(Hook->DLLLoaded()) << "uiHook.dll beside the test program";
  std::vector<int32_t> Keys;
  Hook->SetOnHookKeyboardAllKey([&](int32_t AKey, int32_t AState, int32_t, bool&, uint32_t) {
    if (AState == 1) {
      Keys.push_back(AKey);
    }
  });
  int Blocked = 0;
  Hook->SetOnHookKeyboardKey(
      [&](int32_t, int32_t, int32_t, bool& ABlocked, uint32_t) { Blocked += ABlocked; });
  Hook->AddKeyboardHookObject(
      std::make_unique<TKeyBoardHookDetailObject>(TKeyBoardHookDetail{0x42, 0, 0, 1}));
  int Clicks = 0;
  Hook->SetOnHookMouseAllButton([&](TMouseButtons, int32_t, int16_t, bool&) { ++Clicks; });
  Hook->StartHookKeyboard();
  Hook->StartHookKeyboard(); // twice: still one hook
  Hook->StartHookMouse();

  SendKey(0x41, false);
  SendKey(0x41, true);
  SendKey(0x42, false);
  SendKey(0x42, true);
  EXPECT_TRUE(Pump(Platform.Desktop, [&] { return Keys.size() >= 2; }));
  EXPECT_EQ(Keys, (std::vector<int32_t>{0x41, 0x42}));
  EXPECT_GE(Blocked, 1);
  // Injected mouse events raise nothing, as the component's rules say.
  SendClick();
  Pump(
      Platform.Desktop, [] { return false; }, 200);
  EXPECT_EQ(Clicks, 0);
  // Released with its hooks still installed: the library removes them itself.
  Hook.reset();
  SendKey(0x41, false);
  SendKey(0x41, true);
  Pump(
      Platform.Desktop, [] { return false; }, 100);
  EXPECT_EQ(Keys.size(), 2u);
}

// A window with the keyboard focus counts the key presses that reach it.
int GKeyDowns[256] = {};

LRESULT CALLBACK CatcherProc(HWND AWindow, UINT AMsg, WPARAM AWParam, LPARAM ALParam) {
  if (AMsg == WM_KEYDOWN && AWParam < 256) {
    ++GKeyDowns[AWParam];
  }
  return DefWindowProcW(AWindow, AMsg, AWParam, ALParam);
}

TEST(Win32Hook, ASwallowedKeyNeverReachesTheFocusedWindow) {
  platform::win32::TWin32Platform Real;
  platform::TPlatform Platform = Real.Platform();
  platform::sim::TSimDialogs Dialogs;
  WNDCLASSW Class{};
  Class.lpfnWndProc = CatcherProc;
  Class.hInstance = GetModuleHandleW(nullptr);
  Class.lpszClassName = L"TMonitorKeyCatcher";
  RegisterClassW(&Class);
  const HWND Window =
      CreateWindowExW(0, Class.lpszClassName, L"catcher", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                      200, 200, nullptr, nullptr, Class.hInstance, nullptr);
  ASSERT_NE(Window, nullptr);
  SetForegroundWindow(Window);
  SetFocus(Window);
  TuiHook Hook(nullptr, THookServices{Platform.Libraries, Platform.Keyboard, Dialogs});
  ASSERT_TRUE(Hook.DLLLoaded());
  Hook.AddKeyboardHookObject(
      std::make_unique<TKeyBoardHookDetailObject>(TKeyBoardHookDetail{0x42, 0, 0, 1}));
  int Seen = 0;
  Hook.SetOnHookKeyboardKey([&](int32_t, int32_t, int32_t, bool&, uint32_t) { ++Seen; });
  Hook.StartHookKeyboard();
  SendKey(0x41, false);
  SendKey(0x41, true);
  if (!Pump(
          Platform.Desktop, [] { return GKeyDowns[0x41] > 0; }, 2000)) {
    DestroyWindow(Window);
    GTEST_SKIP() << "the test window does not get the keyboard focus here";
  }
  SendKey(0x42, false);
  SendKey(0x42, true);
  SendKey(0x43, false);
  SendKey(0x43, true);
  EXPECT_TRUE(Pump(
      Platform.Desktop, [] { return GKeyDowns[0x43] > 0; }, 2000));
  EXPECT_EQ(GKeyDowns[0x42], 0);
  EXPECT_EQ(Seen, 2);
  DestroyWindow(Window);
}

} // namespace
#endif
