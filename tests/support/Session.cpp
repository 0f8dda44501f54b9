#include "support/Session.h"
#include "support/TestHost.h"

#include <atomic>
#include <chrono>
#include <random>
#ifdef _WIN32
// clang-format off
#include <shellapi.h>
// clang-format on
#endif

namespace test {

std::string UniqueName(const std::string& APrefix) {
  static std::atomic<unsigned> Counter{0};
  static const uint64_t Seed =
      std::random_device{}() ^
      static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  return APrefix + std::to_string(Seed % 1000000007) + "-" + std::to_string(Counter++);
}

#ifdef _WIN32
std::wstring ClassOf(HWND AWindow) {
  wchar_t Name[257] = {};
  const int Length = GetClassNameW(AWindow, Name, 257);
  return std::wstring(Name, Length > 0 ? Length : 0);
}

std::vector<HWND> ShellIconWindows() {
  std::vector<HWND> Icons;
  for (const wchar_t* Tray : {L"__winex11_standalone_tray", L"Shell_TrayWnd"}) {
    for (HWND Host = FindWindowExW(nullptr, nullptr, Tray, nullptr); Host != nullptr;
         Host = FindWindowExW(nullptr, Host, Tray, nullptr)) {
      EnumChildWindows(
          Host,
          [](HWND AWindow, LPARAM AIcons) -> BOOL {
            constexpr int cMaxIconWindow = 64;
            RECT Bounds{};
            if (IsWindowVisible(AWindow) && GetWindowRect(AWindow, &Bounds) &&
                Bounds.right > Bounds.left && Bounds.right - Bounds.left <= cMaxIconWindow &&
                Bounds.bottom - Bounds.top <= cMaxIconWindow) {
              reinterpret_cast<std::vector<HWND>*>(AIcons)->push_back(AWindow);
            }
            return TRUE;
          },
          reinterpret_cast<LPARAM>(&Icons));
    }
  }
  return Icons;
}

std::wstring ShownTooltip() {
  struct TFound {
    std::wstring Text;
  } Found;
  EnumWindows(
      [](HWND AWindow, LPARAM AFound) -> BOOL {
        DWORD Process = 0;
        GetWindowThreadProcessId(AWindow, &Process);
        if (Process == GetCurrentProcessId() || !IsWindowVisible(AWindow) ||
            ClassOf(AWindow) != L"tooltips_class32") {
          return TRUE;
        }
        wchar_t Text[256] = {};
        DWORD_PTR Length = 0;
        // The tooltip answers with the text it shows; the buffer crosses processes.
        if (SendMessageTimeoutW(AWindow, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(Text),
                                SMTO_ABORTIFHUNG, 1000, &Length) != 0 &&
            Length > 0) {
          reinterpret_cast<TFound*>(AFound)->Text = Text;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&Found));
  return Found.Text;
}

POINT Centre(HWND AWindow) {
  RECT Bounds{};
  GetWindowRect(AWindow, &Bounds);
  return {(Bounds.left + Bounds.right) / 2, (Bounds.top + Bounds.bottom) / 2};
}

void ClickAt(POINT APoint, DWORD ADown, DWORD AUp) {
  SetCursorPos(APoint.x, APoint.y);
  INPUT Inputs[2] = {};
  Inputs[0].type = Inputs[1].type = INPUT_MOUSE;
  Inputs[0].mi.dwFlags = ADown;
  Inputs[1].mi.dwFlags = AUp;
  SendInput(2, Inputs, sizeof(INPUT));
}

// The icons of every tray window (any process's) that the shell places on screen.
std::vector<HWND> PlacedNotifyIcons() {
  std::vector<HWND> Icons;
  for (HWND Tray = FindWindowExW(nullptr, nullptr, cTrayWindowClass, nullptr); Tray != nullptr;
       Tray = FindWindowExW(nullptr, Tray, cTrayWindowClass, nullptr)) {
    RECT Place{};
    if (NotifyIconRect(Tray, Place)) {
      Icons.push_back(Tray);
    }
  }
  return Icons;
}

bool NotifyIconRect(HWND ATray, RECT& APlace) {
  NOTIFYICONIDENTIFIER Icon{};
  Icon.cbSize = sizeof(Icon);
  Icon.hWnd = ATray;
  Icon.uID = cTrayIconId;
  return SUCCEEDED(Shell_NotifyIconGetRect(&Icon, &APlace)) && APlace.right > APlace.left;
}

POINT IconCentre(HWND AIcon) {
  RECT Place{};
  if (ClassOf(AIcon) == cTrayWindowClass && NotifyIconRect(AIcon, Place)) {
    return {(Place.left + Place.right) / 2, (Place.top + Place.bottom) / 2};
  }
  return Centre(AIcon);
}

HWND FindTrayIcon(platform::IMainThread& AMainThread, const std::wstring& AHint, int AWaitMs) {
  HWND Found = nullptr;
  WaitUntil(
      [&] {
        // Wine's shell shows each icon in a window of its own; Windows draws them all into its
        // notification area and tells where one is.
        for (HWND Icon : UnderWine() ? ShellIconWindows() : PlacedNotifyIcons()) {
          SetCursorPos(cPointerAway.x, cPointerAway.y);
          PumpUntil(
              AMainThread, [] { return ShownTooltip().empty(); }, 1500);
          const POINT Middle = IconCentre(Icon);
          SetCursorPos(Middle.x, Middle.y);
          std::wstring Shown;
          PumpUntil(
              AMainThread, [&] { return !(Shown = ShownTooltip()).empty(); }, 2500);
          if (Shown == AHint) {
            Found = Icon;
            return true;
          }
        }
        return false;
      },
      std::chrono::milliseconds(AWaitMs), [&] { AMainThread.WaitAndProcess(200); });
  return Found;
}

std::vector<HWND> WindowsOf(DWORD AProcess, const std::wstring& AClass) {
  struct TSearch {
    DWORD Process;
    const std::wstring& Class;
    std::vector<HWND> Found;
  } Search{AProcess, AClass, {}};
  EnumWindows(
      [](HWND AWindow, LPARAM ASearch) -> BOOL {
        auto& Wanted = *reinterpret_cast<TSearch*>(ASearch);
        DWORD Process = 0;
        GetWindowThreadProcessId(AWindow, &Process);
        if ((Wanted.Process == 0 || Process == Wanted.Process) &&
            ClassOf(AWindow) == Wanted.Class) {
          Wanted.Found.push_back(AWindow);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&Search));
  return Search.Found;
}

bool RemoveTrayIconOf(DWORD AProcess) {
  const std::vector<HWND> Trays = WindowsOf(AProcess, cTrayWindowClass);
  if (Trays.size() != 1) {
    return false;
  }
  NOTIFYICONDATAW Data{};
  Data.cbSize = sizeof(Data);
  Data.hWnd = Trays[0];
  Data.uID = cTrayIconId;
  return Shell_NotifyIconW(NIM_DELETE, &Data) != FALSE;
}

bool ChooseFromTrayMenu(platform::IMainThread& AMainThread, DWORD AProcess, HWND AIcon,
                        int APosition, int ACount) {
  HWND Menu = nullptr;
  // A click that came while the shell or the process was busy is given again.
  for (int Attempt = 0; Attempt < 3 && Menu == nullptr; ++Attempt) {
    ClickAt(IconCentre(AIcon), MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
    PumpUntil(
        AMainThread,
        [&] {
          for (HWND Window : WindowsOf(AProcess, L"#32768")) {
            if (IsWindowVisible(Window)) {
              Menu = Window;
            }
          }
          return Menu != nullptr;
        },
        4000);
  }
  if (Menu == nullptr) {
    PressEscape();
    return false;
  }
  // The items share the menu's height; the frame is thinner than half an item.
  RECT Bounds{};
  GetWindowRect(Menu, &Bounds);
  const LONG Height = Bounds.bottom - Bounds.top;
  ClickAt(
      {(Bounds.left + Bounds.right) / 2, Bounds.top + Height * (2 * APosition + 1) / (2 * ACount)},
      MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
  SetCursorPos(cPointerAway.x, cPointerAway.y);
  return PumpUntil(AMainThread, [&] { return !IsWindowVisible(Menu); });
}

void PressEscape() {
  INPUT Keys[2] = {};
  Keys[0].type = Keys[1].type = INPUT_KEYBOARD;
  Keys[0].ki.wVk = Keys[1].ki.wVk = VK_ESCAPE;
  Keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, Keys, sizeof(INPUT));
}

void AnnounceShellStarted() {
  DWORD_PTR Ignored = 0;
  SendMessageTimeoutW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0,
                      SMTO_ABORTIFHUNG, 2000, &Ignored);
}
#endif

} // namespace test
