// The notice window: a small top-most window that shows a line or two for a moment and never
// takes the focus, the input or the foreground, so a full-screen game keeps running in front.
#include "backend/win32/Win32Desktop.h"
#include "backend/win32/Win32SystemLibrary.h"
#include "backend/win32/Win32Text.h"
#include "platform/InfoPageLayout.h"

namespace platform::win32 {

namespace {

constexpr wchar_t cNoticeClass[] = L"TarnMonNotice";
constexpr UINT_PTR cHideTimer = 1;
// At 96 DPI: the text's height in pixels, the margin around it, the gap to the work area's
// bottom edge; the opacity of the window.
constexpr int cTextPixels = 28;
constexpr int cMarginPixels = 16;
constexpr int cBottomGapPixels = 96;
constexpr BYTE cOpacity = 225;

struct TNotice {
  HWND Window = nullptr;
  HFONT Font = nullptr;
  std::wstring Text;
};
TNotice GNotice;

// The DPI of the monitor at APoint, where the system can tell it (Windows 8.1 and later).
uint32_t MonitorDpi(HMONITOR AMonitor) {
  using TGetDpiForMonitor = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  static const TGetDpiForMonitor GetDpi =
      Resolve<TGetDpiForMonitor>(LoadSystemLibrary(L"shcore.dll"), "GetDpiForMonitor");
  UINT X = 0;
  UINT Y = 0;
  constexpr int cEffectiveDpi = 0;
  if (GetDpi != nullptr && SUCCEEDED(GetDpi(AMonitor, cEffectiveDpi, &X, &Y)) && Y != 0) {
    return Y;
  }
  return SystemDpi();
}

LRESULT CALLBACK NoticeProc(HWND AWindow, UINT AMsg, WPARAM AWParam, LPARAM ALParam) {
  switch (AMsg) {
  case WM_NCHITTEST:
    return HTTRANSPARENT;
  case WM_MOUSEACTIVATE:
    return MA_NOACTIVATE;
  case WM_TIMER:
    if (AWParam == cHideTimer) {
      KillTimer(AWindow, cHideTimer);
      ShowWindow(AWindow, SW_HIDE);
    }
    return 0;
  case WM_PAINT: {
    PAINTSTRUCT Paint;
    const HDC Canvas = BeginPaint(AWindow, &Paint);
    RECT Client;
    GetClientRect(AWindow, &Client);
    const HBRUSH Back = CreateSolidBrush(RGB(24, 24, 24));
    FillRect(Canvas, &Client, Back);
    DeleteObject(Back);
    const HGDIOBJ Old = SelectObject(Canvas, GNotice.Font);
    SetBkMode(Canvas, TRANSPARENT);
    SetTextColor(Canvas, RGB(255, 255, 255));
    RECT Measured = Client;
    DrawTextW(Canvas, GNotice.Text.c_str(), -1, &Measured, DT_CENTER | DT_CALCRECT | DT_NOPREFIX);
    RECT Text = Client;
    Text.top = (Client.bottom - (Measured.bottom - Measured.top)) / 2;
    DrawTextW(Canvas, GNotice.Text.c_str(), -1, &Text, DT_CENTER | DT_NOPREFIX);
    SelectObject(Canvas, Old);
    EndPaint(AWindow, &Paint);
    return 0;
  }
  default:
    return DefWindowProcW(AWindow, AMsg, AWParam, ALParam);
  }
}

bool MakeWindow() {
  if (GNotice.Window != nullptr) {
    return true;
  }
  WNDCLASSEXW Class{};
  Class.cbSize = sizeof(Class);
  Class.lpfnWndProc = NoticeProc;
  Class.hInstance = GetModuleHandleW(nullptr);
  Class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  Class.lpszClassName = cNoticeClass;
  if (RegisterClassExW(&Class) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    return false;
  }
  // Layered and transparent: the mouse goes through it to the game below; it is never
  // activated and has no task bar entry.
  GNotice.Window = CreateWindowExW(
      WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE | WS_EX_TRANSPARENT | WS_EX_LAYERED,
      cNoticeClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, Class.hInstance, nullptr);
  if (GNotice.Window == nullptr) {
    return false;
  }
  SetLayeredWindowAttributes(GNotice.Window, 0, cOpacity, LWA_ALPHA);
  return true;
}

} // namespace

bool ShowWin32Notice(const std::string& AText, uint32_t AMilliseconds) {
  if (!MakeWindow()) {
    return false;
  }
  GNotice.Text = ToWide(AText);
  POINT Pointer{};
  GetCursorPos(&Pointer);
  const HMONITOR Monitor = MonitorFromPoint(Pointer, MONITOR_DEFAULTTONEAREST);
  MONITORINFO Info{};
  Info.cbSize = sizeof(Info);
  if (!GetMonitorInfoW(Monitor, &Info)) {
    return false;
  }
  const int Dpi = static_cast<int>(MonitorDpi(Monitor));
  const auto Scaled = [&](int APixels) { return MulDiv(APixels, Dpi, cDefaultDpi); };
  NONCLIENTMETRICSW Metrics{};
  Metrics.cbSize = sizeof(Metrics);
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(Metrics), &Metrics, 0);
  LOGFONTW Font = Metrics.lfMessageFont;
  Font.lfHeight = -Scaled(cTextPixels);
  Font.lfWeight = FW_SEMIBOLD;
  if (GNotice.Font != nullptr) {
    DeleteObject(GNotice.Font);
  }
  GNotice.Font = CreateFontIndirectW(&Font);
  // The text's size in that font, then the window around it.
  RECT Measured{0, 0, 0, 0};
  const HDC Canvas = GetDC(GNotice.Window);
  const HGDIOBJ Old = SelectObject(Canvas, GNotice.Font);
  DrawTextW(Canvas, GNotice.Text.c_str(), -1, &Measured, DT_CALCRECT | DT_NOPREFIX);
  SelectObject(Canvas, Old);
  ReleaseDC(GNotice.Window, Canvas);
  const int Width = Measured.right - Measured.left + 2 * Scaled(cMarginPixels);
  const int Height = Measured.bottom - Measured.top + 2 * Scaled(cMarginPixels);
  const RECT& Work = Info.rcWork;
  const int Left = Work.left + (Work.right - Work.left - Width) / 2;
  const int Top = Work.bottom - Height - Scaled(cBottomGapPixels);
  SetWindowPos(GNotice.Window, HWND_TOPMOST, Left, Top, Width, Height,
               SWP_NOACTIVATE | SWP_SHOWWINDOW);
  InvalidateRect(GNotice.Window, nullptr, TRUE);
  SetTimer(GNotice.Window, cHideTimer, AMilliseconds, nullptr);
  return true;
}

bool TWin32Desktop::ShowNotice(const std::string& AText, uint32_t AMilliseconds) {
  return ShowWin32Notice(AText, AMilliseconds);
}

void DestroyWin32Notice() {
  if (GNotice.Window != nullptr) {
    DestroyWindow(GNotice.Window);
  }
  if (GNotice.Font != nullptr) {
    DeleteObject(GNotice.Font);
  }
  GNotice = TNotice();
}

} // namespace platform::win32
