// The desktop's main loop: hidden windows with their message handlers, posted and sent
// messages, window timers, device interface notifications, and the synchronous hand-over of
// work from another thread to the main thread. The main thread is the one that created the
// desktop service.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/Guid.h"

namespace platform {

using TWindowHandle = uintptr_t;

// Message numbers the system uses.
inline constexpr uint32_t WM_CLOSE_MESSAGE = 0x0010;
inline constexpr uint32_t WM_QUERYENDSESSION_MESSAGE = 0x0011;
inline constexpr uint32_t WM_ENDSESSION_MESSAGE = 0x0016;
inline constexpr uint32_t WM_TIMER_MESSAGE = 0x0113;
inline constexpr uint32_t WM_POWERBROADCAST_MESSAGE = 0x0218;
inline constexpr uint32_t WM_WTSSESSION_CHANGE_MESSAGE = 0x02B1;
inline constexpr uint32_t WM_DEVICECHANGE_MESSAGE = 0x0219;
inline constexpr uint32_t WM_USER_MESSAGE = 0x0400;

// wParam values of the device-change message.
inline constexpr uintptr_t DBT_DEVNODES_CHANGED_VALUE = 0x0007;
inline constexpr uintptr_t DBT_DEVICEARRIVAL_VALUE = 0x8000;
inline constexpr uintptr_t DBT_DEVICEQUERYREMOVE_VALUE = 0x8001;
inline constexpr uintptr_t DBT_DEVICEQUERYREMOVEFAILED_VALUE = 0x8002;
inline constexpr uintptr_t DBT_DEVICEREMOVEPENDING_VALUE = 0x8003;
inline constexpr uintptr_t DBT_DEVICEREMOVECOMPLETE_VALUE = 0x8004;
inline constexpr uint32_t DBT_DEVTYP_DEVICEINTERFACE_VALUE = 5;
inline constexpr uint32_t DBT_DEVTYP_HANDLE_VALUE = 6;
// The answer to a query that refuses it; any other answer allows it.
inline constexpr intptr_t BROADCAST_QUERY_DENY_VALUE = 0x424D5144;

// wParam values of the power broadcast and of the session change message.
inline constexpr uintptr_t PBT_APMRESUMESUSPEND_VALUE = 0x0007;
inline constexpr uintptr_t PBT_APMRESUMEAUTOMATIC_VALUE = 0x0012;
inline constexpr uintptr_t WTS_SESSION_UNLOCK_VALUE = 0x0008;

// Show commands.
inline constexpr int32_t SW_HIDE_VALUE = 0;
inline constexpr int32_t SW_SHOWNORMAL_VALUE = 1;
inline constexpr int32_t SW_SHOW_VALUE = 5;

// The header every device broadcast starts with (lParam of arrival and removal).
struct TDevBroadcastHeader {
  uint32_t dbch_size;
  uint32_t dbch_devicetype;
  uint32_t dbch_reserved;
};
static_assert(sizeof(TDevBroadcastHeader) == 12);

// The broadcast of a handle notification (lParam of the query to remove a device, of its
// failure and of the removal): the handle it was registered for and the registration.
struct TDevBroadcastHandle {
  uint32_t dbch_size;
  uint32_t dbch_devicetype;
  uint32_t dbch_reserved;
  uintptr_t dbch_handle;
  uintptr_t dbch_hdevnotify;
  TGuid dbch_eventguid;
  int32_t dbch_nameoffset;
  uint8_t dbch_data[1];
};
static_assert(sizeof(void*) != 8 || sizeof(TDevBroadcastHandle) == 56);
static_assert(sizeof(void*) != 8 || offsetof(TDevBroadcastHandle, dbch_handle) == 16);
static_assert(sizeof(void*) != 8 || offsetof(TDevBroadcastHandle, dbch_hdevnotify) == 24);
static_assert(sizeof(void*) != 8 || offsetof(TDevBroadcastHandle, dbch_nameoffset) == 48);

struct TWindowMessage {
  uint32_t Msg;
  uintptr_t WParam;
  intptr_t LParam;
  intptr_t Result = 0;
};

// Returns true when it handled the message (Result is then returned); false passes it to the
// platform's default handling. What a window procedure throws never unwinds through the
// platform's dispatch (on 64-bit Windows that may end the process): the desktop catches it,
// writes one line to the debugger output and gives the message its default handling.
using TWindowProc = std::function<bool(TWindowMessage& AMessage)>;

// A named mutex of the session, held while this object lives; released and closed with it,
// on the thread that created it (the platform ties a mutex's ownership to a thread).
class INamedMutex {
public:
  virtual ~INamedMutex() = default;
};

enum class TSendResult {
  Sent,     // the receiver handled it; the answer is in AResult
  NoWindow, // no such window (it may have gone between lookup and send)
  Hung,     // the platform reports the receiver hung: the send was given up
  Refused   // the platform refused it (a receiver of higher integrity that filters it out)
};

// The tray icon: an icon, a hint, a popup menu. Created hidden; Show adds it to the
// notification area (and the backend adds it again whenever the shell restarts). The icon
// leaves the notification area when this object goes. Menu item identifiers are 1 to
// cMaxMenuItemId (the platform reports a chosen item in 16 bits and uses 0 for none).
inline constexpr uint32_t cMaxMenuItemId = 0xFFFF;
// The hint is cut to this many UTF-16 units, never inside a surrogate pair.
inline constexpr std::size_t cMaxTrayHintUnits = 127;

struct TTrayMenuItem {
  uint32_t Id = 0;
  std::string Caption;
  bool Visible = true; // an invisible item is kept but left out of the menu
};

struct TTrayEvents {
  // A click on the icon (the primary button).
  std::function<void()> OnClick;
  // A visible menu item chosen; the menu opens on the secondary button.
  std::function<void(uint32_t AId)> OnMenuItem;
};

class ITrayIcon {
public:
  virtual ~ITrayIcon() = default;
  // Loads the icon from an icon file; false (the icon unchanged: at first the program's
  // built-in icon) when the file is missing or not an icon.
  virtual bool LoadIconFile(const std::string& APath) = 0;
  virtual void SetHint(const std::string& AHint) = 0;
  // Throws std::invalid_argument for an identifier outside 1 to cMaxMenuItemId.
  virtual void SetMenu(const std::vector<TTrayMenuItem>& AItems) = 0;
  // Changes the caption of the item AId, visible or not; nothing for an unknown item.
  virtual void SetMenuCaption(uint32_t AId, const std::string& ACaption) = 0;
  // Adds the icon to the notification area; false when the shell refused it (it is added
  // when the shell announces that it has started).
  virtual bool Show() = 0;
};

// The information page: a plain window of the platform's standard controls (a label per
// line, the web address, an OK button and a web button) laid out on a main window of the
// desktop's, 504 x 400 client pixels, centred on the screen, hidden until shown.
inline constexpr int32_t cInfoPageWidth = 504;
inline constexpr int32_t cInfoPageHeight = 400;

struct TInfoPageTexts {
  std::vector<std::string> Lines;
  std::string WebAddress;
  std::string OkCaption;
  std::string WebCaption;
};

struct TInfoPageEvents {
  std::function<void()> OnOK;
  std::function<void()> OnGoWeb;
};

class IDesktop {
public:
  virtual ~IDesktop() = default;
  // Main thread. Zero on failure.
  virtual TWindowHandle CreateHiddenWindow(TWindowProc AProc) = 0;
  // Main thread: destroys a window this desktop created, hidden or main.
  virtual void DestroyHiddenWindow(TWindowHandle AWindow) = 0;
  // Any thread; false when the window does not exist or the platform refused the message.
  virtual bool PostWindowMessage(TWindowHandle AWindow, uint32_t AMsg, uintptr_t AWParam,
                                 intptr_t ALParam) = 0;
  // Main thread: a periodic WM_TIMER with wParam AId to the window until stopped.
  virtual bool StartTimer(TWindowHandle AWindow, uintptr_t AId, uint32_t AIntervalMs) = 0;
  virtual void StopTimer(TWindowHandle AWindow, uintptr_t AId) = 0;
  // Main thread: device-change messages for arrivals and removals of interfaces of AClass.
  virtual bool RegisterDeviceInterfaceNotification(TWindowHandle AWindow, const TGuid& AClass) = 0;
  // Another thread: runs AWork on the main thread and returns when it has run. On the main
  // thread itself it runs at once. A hand-over always completes: what AWork throws is caught
  // on the main thread and thrown again here, on the calling thread.
  virtual void Synchronize(const std::function<void()>& AWork) = 0;
  // Main thread: handles every pending message, timer and hand-over, then returns.
  virtual void ProcessMessages() = 0;
  // Main thread: blocks until a message, timer or hand-over is pending or AMilliseconds
  // passed, then handles what is pending.
  virtual void WaitAndProcess(uint32_t AMilliseconds) = 0;
  // Main thread: blocks until a hand-over is pending or AMilliseconds passed, then runs the
  // pending hand-overs and nothing else (no posted message, no timer), so that a stop waiting
  // for threads cannot re-enter the component that is stopping.
  virtual void WaitForHandOvers(uint32_t AMilliseconds) = 0;
  // Main thread: true while a hand-over from AThread is running on the main thread's stack;
  // that thread waits for the main thread, so the main thread must never wait for it.
  virtual bool RunningHandOverFrom(std::thread::id AThread) = 0;
  virtual bool IsMainThread() = 0;

  // ---- The program's own windows and the rest of the session ----

  // Main thread: a hidden top-level window of class AClassName that other processes find by
  // its class (never a message-only window). Zero on failure.
  virtual TWindowHandle CreateMainWindow(const std::string& AClassName, TWindowProc AProc) = 0;
  // Any visible or hidden top-level window of that class (compared without regard to case,
  // as the platform does; any title, any process); 0 when there is none. Message-only
  // windows are never found, and neither are the desktop's hidden windows.
  virtual TWindowHandle FindTopLevelWindow(const std::string& AClassName) = 0;
  // Main thread: sends and waits while the receiver is responsive; gives up when the platform
  // reports the receiver hung. Hand-overs to this thread keep being served while it waits.
  // AResult is set only when the result is Sent.
  virtual TSendResult SendWindowMessage(TWindowHandle AWindow, uint32_t AMsg, uintptr_t AWParam,
                                        intptr_t ALParam, intptr_t& AResult) = 0;
  // Show command (SW_*_VALUE) for any top-level window. For another process's window it waits
  // until that window's thread has handled it, forever if it hangs: use PostShowCommand there.
  virtual void ShowWindowCommand(TWindowHandle AWindow, int32_t ACommand) = 0;
  // Any thread: the show command for any top-level window, handed to the window's own thread
  // without waiting for it (a hung window shows once it answers again). False for no window.
  virtual bool PostShowCommand(TWindowHandle AWindow, int32_t ACommand) = 0;
  // Any thread; does not wait for the window's thread.
  virtual void BringToForeground(TWindowHandle AWindow) = 0;
  virtual bool WindowVisible(TWindowHandle AWindow) = 0;
  // Main thread: lets AMsg reach AWindow (a window of this desktop) from a process of lower
  // integrity, so that an elevated monitor still hears a configuration program that is not.
  // True also where the platform has no such filter.
  virtual bool AllowMessageFromLowerIntegrity(TWindowHandle AWindow, uint32_t AMsg) = 0;
  // Any thread: the session-wide number of a registered message ("TaskbarCreated"); the same
  // name (without regard to case) gives the same number. 0 on failure.
  virtual uint32_t RegisterMessageName(const std::string& AName) = 0;
  // Main thread: WM_WTSSESSION_CHANGE_MESSAGE to AWindow (a window of this desktop) for this
  // session (lock, unlock, ...) until the window goes. False when the window is not ours or the
  // platform refused (early at logon the session services may not be up yet: try again).
  virtual bool RegisterSessionNotification(TWindowHandle AWindow) = 0;
  // Main thread: the application's title, the text of the main windows (those created later
  // too; it shows where a main window has a task bar entry or a caption).
  virtual void SetApplicationTitle(const std::string& ATitle) = 0;
  // Main thread: the message loop, until Quit; returns the exit code given to Quit.
  virtual int32_t RunMessageLoop() = 0;
  // Any thread: ends the message loop once the messages already posted are handled (timers
  // due after that no longer fire).
  virtual void Quit(int32_t AExitCode) = 0;

  // A named mutex of the session (names compared with regard to case): whether one exists
  // (opened with full access, then closed; one that exists but refuses this process counts
  // as existing), and creating one initially owned (null on failure; a mutex that already
  // exists is opened instead, without ownership, and AAlreadyExisted says so: another process
  // created it between a check and this call).
  virtual bool NamedMutexExists(const std::string& AName) = 0;
  virtual std::unique_ptr<INamedMutex> CreateNamedMutex(const std::string& AName,
                                                        bool& AAlreadyExisted) = 0;

  // Main thread: the tray icon of AOwner (a window of this desktop; null for any other), with
  // the program's built-in icon; its events run on the main thread.
  virtual std::unique_ptr<ITrayIcon> CreateTrayIcon(TWindowHandle AOwner, TTrayEvents AEvents) = 0;
  // Main thread: the information page's controls on AWindow (a main window of this desktop;
  // false for any other), which is sized and centred for them; a second call replaces them.
  // The events run on the main thread.
  virtual bool CreateInfoPage(TWindowHandle AWindow, const TInfoPageTexts& ATexts,
                              TInfoPageEvents AEvents) = 0;
  // Main thread: new texts (a translation) for the page's controls; nothing without a page.
  virtual void SetInfoPageTexts(TWindowHandle AWindow, const TInfoPageTexts& ATexts) = 0;

  // ---- The window in front ----

  // Main thread: AOnChange runs on the main thread, from its message loop, each time another
  // window comes to the front, until StopWatchingForeground (a second call replaces it).
  // The platform tells the change: nothing runs and nothing wakes while the front stays.
  // False when the platform refused.
  virtual bool WatchForeground(std::function<void()> AOnChange) = 0;
  virtual void StopWatchingForeground() = 0;
  // Any thread: the full path of the program whose window is in front; "" when no window is,
  // or its program cannot be asked (a protected process, one that has ended).
  virtual std::string ForegroundProgram() = 0;

  // ---- A notice on screen ----

  // Main thread: shows AText (lines split by "\n") for AMilliseconds in a small window that
  // never takes the focus, the input or the foreground (a full-screen game keeps them): top-
  // most, shown without activation, transparent to the mouse, on the monitor where the pointer
  // is and sized for that monitor's DPI. One window, reused: a new notice replaces the one
  // shown and starts its time again. False when it cannot be shown.
  virtual bool ShowNotice(const std::string& AText, uint32_t AMilliseconds) = 0;
};

// Main thread: waits until ADone() holds, running the hand-overs of the threads it waits for
// (one of them may be blocked handing a report over).
template <class TDone> void WaitServingHandOvers(IDesktop& ADesktop, TDone ADone) {
  while (!ADone()) {
    ADesktop.WaitForHandOvers(1);
  }
}

} // namespace platform
