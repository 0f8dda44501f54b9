#include <algorithm>

#include "backend/win32/Win32Desktop.h"
#include "backend/win32/Win32SystemLibrary.h"
#include "backend/win32/Win32Text.h"
#include "platform/InfoPageLayout.h"

namespace platform::win32 {

uint32_t SystemDpi() {
  const HDC Screen = GetDC(nullptr);
  const int Dpi = Screen != nullptr ? GetDeviceCaps(Screen, LOGPIXELSY) : 0;
  if (Screen != nullptr) {
    ReleaseDC(nullptr, Screen);
  }
  return Dpi > 0 ? static_cast<uint32_t>(Dpi) : cDefaultDpi;
}

namespace {

constexpr int cOkId = IDOK;
constexpr int cWebId = 1001;
constexpr int cAddressId = 1002;
constexpr int cFirstLabelId = 1100;

// The per-monitor services of newer systems, bound at run time; older ones scale by the
// system's DPI, which is then the only one.
struct TDpiApi {
  UINT(WINAPI* DpiForWindow)(HWND) = nullptr;
  BOOL(WINAPI* ParametersForDpi)(UINT, UINT, PVOID, UINT, UINT) = nullptr;
  BOOL(WINAPI* AdjustForDpi)(LPRECT, DWORD, BOOL, DWORD, UINT) = nullptr;
  int(WINAPI* MetricsForDpi)(int, UINT) = nullptr;
};

const TDpiApi& DpiApi() {
  static const TDpiApi Api = [] {
    const HMODULE User = GetModuleHandleW(L"user32.dll");
    TDpiApi Result;
    Result.DpiForWindow = Resolve<decltype(Result.DpiForWindow)>(User, "GetDpiForWindow");
    Result.ParametersForDpi =
        Resolve<decltype(Result.ParametersForDpi)>(User, "SystemParametersInfoForDpi");
    Result.AdjustForDpi = Resolve<decltype(Result.AdjustForDpi)>(User, "AdjustWindowRectExForDpi");
    Result.MetricsForDpi = Resolve<decltype(Result.MetricsForDpi)>(User, "GetSystemMetricsForDpi");
    return Result;
  }();
  return Api;
}

uint32_t WindowDpi(HWND AWindow) {
  const UINT Dpi = DpiApi().DpiForWindow != nullptr ? DpiApi().DpiForWindow(AWindow) : 0;
  return Dpi != 0 ? Dpi : SystemDpi();
}

int MetricForDpi(int AIndex, uint32_t ADpi) {
  if (DpiApi().MetricsForDpi != nullptr) {
    return DpiApi().MetricsForDpi(AIndex, ADpi);
  }
  return MulDiv(GetSystemMetrics(AIndex), static_cast<int>(ADpi), static_cast<int>(SystemDpi()));
}

// The user's message font at the page's DPI. It carries the platform's font linking for other
// scripts; the default GUI font is the fallback.
HFONT PageFont(uint32_t ADpi, bool& AOwn) {
  NONCLIENTMETRICSW Metrics{};
  Metrics.cbSize = sizeof(Metrics);
  bool Read = false;
  if (DpiApi().ParametersForDpi != nullptr) {
    Read = DpiApi().ParametersForDpi(SPI_GETNONCLIENTMETRICS, sizeof(Metrics), &Metrics, 0, ADpi) !=
           FALSE;
  }
  if (!Read &&
      SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(Metrics), &Metrics, 0) != FALSE) {
    Read = true;
    Metrics.lfMessageFont.lfHeight = MulDiv(Metrics.lfMessageFont.lfHeight, static_cast<int>(ADpi),
                                            static_cast<int>(SystemDpi()));
  }
  if (Read) {
    if (const HFONT Font = CreateFontIndirectW(&Metrics.lfMessageFont)) {
      AOwn = true;
      return Font;
    }
  }
  AOwn = false;
  return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

HWND MakeControl(HWND AParent, const wchar_t* AClass, const std::string& AText, DWORD AStyle,
                 DWORD AExStyle, int AId, HFONT AFont) {
  const HWND Control = CreateWindowExW(
      AExStyle, AClass, ToWide(AText).c_str(), WS_CHILD | WS_VISIBLE | AStyle, 0, 0, 0, 0, AParent,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(AId)), GetModuleHandleW(nullptr), nullptr);
  if (Control != nullptr) {
    SendMessageW(Control, WM_SETFONT, reinterpret_cast<WPARAM>(AFont), FALSE);
  }
  return Control;
}

bool MakeLabels(TInfoPage& APage, HWND AWindow, const std::vector<std::string>& ALines) {
  for (std::size_t Index = 0; Index < ALines.size(); ++Index) {
    // No prefix: "&" in a label is text, not an accelerator.
    const HWND Label = MakeControl(AWindow, L"STATIC", ALines[Index], SS_LEFT | SS_NOPREFIX, 0,
                                   cFirstLabelId + static_cast<int>(Index), APage.Font);
    if (Label == nullptr) {
      return false;
    }
    APage.Labels.push_back(Label);
  }
  return true;
}

void MoveTo(HWND AControl, const TPageRect& ABounds) {
  SetWindowPos(AControl, nullptr, ABounds.Left, ABounds.Top, ABounds.Width, ABounds.Height,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

// Every control at the page's DPI, in the page's font.
void ArrangeControls(TInfoPage& APage) {
  const TInfoPageLayout Layout = LayoutInfoPage(APage.Dpi, APage.Labels.size());
  std::vector<HWND> Controls = APage.Labels;
  Controls.insert(Controls.end(), {APage.Address, APage.WebButton, APage.OkButton});
  for (HWND Control : Controls) {
    SendMessageW(Control, WM_SETFONT, reinterpret_cast<WPARAM>(APage.Font), FALSE);
  }
  for (std::size_t Index = 0; Index < APage.Labels.size(); ++Index) {
    MoveTo(APage.Labels[Index], Layout.Labels[Index]);
  }
  MoveTo(APage.Address, Layout.Address);
  MoveTo(APage.WebButton, Layout.WebButton);
  MoveTo(APage.OkButton, Layout.OkButton);
  for (HWND Control : Controls) {
    InvalidateRect(Control, nullptr, TRUE);
  }
}

// The frame around the page's client area at its DPI.
SIZE FrameSize(HWND AWindow, uint32_t ADpi) {
  const TInfoPageLayout Layout = LayoutInfoPage(ADpi, 0);
  RECT Frame{0, 0, Layout.ClientWidth, Layout.ClientHeight};
  const auto Style = static_cast<DWORD>(GetWindowLongW(AWindow, GWL_STYLE));
  const auto ExStyle = static_cast<DWORD>(GetWindowLongW(AWindow, GWL_EXSTYLE));
  if (DpiApi().AdjustForDpi == nullptr ||
      DpiApi().AdjustForDpi(&Frame, Style, FALSE, ExStyle, ADpi) == FALSE) {
    AdjustWindowRectEx(&Frame, Style, FALSE, ExStyle);
  }
  return SIZE{Frame.right - Frame.left, Frame.bottom - Frame.top};
}

void SizeAndCentre(HWND AWindow, uint32_t ADpi) {
  const SIZE Size = FrameSize(AWindow, ADpi);
  MONITORINFO Monitor{};
  Monitor.cbSize = sizeof(Monitor);
  GetMonitorInfoW(MonitorFromWindow(AWindow, MONITOR_DEFAULTTOPRIMARY), &Monitor);
  const RECT& Screen = Monitor.rcMonitor;
  SetWindowPos(AWindow, nullptr, Screen.left + (Screen.right - Screen.left - Size.cx) / 2,
               Screen.top + (Screen.bottom - Screen.top - Size.cy) / 2, Size.cx, Size.cy,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

// Icons loaded at the DPI's exact sizes (a shared icon may come back at a size loaded before);
// the ones they replace are destroyed once the window has let go of them.
void SetWindowIcons(TInfoPage& APage, HWND AWindow) {
  constexpr int cMetrics[2] = {SM_CXSMICON, SM_CXICON};
  constexpr WPARAM cKinds[2] = {ICON_SMALL, ICON_BIG};
  for (int Kind = 0; Kind < 2; ++Kind) {
    const int Size = MetricForDpi(cMetrics[Kind], APage.Dpi);
    const HICON Icon = LoadProgramIcon(Size);
    SendMessageW(AWindow, WM_SETICON, cKinds[Kind],
                 reinterpret_cast<LPARAM>(Icon != nullptr ? Icon : ProgramIcon(Size)));
    if (APage.Icons[Kind] != nullptr) {
      DestroyIcon(APage.Icons[Kind]);
    }
    APage.Icons[Kind] = Icon;
  }
}

void ReplaceFont(TInfoPage& APage) {
  bool Own = false;
  const HFONT Font = PageFont(APage.Dpi, Own);
  if (APage.OwnFont && APage.Font != nullptr) {
    // The controls take the new one first: none may be left drawing with a deleted font.
    const HFONT Old = APage.Font;
    APage.Font = Font;
    ArrangeControls(APage);
    DeleteObject(Old);
  } else {
    APage.Font = Font;
    ArrangeControls(APage);
  }
  APage.OwnFont = Own;
}

} // namespace

TInfoPage::~TInfoPage() {
  if (OwnFont && Font != nullptr) {
    DeleteObject(Font);
  }
  for (HICON Icon : Icons) {
    if (Icon != nullptr) {
      DestroyIcon(Icon);
    }
  }
}

std::shared_ptr<TInfoPage> BuildInfoPage(HWND AWindow, const TInfoPageTexts& ATexts,
                                         TInfoPageEvents AEvents) {
  auto Page = std::make_shared<TInfoPage>();
  Page->Events = std::move(AEvents);
  Page->Dpi = WindowDpi(AWindow);
  Page->Font = PageFont(Page->Dpi, Page->OwnFont);
  SizeAndCentre(AWindow, Page->Dpi);
  SetWindowIcons(*Page, AWindow);
  if (!MakeLabels(*Page, AWindow, ATexts.Lines)) {
    return nullptr;
  }
  Page->Address = MakeControl(AWindow, L"EDIT", ATexts.WebAddress,
                              ES_LEFT | ES_READONLY | ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE,
                              cAddressId, Page->Font);
  Page->WebButton = MakeControl(AWindow, L"BUTTON", ATexts.WebCaption, BS_PUSHBUTTON | WS_TABSTOP,
                                0, cWebId, Page->Font);
  Page->OkButton = MakeControl(AWindow, L"BUTTON", ATexts.OkCaption, BS_DEFPUSHBUTTON | WS_TABSTOP,
                               0, cOkId, Page->Font);
  if (Page->Address == nullptr || Page->WebButton == nullptr || Page->OkButton == nullptr) {
    return nullptr;
  }
  ArrangeControls(*Page);
  return Page;
}

void UpdateInfoPage(TInfoPage& APage, HWND AWindow, const TInfoPageTexts& ATexts) {
  if (ATexts.Lines.size() == APage.Labels.size()) {
    for (std::size_t Index = 0; Index < ATexts.Lines.size(); ++Index) {
      SetWindowTextW(APage.Labels[Index], ToWide(ATexts.Lines[Index]).c_str());
    }
  } else {
    for (HWND Label : APage.Labels) {
      DestroyWindow(Label);
    }
    APage.Labels.clear();
    MakeLabels(APage, AWindow, ATexts.Lines);
    ArrangeControls(APage);
  }
  SetWindowTextW(APage.Address, ToWide(ATexts.WebAddress).c_str());
  SetWindowTextW(APage.WebButton, ToWide(ATexts.WebCaption).c_str());
  SetWindowTextW(APage.OkButton, ToWide(ATexts.OkCaption).c_str());
}

void RescaleInfoPage(TInfoPage& APage, HWND AWindow, uint32_t ADpi, const RECT* ASuggested) {
  if (ADpi == 0 || ADpi == APage.Dpi) {
    return;
  }
  APage.Dpi = ADpi;
  ReplaceFont(APage);
  SetWindowIcons(APage, AWindow);
  // The platform suggests where the window goes on its new monitor; the size is the page's own.
  const SIZE Size = FrameSize(AWindow, ADpi);
  if (ASuggested != nullptr) {
    SetWindowPos(AWindow, nullptr, ASuggested->left, ASuggested->top, Size.cx, Size.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  } else {
    SizeAndCentre(AWindow, ADpi);
  }
}

} // namespace platform::win32
