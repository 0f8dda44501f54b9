#include <algorithm>

#include "platform/win32/Win32Desktop.h"
#include "platform/win32/Win32Text.h"

namespace platform::win32 {

namespace {

constexpr int cMargin = 24;
constexpr int cLineHeight = 22;
constexpr int cLineStep = 30;
constexpr int cAddressHeight = 24;
constexpr int cButtonWidth = 96;
constexpr int cButtonHeight = 30;
constexpr int cGap = 8;
constexpr int cContentWidth = cInfoPageWidth - 2 * cMargin;
constexpr int cOkId = IDOK;
constexpr int cWebId = 1001;
constexpr int cAddressId = 1002;
constexpr int cFirstLabelId = 1100;

// The user's message font carries the platform's font linking for other scripts; the
// default GUI font is the fallback.
HFONT PageFont(bool& AOwn) {
  NONCLIENTMETRICSW Metrics{};
  Metrics.cbSize = sizeof(Metrics);
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(Metrics), &Metrics, 0) != FALSE) {
    if (const HFONT Font = CreateFontIndirectW(&Metrics.lfMessageFont)) {
      AOwn = true;
      return Font;
    }
  }
  AOwn = false;
  return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

HWND MakeControl(HWND AParent, const wchar_t* AClass, const std::string& AText, DWORD AStyle,
                 DWORD AExStyle, RECT ABounds, int AId, HFONT AFont) {
  const HWND Control = CreateWindowExW(
      AExStyle, AClass, ToWide(AText).c_str(), WS_CHILD | WS_VISIBLE | AStyle, ABounds.left,
      ABounds.top, ABounds.right - ABounds.left, ABounds.bottom - ABounds.top, AParent,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(AId)), GetModuleHandleW(nullptr), nullptr);
  if (Control != nullptr) {
    SendMessageW(Control, WM_SETFONT, reinterpret_cast<WPARAM>(AFont), FALSE);
  }
  return Control;
}

RECT Bounds(int ALeft, int ATop, int AWidth, int AHeight) {
  return RECT{ALeft, ATop, ALeft + AWidth, ATop + AHeight};
}

// The web address and its button sit in the row after the lines.
RECT AddressBounds(std::size_t ALines) {
  const int Top = cMargin + static_cast<int>(ALines) * cLineStep;
  return Bounds(cMargin, Top, cContentWidth - cButtonWidth - cGap, cAddressHeight);
}

RECT WebButtonBounds(std::size_t ALines) {
  const RECT Address = AddressBounds(ALines);
  return Bounds(Address.right + cGap, Address.top - (cButtonHeight - cAddressHeight) / 2,
                cButtonWidth, cButtonHeight);
}

bool MakeLabels(TInfoPage& APage, HWND AWindow, const std::vector<std::string>& ALines) {
  for (std::size_t Index = 0; Index < ALines.size(); ++Index) {
    // No prefix: "&" in a label is text, not an accelerator.
    const HWND Label = MakeControl(
        AWindow, L"STATIC", ALines[Index], SS_LEFT | SS_NOPREFIX, 0,
        Bounds(cMargin, cMargin + static_cast<int>(Index) * cLineStep, cContentWidth, cLineHeight),
        cFirstLabelId + static_cast<int>(Index), APage.Font);
    if (Label == nullptr) {
      return false;
    }
    APage.Labels.push_back(Label);
  }
  return true;
}

void MoveTo(HWND AControl, RECT ABounds) {
  SetWindowPos(AControl, nullptr, ABounds.left, ABounds.top, ABounds.right - ABounds.left,
               ABounds.bottom - ABounds.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void SizeAndCentre(HWND AWindow) {
  RECT Frame{0, 0, cInfoPageWidth, cInfoPageHeight};
  AdjustWindowRectEx(&Frame, static_cast<DWORD>(GetWindowLongW(AWindow, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongW(AWindow, GWL_EXSTYLE)));
  const int Width = Frame.right - Frame.left;
  const int Height = Frame.bottom - Frame.top;
  MONITORINFO Monitor{};
  Monitor.cbSize = sizeof(Monitor);
  GetMonitorInfoW(MonitorFromWindow(AWindow, MONITOR_DEFAULTTOPRIMARY), &Monitor);
  const RECT& Screen = Monitor.rcMonitor;
  SetWindowPos(AWindow, nullptr, Screen.left + (Screen.right - Screen.left - Width) / 2,
               Screen.top + (Screen.bottom - Screen.top - Height) / 2, Width, Height,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

TInfoPage::~TInfoPage() {
  if (OwnFont && Font != nullptr) {
    DeleteObject(Font);
  }
}

std::shared_ptr<TInfoPage> BuildInfoPage(HWND AWindow, const TInfoPageTexts& ATexts,
                                         TInfoPageEvents AEvents) {
  auto Page = std::make_shared<TInfoPage>();
  Page->Events = std::move(AEvents);
  Page->Font = PageFont(Page->OwnFont);
  SizeAndCentre(AWindow);
  const std::size_t Lines = ATexts.Lines.size();
  if (!MakeLabels(*Page, AWindow, ATexts.Lines)) {
    return nullptr;
  }
  Page->Address = MakeControl(AWindow, L"EDIT", ATexts.WebAddress,
                              ES_LEFT | ES_READONLY | ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE,
                              AddressBounds(Lines), cAddressId, Page->Font);
  Page->WebButton = MakeControl(AWindow, L"BUTTON", ATexts.WebCaption, BS_PUSHBUTTON | WS_TABSTOP,
                                0, WebButtonBounds(Lines), cWebId, Page->Font);
  Page->OkButton =
      MakeControl(AWindow, L"BUTTON", ATexts.OkCaption, BS_DEFPUSHBUTTON | WS_TABSTOP, 0,
                  Bounds(cInfoPageWidth - cMargin - cButtonWidth,
                         cInfoPageHeight - cMargin - cButtonHeight, cButtonWidth, cButtonHeight),
                  cOkId, Page->Font);
  if (Page->Address == nullptr || Page->WebButton == nullptr || Page->OkButton == nullptr) {
    return nullptr;
  }
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
    MoveTo(APage.Address, AddressBounds(ATexts.Lines.size()));
    MoveTo(APage.WebButton, WebButtonBounds(ATexts.Lines.size()));
  }
  SetWindowTextW(APage.Address, ToWide(ATexts.WebAddress).c_str());
  SetWindowTextW(APage.WebButton, ToWide(ATexts.WebCaption).c_str());
  SetWindowTextW(APage.OkButton, ToWide(ATexts.OkCaption).c_str());
}

} // namespace platform::win32
