// Run beside TARNMON.EXE by scripts/screenshots.sh, as a user's other programs would act on a
// running monitor: it says where the tray icon is, shows or hides the information page,
// switches the stored language as the configuration program does and tells the monitor,
// shows the monitor's notice of a new level (as the monitor shows it), and ends the monitor. Prints
// what the script needs; the exit code says whether it worked.
#include <windows.h>
// clang-format off
#include <shellapi.h>
// clang-format on

#include <cstdio>
#include <string>
#include <vector>

#include "app/ConfigProgramProtocol.h"
#include "backend/win32/Win32Desktop.h"
#include "backend/win32/Win32Platform.h"
#include "backend/win32/Win32Text.h"
#include "profile/DMUnit.h"

namespace {

HWND MonitorWindow() {
  return FindWindowW(L"TTARNMONMAIN", nullptr);
}

// The shell's icons: small visible children of its tray window.
BOOL CALLBACK PrintIcon(HWND AWindow, LPARAM) {
  RECT Bounds{};
  constexpr LONG cMaxIcon = 64;
  if (IsWindowVisible(AWindow) && GetWindowRect(AWindow, &Bounds) && Bounds.right > Bounds.left &&
      Bounds.right - Bounds.left <= cMaxIcon && Bounds.bottom - Bounds.top <= cMaxIcon) {
    std::printf("%ld %ld\n", (Bounds.left + Bounds.right) / 2, (Bounds.top + Bounds.bottom) / 2);
  }
  return TRUE;
}

int Run(const std::vector<std::wstring>& AArgs) {
  if (AArgs.empty()) {
    return 2;
  }
  const std::wstring& Command = AArgs[0];
  if (Command == L"icons") {
    for (const wchar_t* Tray : {L"Shell_TrayWnd", L"__winex11_standalone_tray"}) {
      if (HWND Host = FindWindowW(Tray, nullptr)) {
        EnumChildWindows(Host, PrintIcon, 0);
      }
    }
    return 0;
  }
  if (Command == L"notice" && AArgs.size() == 2) {
    // The notice as the monitor shows it for a new level: its bounds, then its time on screen.
    constexpr uint32_t cShownMs = 4000;
    if (!platform::win32::ShowWin32Notice(platform::win32::FromWide(AArgs[1]), cShownMs)) {
      return 1;
    }
    RECT Bounds{};
    GetWindowRect(FindWindowW(L"TarnMonNotice", nullptr), &Bounds);
    std::printf("%ld %ld %ld %ld\n", Bounds.left, Bounds.top, Bounds.right - Bounds.left,
                Bounds.bottom - Bounds.top);
    std::fflush(stdout);
    for (const DWORD End = GetTickCount() + cShownMs; GetTickCount() < End;) {
      MSG Message;
      while (PeekMessageW(&Message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&Message);
      }
      Sleep(10);
    }
    return 0;
  }
  const HWND Main = MonitorWindow();
  if (Main == nullptr) {
    std::fprintf(stderr, "no monitor runs\n");
    return 1;
  }
  if (Command == L"about") {
    // What the information page's menu item does.
    ShowWindow(Main, SW_SHOW);
    SetForegroundWindow(Main);
    RECT Bounds{};
    GetWindowRect(Main, &Bounds);
    std::printf("%ld %ld %ld %ld\n", Bounds.left, Bounds.top, Bounds.right - Bounds.left,
                Bounds.bottom - Bounds.top);
    return 0;
  }
  if (Command == L"hide") {
    ShowWindow(Main, SW_HIDE);
    return 0;
  }
  if (Command == L"close") {
    return PostMessageW(Main, WM_CLOSE, 0, 0) ? 0 : 1;
  }
  if (Command == L"language" && AArgs.size() == 2) {
    // The store beside this program is the monitor's: both read the same "config.ini".
    platform::win32::TWin32Platform Real;
    const platform::TPlatform Platform = Real.Platform();
    profile::TDM Store(nullptr, {Platform.Registry, Platform.Files, Platform.Environment,
                                 Platform.Clock, Platform.Locale, Platform.Dialogs});
    Store.AllProfileSettingInfo().CurrentLanguage = static_cast<uint8_t>(std::stoi(AArgs[1]));
    Store.SaveBackAllProfileSettingInfo();
    return PostMessageW(Main, app::WM_MONITOR_RELOAD_SETTINGS, 0, 0) ? 0 : 1;
  }
  return 2;
}

} // namespace

int main() {
  try {
    int Count = 0;
    wchar_t** Words = CommandLineToArgvW(GetCommandLineW(), &Count);
    std::vector<std::wstring> Args;
    for (int Index = 1; Words != nullptr && Index < Count; ++Index) {
      Args.emplace_back(Words[Index]);
    }
    LocalFree(Words);
    return Run(Args);
  } catch (const std::exception& AError) {
    std::fprintf(stderr, "%s\n", AError.what());
    return 1;
  }
}
