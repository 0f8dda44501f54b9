// Inside the Win32 backend: the desktop service, and what its tray icon and information page
// take from it.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/Desktop.h"
#include "platform/Dialogs.h"
#include "rtl/Mutex.h"

namespace platform::win32 {

// The controls of an information page and the events of its buttons.
struct TInfoPage {
  TInfoPage() = default;
  TInfoPage(const TInfoPage&) = delete;
  TInfoPage& operator=(const TInfoPage&) = delete;
  ~TInfoPage();

  std::vector<HWND> Labels;
  HWND Address = nullptr;
  HWND OkButton = nullptr;
  HWND WebButton = nullptr;
  HFONT Font = nullptr;
  bool OwnFont = false;
  uint32_t Dpi = 96; // of the monitor the page is on; its controls and font are sized for it
  HICON Icons[2] = {nullptr, nullptr}; // small and big, at that DPI; the page's own
  TInfoPageEvents Events;
};

// Lays the page out on AWindow (sizing and centring it); null when a control cannot be made.
std::shared_ptr<TInfoPage> BuildInfoPage(HWND AWindow, const TInfoPageTexts& ATexts,
                                         TInfoPageEvents AEvents);
void UpdateInfoPage(TInfoPage& APage, HWND AWindow, const TInfoPageTexts& ATexts);
// The page's window moved to a monitor of another DPI (WM_DPICHANGED): font, controls, icons
// and size for it, at the place the platform suggests (null: centred).
void RescaleInfoPage(TInfoPage& APage, HWND AWindow, uint32_t ADpi, const RECT* ASuggested);

// What a window's user data points at. The procedure is shared so that a handler that
// destroys its own window does not destroy the procedure it runs in.
struct THiddenWindow {
  std::shared_ptr<TWindowProc> Proc;
  IDebugOutput* Debug = nullptr;
  std::shared_ptr<TInfoPage> Page;
};

// HandOver: the message-only window that carries hand-overs to the main thread.
enum class TWindowKind { Hidden, Main, Tray, HandOver };

class TWin32Desktop : public IDesktop {
public:
  explicit TWin32Desktop(IDebugOutput& ADebug);
  ~TWin32Desktop() override;

  TWindowHandle CreateHiddenWindow(TWindowProc AProc) override;
  void DestroyHiddenWindow(TWindowHandle AWindow) override;
  bool PostWindowMessage(TWindowHandle AWindow, uint32_t AMsg, uintptr_t AWParam,
                         intptr_t ALParam) override;
  bool StartTimer(TWindowHandle AWindow, uintptr_t AId, uint32_t AIntervalMs) override;
  void StopTimer(TWindowHandle AWindow, uintptr_t AId) override;
  bool RegisterDeviceInterfaceNotification(TWindowHandle AWindow, const TGuid& AClass) override;
  void Synchronize(const std::function<void()>& AWork) override;
  void ProcessMessages() override;
  void WaitAndProcess(uint32_t AMilliseconds) override;
  void WaitForHandOvers(uint32_t AMilliseconds) override;
  bool RunningHandOverFrom(std::thread::id AThread) override;
  bool IsMainThread() override { return GetCurrentThreadId() == FMainThread; }

  TWindowHandle CreateMainWindow(const std::string& AClassName, TWindowProc AProc) override;
  TWindowHandle FindTopLevelWindow(const std::string& AClassName) override;
  TSendResult SendWindowMessage(TWindowHandle AWindow, uint32_t AMsg, uintptr_t AWParam,
                                intptr_t ALParam, intptr_t& AResult) override;
  void ShowWindowCommand(TWindowHandle AWindow, int32_t ACommand) override;
  bool PostShowCommand(TWindowHandle AWindow, int32_t ACommand) override;
  void BringToForeground(TWindowHandle AWindow) override;
  bool WindowVisible(TWindowHandle AWindow) override;
  bool AllowMessageFromLowerIntegrity(TWindowHandle AWindow, uint32_t AMsg) override;
  uint32_t RegisterMessageName(const std::string& AName) override;
  bool RegisterSessionNotification(TWindowHandle AWindow) override;
  void SetApplicationTitle(const std::string& ATitle) override;
  int32_t RunMessageLoop() override;
  void Quit(int32_t AExitCode) override;
  bool NamedMutexExists(const std::string& AName) override;
  std::unique_ptr<INamedMutex> CreateNamedMutex(const std::string& AName,
                                                bool& AAlreadyExisted) override;
  std::unique_ptr<ITrayIcon> CreateTrayIcon(TWindowHandle AOwner, TTrayEvents AEvents) override;
  bool CreateInfoPage(TWindowHandle AWindow, const TInfoPageTexts& ATexts,
                      TInfoPageEvents AEvents) override;
  void SetInfoPageTexts(TWindowHandle AWindow, const TInfoPageTexts& ATexts) override;
  bool WatchForeground(std::function<void()> AOnChange) override;
  void StopWatchingForeground() override;
  std::string ForegroundProgram() override;
  bool ShowNotice(const std::string& AText, uint32_t AMilliseconds) override;

  // A window of the backend's own kind (a tray icon's takes the shell's callbacks).
  TWindowHandle CreateOwnWindow(TWindowKind AKind, const std::wstring& AClassName,
                                TWindowProc AProc);
  IDebugOutput& Debug() { return FDebug; }

private:
  struct TWindow {
    std::unique_ptr<THiddenWindow> State;
    std::vector<HDEVNOTIFY> Notifications;
    TWindowKind Kind = TWindowKind::Hidden;
    bool SessionNotification = false;
  };

  struct THandOver;
  void RunHandOver(THandOver& AHandOver);
  bool OwnWindow(TWindowHandle AWindow, TWindowKind* AKind = nullptr);
  // Takes a WM_QUIT that a message pump other than the loop met.
  bool Dispatch(const MSG& AMessage);

  IDebugOutput& FDebug;
  DWORD FMainThread;
  // The origins of the hand-overs running on the main thread, innermost last.
  std::vector<std::thread::id> FHandOversRunning;
  rtl::TMutex FLock;
  std::map<TWindowHandle, TWindow> FWindows MONITOR_GUARDED_BY(FLock);
  TWindowHandle FSyncWindow = 0;
  // The hand-overs sent and not yet taken: the hand-over window runs nothing else.
  std::set<const THandOver*> FHandOversInFlight MONITOR_GUARDED_BY(FLock);
  std::wstring FTitle;
  // A quit that a pump other than the loop took from the queue; the loop ends on it.
  std::optional<int32_t> FQuit;
  // The hook that tells the foreground changes, and what it runs; main thread only.
  HWINEVENTHOOK FForegroundHook = nullptr;
  std::function<void()> FOnForeground;
};

// The DPI of the system (of the primary monitor, for a process without per-monitor scaling).
uint32_t SystemDpi();

// The notice window of ShowNotice: one a process, made on first use.
bool ShowWin32Notice(const std::string& AText, uint32_t AMilliseconds);
void DestroyWin32Notice();

// Null when its window cannot be made.
std::unique_ptr<ITrayIcon> CreateWin32TrayIcon(TWin32Desktop& ADesktop, TTrayEvents AEvents);
// The class of a tray icon's own window.
std::wstring TrayWindowClass();
// The program's built-in icon (its icon resource 1), else the platform's application icon;
// shared, never destroyed.
HICON ProgramIcon(int ASize);
// The program's icon at exactly ASize pixels, the caller's to destroy; null without one.
HICON LoadProgramIcon(int ASize);

} // namespace platform::win32
