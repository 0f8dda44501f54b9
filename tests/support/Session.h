// What the session tests share: names of a test's own and (on Windows) reading and driving
// the shell's notification area.
#pragma once

#include <string>
#include <vector>

#include "platform/MainThread.h"
#include "support/Wait.h"
#ifdef _WIN32
#include <windows.h>
#endif

namespace test {

// Names of this test's own: parallel test programs share the session.
std::string UniqueName(const std::string& APrefix);

#ifdef _WIN32
std::wstring ClassOf(HWND AWindow);
// The shell's icon windows: children of its tray window, small and visible.
std::vector<HWND> ShellIconWindows();
// The text of the shell's tooltip that shows, if one does.
std::wstring ShownTooltip();
POINT Centre(HWND AWindow);
// Moves the pointer there and sends the two mouse events.
void ClickAt(POINT APoint, DWORD ADown, DWORD AUp);
// Where the pointer rests when no icon is hovered.
inline constexpr POINT cPointerAway{900, 900};
// The hidden window that owns a tray icon of the platform's, and the icon's id there.
inline constexpr const wchar_t* cTrayWindowClass = L"TMonitorTrayWindow";
inline constexpr UINT cTrayIconId = 1;
// Where the shell shows the icon of that tray window; false when it shows none (on Windows,
// also when the icon waits in the notification area's overflow).
bool NotifyIconRect(HWND ATray, RECT& APlace);
// The middle of an icon as FindTrayIcon gives it: Wine's icon window, or on Windows the tray
// window whose icon the shell placed.
POINT IconCentre(HWND AIcon);
// The icon whose tooltip reads AHint, each icon hovered in turn, looked for again until AWaitMs
// have passed (the shell adds and changes icons after the call that asked for it); null when
// none does.
HWND FindTrayIcon(platform::IMainThread& AMainThread, const std::wstring& AHint,
                  int AWaitMs = 15000);
// Takes the tray icon of a process's tray window out of the area, as the shell's end does.
bool RemoveTrayIconOf(DWORD AProcess);
// What the shell broadcasts when it has started again.
void AnnounceShellStarted();
// The top-level windows of that class that belong to the process (0: to any).
std::vector<HWND> WindowsOf(DWORD AProcess, const std::wstring& AClass);
// Opens the icon's menu with the right button, as a user does, and clicks the item at
// APosition of ACount shown items in the menu that the process opens; false when no menu
// opened or it stayed open.
bool ChooseFromTrayMenu(platform::IMainThread& AMainThread, DWORD AProcess, HWND AIcon,
                        int APosition, int ACount);
// Closes a menu that opened late, so that it holds no input after the test.
void PressEscape();
#endif

} // namespace test
