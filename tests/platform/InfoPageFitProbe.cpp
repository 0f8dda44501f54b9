// The monitor's information page as a user sees it at one display scaling, in one language:
// run by info-page-dpi.sh in a Wine prefix set to that scaling. Every control's text must fit
// inside the control. With a second DPI, the page is then told that its window moved to a
// monitor of that DPI, as the platform tells it (Wine has one monitor), and checked again.
// With DPI 0, at the scaling the display has. Prints one line a control. Exit code 0: all fit; 1: a
// text is clipped or the page is not sized for the DPI; 2: the prefix is not at the DPI asked for
// (or usage).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/MouseMonitor.h"
#include "backend/win32/Win32Platform.h"
#include "backend/win32/Win32SystemLibrary.h"
#include "backend/win32/Win32Text.h"
#include "platform/InfoPageLayout.h"
#include "profile/DMUnit.h"

namespace {

// A button's text keeps clear of its edge and focus rectangle; an edit's of its margins.
constexpr int cButtonInset = 4;

struct TFit {
  uint32_t Dpi;
  bool AllFit = true;
};

SIZE TextSize(HWND AControl, const std::wstring& AText) {
  const HDC Context = GetDC(AControl);
  const auto Font = reinterpret_cast<HFONT>(SendMessageW(AControl, WM_GETFONT, 0, 0));
  const HGDIOBJ Old = SelectObject(Context, Font);
  RECT Bounds{0, 0, 0, 0};
  DrawTextW(Context, AText.c_str(), static_cast<int>(AText.size()), &Bounds,
            DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(Context, Old);
  ReleaseDC(AControl, Context);
  return SIZE{Bounds.right - Bounds.left, Bounds.bottom - Bounds.top};
}

BOOL CALLBACK CheckControl(HWND AControl, LPARAM AFit) {
  auto& Fit = *reinterpret_cast<TFit*>(AFit);
  wchar_t Class[64] = {};
  GetClassNameW(AControl, Class, 64);
  const int Length = GetWindowTextLengthW(AControl);
  std::wstring Text(static_cast<std::size_t>(Length) + 1, L'\0');
  GetWindowTextW(AControl, Text.data(), Length + 1);
  Text.resize(static_cast<std::size_t>(Length));
  RECT Client{};
  GetClientRect(AControl, &Client);
  int Width = Client.right - Client.left;
  int Height = Client.bottom - Client.top;
  if (lstrcmpiW(Class, L"Button") == 0) {
    const int Inset = platform::ScaleToDpi(cButtonInset, Fit.Dpi);
    Width -= 2 * Inset;
    Height -= 2 * Inset;
  } else if (lstrcmpiW(Class, L"Edit") == 0) {
    const auto Margins = static_cast<DWORD>(SendMessageW(AControl, EM_GETMARGINS, 0, 0));
    Width -= LOWORD(Margins) + HIWORD(Margins);
  }
  const SIZE Needed = TextSize(AControl, Text);
  const bool Fits = Needed.cx <= Width && Needed.cy <= Height;
  Fit.AllFit = Fit.AllFit && Fits;
  std::printf("%-6ls %-40s needs %3ldx%-3ld has %3dx%-3d %s\n", Class,
              ("\"" + platform::win32::FromWide(Text) + "\"").c_str(), Needed.cx, Needed.cy, Width,
              Height, Fits ? "fits" : "CLIPPED");
  return TRUE;
}

bool Check(HWND APage, uint32_t ADpi) {
  const platform::TInfoPageLayout Layout = platform::LayoutInfoPage(ADpi, 0);
  RECT Client{};
  GetClientRect(APage, &Client);
  const bool Sized = Client.right == Layout.ClientWidth && Client.bottom == Layout.ClientHeight;
  std::printf("page %ldx%ld, %s %u DPI\n", Client.right, Client.bottom,
              Sized ? "sized for" : "NOT sized for", ADpi);
  TFit Fit{ADpi};
  EnumChildWindows(APage, CheckControl, reinterpret_cast<LPARAM>(&Fit));
  return Sized && Fit.AllFit;
}

int Run(uint32_t ADpi, uint8_t ALanguage, uint32_t AMovedDpi) {
  platform::win32::TWin32Platform Real;
  const platform::TPlatform Platform = Real.Platform();
  profile::TDM Store(nullptr, {Platform.Registry, Platform.Files, Platform.Environment,
                               Platform.Clock, Platform.Locale, Platform.Dialogs});
  Store.AllProfileSettingInfo().CurrentLanguage = ALanguage;
  app::TTARNMONMAIN Main(Platform);
  const auto Page = reinterpret_cast<HWND>(Main.WindowHandle());

  using TDpiForWindow = UINT(WINAPI*)(HWND);
  const auto DpiForWindow =
      platform::win32::Resolve<TDpiForWindow>(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow");
  const UINT Dpi = DpiForWindow != nullptr ? DpiForWindow(Page) : 0;
  // DPI 0: whatever scaling this machine's display has (the test bundle on Windows).
  if (ADpi == 0 && Dpi != 0) {
    ADpi = Dpi;
  }
  std::printf("language %u at %u DPI (the window's: %u)\n", ALanguage, ADpi, Dpi);
  if (Dpi != ADpi) {
    return 2;
  }
  bool Fits = Check(Page, ADpi);
  if (AMovedDpi != 0) {
    RECT Suggested{0, 0, 0, 0};
    SendMessageW(Page, WM_DPICHANGED, MAKEWPARAM(AMovedDpi, AMovedDpi),
                 reinterpret_cast<LPARAM>(&Suggested));
    std::printf("moved to a monitor at %u DPI\n", AMovedDpi);
    Fits = Check(Page, AMovedDpi) && Fits;
  }
  return Fits ? 0 : 1;
}

} // namespace

// Aware of each monitor's DPI, as TARNMON.EXE's manifest makes it: an unaware program would be
// given 96 and stretched by Windows, and would prove nothing.
void BePerMonitorDpiAware() {
  using TSetContext = BOOL(WINAPI*)(HANDLE);
  const auto SetContext = platform::win32::Resolve<TSetContext>(GetModuleHandleW(L"user32.dll"),
                                                                "SetProcessDpiAwarenessContext");
  const auto PerMonitorV2 = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-4));
  if (SetContext == nullptr || SetContext(PerMonitorV2) == FALSE) {
    SetProcessDPIAware();
  }
}

int main(int ACount, char** AArgs) {
  BePerMonitorDpiAware();
  if (ACount != 3 && ACount != 4) {
    std::fprintf(stderr, "usage: info_page_fit_probe DPI LANGUAGE-INDEX [MOVED-TO-DPI]\n");
    return 2;
  }
  try {
    return Run(static_cast<uint32_t>(std::strtoul(AArgs[1], nullptr, 10)),
               static_cast<uint8_t>(std::strtoul(AArgs[2], nullptr, 10)),
               ACount == 4 ? static_cast<uint32_t>(std::strtoul(AArgs[3], nullptr, 10)) : 0);
  } catch (const std::exception& AError) {
    std::fprintf(stderr, "%s\n", AError.what());
    return 1;
  }
}
