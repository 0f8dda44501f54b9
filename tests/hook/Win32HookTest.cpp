// The real hook library under the platform: loaded from beside the program and
// from nowhere else, hooks on a thread of the library's own, input injected with
// SendInput.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "backend/sim/SimWorld.h"
#include "backend/win32/Win32Platform.h"
#include "hook/HookLoadProbe.h"
#include "hook/uiHook.h"
#include "support/Process.h"
#include "support/Session.h"
#include "support/TempFolder.h"
#include "support/TestHost.h"

namespace {

using namespace hook;
namespace fs = std::filesystem;

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

// The hooks answer on the library's thread; this thread handles messages only for its own
// windows (test::PumpUntil).
using test::PumpUntil;

// Waits without handling any message, as the main thread does in its blocking work.
using test::WaitUntil;

TEST(Win32Hook, TheRealLibraryReportsAndSwallowsKeys) {
  platform::win32::TWin32Platform Real;
  platform::TPlatform Platform = Real.Platform();
  platform::sim::TSimDialogs Dialogs; // a missing library is recorded, not shown
  auto Hook = std::make_unique<TuiHook>(
      nullptr, THookServices{Platform.Libraries, Platform.Keyboard, Dialogs, Platform.Environment});
  ASSERT_TRUE(Hook->DLLLoaded()) << "uiHook.dll beside the test program";
  // The handlers run on the library's thread.
  std::mutex Lock;
  std::vector<int32_t> Keys;
  const auto KeysSeen = [&] {
    std::lock_guard<std::mutex> Guard(Lock);
    return Keys;
  };
  Hook->SetOnHookKeyboardAllKey([&](int32_t AKey, int32_t AState, int32_t, bool&, uint32_t) {
    if (AState == 1) {
      std::lock_guard<std::mutex> Guard(Lock);
      Keys.push_back(AKey);
    }
  });
  std::atomic<int> Blocked{0};
  Hook->SetOnHookKeyboardKey(
      [&](int32_t, int32_t, int32_t, bool& ABlocked, uint32_t) { Blocked += ABlocked; });
  Hook->AddKeyboardHookObject(
      std::make_unique<TKeyBoardHookDetailObject>(TKeyBoardHookDetail{0x42, 0, 0, 1}));
  Hook->StartHookKeyboard();
  Hook->StartHookKeyboard(); // twice: still one hook

  SendKey(0x41, false);
  SendKey(0x41, true);
  SendKey(0x42, false);
  SendKey(0x42, true);
  EXPECT_TRUE(WaitUntil([&] { return KeysSeen().size() >= 2; }));
  EXPECT_EQ(KeysSeen(), (std::vector<int32_t>{0x41, 0x42}));
  EXPECT_GE(Blocked, 1);
  // Destroyed with its hook enabled: the hook goes with it.
  Hook.reset();
  SendKey(0x41, false);
  SendKey(0x41, true);
  Sleep(100);
  EXPECT_EQ(KeysSeen().size(), 2u);
}

// Wine's own entry for device input: what it sends reaches the low-level hooks
// without the injected flag, as a real mouse's input does (SendInput's is
// always flagged). Null where the platform has no such entry.
using TDeviceInput = BOOL(CDECL*)(HWND, const INPUT*, const void*);

TDeviceInput DeviceInput() {
  const HMODULE Module = GetModuleHandleW(L"win32u.dll");
  return Module != nullptr ? reinterpret_cast<TDeviceInput>(reinterpret_cast<void*>(
                                 GetProcAddress(Module, "__wine_send_input")))
                           : nullptr;
}

TEST(Win32Hook, InjectedClicksRaiseNothingWhileTheMouseHookReportsDeviceInput) {
  platform::win32::TWin32Platform Real;
  platform::TPlatform Platform = Real.Platform();
  platform::sim::TSimDialogs Dialogs;
  const TDeviceInput SendDeviceInput = DeviceInput();
  if (SendDeviceInput == nullptr) {
    // Windows flags every input a program sends as injected: only a real mouse can show it.
    GTEST_SKIP() << "no way here to send mouse input that is not flagged injected (only Wine "
                    "has one)";
  }
  TuiHook Hook(nullptr,
               THookServices{Platform.Libraries, Platform.Keyboard, Dialogs, Platform.Environment});
  ASSERT_TRUE(Hook.DLLLoaded());
  std::mutex Lock;
  std::vector<std::string> Reported;
  const auto ReportedSoFar = [&] {
    std::lock_guard<std::mutex> Guard(Lock);
    return Reported;
  };
  Hook.SetOnHookMouseAllButton([&](TMouseButtons AButton, int32_t AState, int16_t AEx, bool&) {
    std::lock_guard<std::mutex> Guard(Lock);
    Reported.push_back(std::to_string(AButton) + "/" + std::to_string(AState) + "/" +
                       std::to_string(AEx));
  });
  Hook.StartHookMouse();
  SendClick();
  INPUT Wheel{};
  Wheel.type = INPUT_MOUSE;
  Wheel.mi.dwFlags = MOUSEEVENTF_WHEEL;
  Wheel.mi.mouseData = static_cast<DWORD>(WHEEL_DELTA);
  ASSERT_TRUE(SendDeviceInput(nullptr, &Wheel, nullptr));
  // The hook sees the events in the order they were sent: once the wheel is
  // reported, the injected click before it has passed the same hook and raised
  // nothing.
  EXPECT_TRUE(WaitUntil([&] { return !ReportedSoFar().empty(); }));
  EXPECT_EQ(ReportedSoFar(), std::vector<std::string>{"6/1/120"});
}

// Runs a program in a current folder of its choosing; its exit code, or -1 when
// it did not run to its end.
int RunProgram(const fs::path& AProgram, const fs::path& ACurrentFolder) {
  test::TProcess Program(AProgram, {}, {ACurrentFolder});
  const auto Code = Program.End(std::chrono::seconds(60));
  return Code ? static_cast<int>(*Code) : -1;
}

// The PATH with one more folder in front, for as long as it lives (the programs
// this one starts inherit it).
class TPathPrefix {
public:
  explicit TPathPrefix(const fs::path& AFolder) {
    std::wstring Old(32767, L'\0');
    Old.resize(GetEnvironmentVariableW(L"PATH", Old.data(), static_cast<DWORD>(Old.size())));
    FOld = Old;
    SetEnvironmentVariableW(L"PATH", (AFolder.wstring() + L";" + Old).c_str());
  }
  ~TPathPrefix() { SetEnvironmentVariableW(L"PATH", FOld.empty() ? nullptr : FOld.c_str()); }
  TPathPrefix(const TPathPrefix&) = delete;
  TPathPrefix& operator=(const TPathPrefix&) = delete;

private:
  std::wstring FOld;
};

TEST(Win32Hook, OnlyTheLibraryBesideTheProgramIsLoaded) {
  const fs::path Here = test::ProgramFolder();
  const test::TTempFolder Root(L"monitor-hook-\u00E9\u4E2D-");
  const fs::path ProbeFolder = Root / L"program";
  const fs::path Stray = Root / L"current";
  fs::create_directories(ProbeFolder);
  fs::create_directories(Stray);
  const fs::path Probe = ProbeFolder / L"hook_load_probe.exe";
  fs::copy_file(Here / L"hook_load_probe.exe", Probe);
  fs::copy_file(Here / L"uiHook.dll", Stray / L"uiHook.dll");
  // A stray copy in the current folder and on the PATH, none beside the
  // program.
  const TPathPrefix OnThePath(Stray);
  EXPECT_EQ(RunProgram(Probe, Stray), test::cProbeNotFound);
  // The positive control: the copy beside the program is the one loaded.
  fs::copy_file(Here / L"uiHook.dll", ProbeFolder / L"uiHook.dll");
  EXPECT_EQ(RunProgram(Probe, Stray), test::cProbeLoadedBesideTheProgram);
}

// A window with the keyboard focus counts the key presses that reach it.
int GKeyDowns[256] = {};

LRESULT CALLBACK CatcherProc(HWND AWindow, UINT AMsg, WPARAM AWParam, LPARAM ALParam) {
  if (AMsg == WM_KEYDOWN && AWParam < 256) {
    ++GKeyDowns[AWParam];
  }
  return DefWindowProcW(AWindow, AMsg, AWParam, ALParam);
}

// While the main thread sleeps (handling no message, as in its blocking work) another thread's
// keys are decided by the hook, which lives on the library's thread; the rule's decision holds
// at the focused window: the swallowed key never reaches it, the others do.
TEST(Win32Hook, KeysAreDecidedWhileTheMainThreadSleepsAndASwallowedOneNeverArrives) {
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
  SendKey(0x44, false);
  SendKey(0x44, true);
  if (!PumpUntil(
          Platform.Desktop, [] { return GKeyDowns[0x44] > 0; }, 2000)) {
    DestroyWindow(Window);
    GTEST_SKIP() << "the test window does not get the keyboard focus here";
  }
  TuiHook Hook(nullptr,
               THookServices{Platform.Libraries, Platform.Keyboard, Dialogs, Platform.Environment});
  ASSERT_TRUE(Hook.DLLLoaded());
  Hook.AddKeyboardHookObject(
      std::make_unique<TKeyBoardHookDetailObject>(TKeyBoardHookDetail{0x42, 0, 0, 1}));
  std::atomic<int> Seen{0};
  Hook.SetOnHookKeyboardKey([&](int32_t, int32_t, int32_t, bool&, uint32_t) { ++Seen; });
  std::atomic<int> Decided{0};
  std::atomic<DWORD> HookThread{0};
  Hook.SetOnHookKeyboardAllKey([&](int32_t, int32_t, int32_t, bool&, uint32_t) {
    HookThread = GetCurrentThreadId();
    ++Decided;
  });
  Hook.StartHookKeyboard();
  constexpr int cEvents = 6;
  std::atomic<DWORD> SenderThread{0};
  std::atomic<bool> Answered{false};
  std::atomic<bool> SenderDone{false};
  std::thread Sender([&] {
    SenderThread = GetCurrentThreadId();
    for (const WORD Key : {WORD{0x41}, WORD{0x42}, WORD{0x43}}) {
      SendKey(Key, false);
      SendKey(Key, true);
    }
    Answered = WaitUntil([&] { return Decided >= cEvents; });
    SenderDone = true;
  });
  EXPECT_TRUE(WaitUntil([&] { return Answered.load(); })) << "the hook waited for this thread";
  // Lets a hook that waits on this thread go, should there be one, so the sender can end.
  PumpUntil(
      Platform.Desktop, [&] { return SenderDone.load(); }, 10000);
  Sender.join();
  EXPECT_NE(HookThread, GetCurrentThreadId());
  EXPECT_NE(HookThread, SenderThread);
  // The positive control: the same hook's rule swallowed B and let A and C through.
  EXPECT_TRUE(PumpUntil(
      Platform.Desktop, [] { return GKeyDowns[0x43] > 0; }, 2000));
  EXPECT_EQ(GKeyDowns[0x41], 1);
  EXPECT_EQ(GKeyDowns[0x42], 0);
  EXPECT_EQ(Seen, 2);
  DestroyWindow(Window);
}

// The library used directly, as any caller may: what one callback saw.
struct TLibraryCalls {
  std::atomic<DWORD> Thread{0};
  std::atomic<int> KeyDowns[256] = {};
  // How long each call takes after it counted, to be released while it runs.
  std::atomic<DWORD> HoldMs{0};
};

void CountKeyDowns(void* AContext, int32_t, uintptr_t, void* ARecord, bool*) {
  auto& Calls = *static_cast<TLibraryCalls*>(AContext);
  const auto& Record = *static_cast<const KBDLLHOOKSTRUCT*>(ARecord);
  Calls.Thread = GetCurrentThreadId();
  if ((Record.flags & LLKHF_UP) == 0 && Record.vkCode < 256) {
    ++Calls.KeyDowns[Record.vkCode];
  }
  if (Calls.HoldMs > 0) {
    Sleep(Calls.HoldMs);
  }
}

void IgnoreEvent(void*, int32_t, uintptr_t, void*, bool*) {}

// The library's thread: the callbacks run there, it lives while a hook is enabled and ends with
// the last disable, and a release with a hook still enabled ends it and unloads the library.
TEST(Win32Hook, TheLibrarysThreadLivesWhileAHookIsEnabled) {
  const HMODULE Library = LoadLibraryExW((test::ProgramFolder() / L"uiHook.dll").c_str(), nullptr,
                                         LOAD_WITH_ALTERED_SEARCH_PATH);
  ASSERT_NE(Library, nullptr);
  const auto Export = [&](const char* AName) {
    return reinterpret_cast<void*>(GetProcAddress(Library, AName));
  };
  const auto EnableKeyboard = reinterpret_cast<TEnableHook>(Export(cEnableKeyboardHook));
  const auto DisableKeyboard = reinterpret_cast<TDisableHook>(Export(cDisableKeyboardHook));
  const auto EnableMouse = reinterpret_cast<TEnableHook>(Export(cEnableMouseHook));
  const auto DisableMouse = reinterpret_cast<TDisableHook>(Export(cDisableMouseHook));
  ASSERT_TRUE(EnableKeyboard && DisableKeyboard && EnableMouse && DisableMouse);
  TLibraryCalls Calls;
  EnableKeyboard(&CountKeyDowns, &Calls, 0);
  EnableKeyboard(&CountKeyDowns, &Calls, 0); // twice: still one hook
  EnableMouse(&IgnoreEvent, nullptr, 0);
  SendKey(0x41, false);
  SendKey(0x41, true);
  SendKey(0x43, false);
  SendKey(0x43, true);
  // Once C is counted, A has passed the same hook before it.
  ASSERT_TRUE(WaitUntil([&] { return Calls.KeyDowns[0x43] > 0; }));
  EXPECT_EQ(Calls.KeyDowns[0x41], 1);
  ASSERT_NE(Calls.Thread, GetCurrentThreadId());
  HANDLE Thread = OpenThread(SYNCHRONIZE, FALSE, Calls.Thread);
  ASSERT_NE(Thread, nullptr);
  DisableKeyboard();
  EXPECT_EQ(WaitForSingleObject(Thread, 0), static_cast<DWORD>(WAIT_TIMEOUT))
      << "ended while the mouse hook is still enabled";
  // The last disable returns once the thread has ended.
  DisableMouse();
  EXPECT_EQ(WaitForSingleObject(Thread, 0), WAIT_OBJECT_0);
  CloseHandle(Thread);

  // Released with a hook enabled while a callback runs: the release cannot wait for the
  // thread to end, but lets the callback finish and the thread get out of the library's code;
  // the thread ends all the same, and the library is gone (were the callback to return into
  // code no longer there, the process would fault).
  Calls.KeyDowns[0x43] = 0;
  Calls.HoldMs = 300;
  EnableKeyboard(&CountKeyDowns, &Calls, 0);
  std::thread Sender([] {
    SendKey(0x43, false);
    SendKey(0x43, true);
  });
  const bool Counted = WaitUntil([&] { return Calls.KeyDowns[0x43] > 0; });
  Thread = Counted ? OpenThread(SYNCHRONIZE, FALSE, Calls.Thread) : nullptr;
  FreeLibrary(Library);
  Sender.join();
  ASSERT_TRUE(Counted);
  ASSERT_NE(Thread, nullptr);
  EXPECT_EQ(WaitForSingleObject(Thread, 10000), WAIT_OBJECT_0);
  CloseHandle(Thread);
  EXPECT_EQ(GetModuleHandleW(L"uiHook.dll"), nullptr);
}

// The combination recorder reads the held modifiers on the library's thread.
TEST(Win32Hook, TheCombinationRecorderSeesTheHeldModifier) {
  platform::win32::TWin32Platform Real;
  platform::TPlatform Platform = Real.Platform();
  platform::sim::TSimDialogs Dialogs;
  TuiHook Hook(nullptr,
               THookServices{Platform.Libraries, Platform.Keyboard, Dialogs, Platform.Environment});
  ASSERT_TRUE(Hook.DLLLoaded());
  std::mutex Lock;
  std::string Combination;
  Hook.SetOnRecordKeyboardComboKey(
      [&](int32_t, int32_t, int32_t, int32_t, int32_t AModifier, const std::string& AText) {
        std::lock_guard<std::mutex> Guard(Lock);
        Combination = std::to_string(AModifier) + "," + AText;
      });
  Hook.RecordKeyboardComboKey();
  SendKey(VK_LCONTROL, false);
  SendKey(0x41, false);
  SendKey(0x41, true);
  SendKey(VK_LCONTROL, true);
  const auto Recorded = [&] {
    std::lock_guard<std::mutex> Guard(Lock);
    return Combination;
  };
  EXPECT_TRUE(WaitUntil([&] { return !Recorded().empty(); }));
  EXPECT_EQ(Recorded(), "2,Ctrl+A");
  Hook.StopRecordKeyboardComboKey();
}

} // namespace
#endif
