// The least a resident Windows program does, for start-up figures beside the monitor's: it
// holds a named mutex and a hidden top-level window of its own class with a message loop, and
// ends when that window is closed. With the argument "tray" it also shows a tray icon, for
// the shell's own share of the time until an icon shows.
#include <windows.h>
// clang-format off
#include <shellapi.h>
// clang-format on

#include <cwchar>

namespace {

constexpr wchar_t cClassName[] = L"TBenchTrivialWindow";
constexpr wchar_t cMutexName[] = L"TBenchTrivialWindow";

LRESULT CALLBACK WindowProc(HWND AWindow, UINT AMsg, WPARAM AWParam, LPARAM ALParam) {
  try {
    if (AMsg == WM_DESTROY) {
      PostQuitMessage(0);
      return 0;
    }
  } catch (...) {
    // Nothing may unwind through the system's dispatch.
  }
  return DefWindowProcW(AWindow, AMsg, AWParam, ALParam);
}

} // namespace

int main() {
  const HANDLE Mutex = CreateMutexW(nullptr, TRUE, cMutexName);
  if (Mutex == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) {
    return 0;
  }
  WNDCLASSEXW Class{};
  Class.cbSize = sizeof(Class);
  Class.lpfnWndProc = WindowProc;
  Class.hInstance = GetModuleHandleW(nullptr);
  Class.lpszClassName = cClassName;
  if (RegisterClassExW(&Class) == 0) {
    return 1;
  }
  // Hidden, top-level and without a task bar entry, as the monitor's own windows are.
  const HWND Window = CreateWindowExW(WS_EX_TOOLWINDOW, cClassName, L"", WS_POPUP, 0, 0, 0, 0,
                                      nullptr, nullptr, Class.hInstance, nullptr);
  if (Window == nullptr) {
    return 1;
  }
  NOTIFYICONDATAW Icon{};
  Icon.cbSize = sizeof(Icon);
  Icon.hWnd = Window;
  Icon.uID = 1;
  Icon.uFlags = NIF_ICON | NIF_TIP;
  Icon.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  std::wcscpy(Icon.szTip, L"trivial");
  const bool Tray = std::wcsstr(GetCommandLineW(), L" tray") != nullptr &&
                    Shell_NotifyIconW(NIM_ADD, &Icon) != FALSE;
  MSG Message{};
  while (GetMessageW(&Message, nullptr, 0, 0) > 0) {
    TranslateMessage(&Message);
    DispatchMessageW(&Message);
  }
  if (Tray) {
    Shell_NotifyIconW(NIM_DELETE, &Icon);
  }
  ReleaseMutex(Mutex);
  CloseHandle(Mutex);
  return static_cast<int>(Message.wParam);
}
