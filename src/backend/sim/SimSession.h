// The session that the simulated processes of one test share, as the processes of one user's
// logon share theirs: the windows (each owned by the desktop of one process), the named
// mutexes, the registered message names, the foreground window, the notification area and
// the virtual clock. A test reads and drives it: it hangs a window, restarts the shell,
// clicks the tray icon and the information page's buttons, announces a session unlock or a
// resume from sleep.
//
// What the platform takes from the user or from another process reaches a process as a
// message that its own loop handles: a click, a menu choice, a broadcast only runs its
// handler when that process's desktop next handles its messages (ProcessMessages,
// WaitAndProcess, Advance or its message loop).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "backend/sim/SimClock.h"
#include "platform/Desktop.h"
#include "rtl/Mutex.h"

namespace platform::sim {

class TSimDesktop;
class TSimTrayIcon;

// What the notification area shows of one icon.
struct TSimTrayIconState {
  TWindowHandle Owner = 0;
  std::string Hint;
  std::string IconFile; // "" for the program's built-in icon
  std::vector<TTrayMenuItem> Menu;
};

class TSimSession {
public:
  TSimSession() = default;
  TSimSession(const TSimSession&) = delete;
  TSimSession& operator=(const TSimSession&) = delete;

  TSimClock Clock;

  // ---- Windows ----
  // The receiver stops handling messages, as far as the platform can tell: a send to it is
  // given up at once; posted messages and posted show commands still queue (a show waits until
  // it answers again); a synchronous show from another process would wait for ever, which
  // throws std::logic_error here.
  void SetHung(TWindowHandle AWindow, bool AHung);
  bool WindowExists(TWindowHandle AWindow) const;
  std::string WindowClass(TWindowHandle AWindow) const;
  std::string WindowTitle(TWindowHandle AWindow) const;
  TWindowHandle Foreground() const;
  // The messages a window lets through from processes of lower integrity.
  std::vector<uint32_t> AllowedMessages(TWindowHandle AWindow) const;
  bool SessionNotificationRegistered(TWindowHandle AWindow) const;
  // WM_WTSSESSION_CHANGE (wParam AEvent) to every window registered for it.
  void BroadcastSessionChange(uintptr_t AEvent);
  // WM_POWERBROADCAST (wParam AEvent) to every top-level window, as the platform does.
  void BroadcastPowerEvent(uintptr_t AEvent);
  // The registered message to every top-level window, sent by the shell (a process of
  // ordinary integrity).
  void BroadcastFromShell(uint32_t AMsg);

  // ---- Named mutexes ----
  bool MutexExists(const std::string& AName) const;
  // Another process creates the mutex AName right after the next check whether it exists
  // (that check still finds none), and holds it for the rest of the session: two starts at
  // the same moment.
  void CreateMutexAfterNextCheck(const std::string& AName);

  // ---- The notification area ----
  std::vector<TSimTrayIconState> TrayIcons() const;
  // A click on the icon AIndex (primary button).
  void ClickTrayIcon(std::size_t AIndex = 0);
  // The menu opened on icon AIndex and the item AId chosen; throws std::logic_error when the
  // menu shows no such item (an invisible or unknown one cannot be chosen).
  void ChooseTrayMenuItem(uint32_t AId, std::size_t AIndex = 0);
  // The shell ends and starts again: every icon leaves the area and the shell broadcasts
  // "TaskbarCreated", to which a tray icon answers by adding itself again.
  void RestartShell();
  // While the shell is not running, adding an icon fails.
  void SetShellRunning(bool ARunning);
  // The shell runs but is too busy to answer (early at logon): the next ACount additions of an
  // icon fail, and no "TaskbarCreated" follows.
  void RefuseTrayAdds(std::size_t ACount);
  // The session services are not up yet: the next ACount registrations for session change
  // notifications fail.
  void RefuseSessionNotifications(std::size_t ACount);

  // ---- The program in front ----
  // A window of the program at APath comes to the front ("" for none: the desktop itself);
  // every process watching the foreground is told through its message loop.
  void SetForegroundProgram(const std::string& APath);
  std::string ForegroundProgram() const;
  // The processes that watch the foreground now.
  std::size_t ForegroundWatchers() const;

  // ---- The information page ----
  // The page's texts on a window; nothing when it has no page.
  std::optional<TInfoPageTexts> InfoPage(TWindowHandle AWindow) const;
  // A click on the page's OK or web button; throws std::logic_error when the page is not
  // visible (nobody can click it then).
  void ClickInfoPageOK(TWindowHandle AWindow);
  void ClickInfoPageWeb(TWindowHandle AWindow);

private:
  friend class TSimDesktop;
  friend class TSimTrayIcon;

  struct TInfoPage {
    TInfoPageTexts Texts;
    TInfoPageEvents Events;
  };
  struct TWindow {
    TSimDesktop* Owner = nullptr;
    std::string ClassName; // "" for a hidden window: never found by class
    bool Main = false;
    bool Visible = false;
    bool Hung = false;
    std::optional<int32_t> PendingShow; // a posted show command waiting for a hung window
    bool SessionNotification = false;
    std::string Title;
    std::shared_ptr<TWindowProc> Proc;
    std::vector<uint32_t> Allowed;
    std::shared_ptr<TInfoPage> Page;
  };

  TWindowHandle AddWindow(TSimDesktop& AOwner, std::string AClassName, bool AMain,
                          TWindowProc AProc, const std::string& ATitle);
  void RemoveWindow(TWindowHandle AWindow);
  bool IsOwnWindow(const TSimDesktop& ADesktop, TWindowHandle AWindow) const;
  // With the lock held: null unless AWindow exists and belongs to ADesktop.
  TWindow* OwnWindowLocked(const TSimDesktop& ADesktop, TWindowHandle AWindow);
  uint32_t RegisterName(const std::string& AName);
  std::unique_ptr<INamedMutex> HoldMutex(const std::string& AName);
  // The check of a mutex's existence, with a race that a test set up played after it.
  bool CheckMutex(const std::string& AName);
  std::shared_ptr<TWindowProc> WindowProc(TWindowHandle AWindow) const;
  std::shared_ptr<TInfoPage> WindowPage(TWindowHandle AWindow) const;
  // Queues a message for the window's process. ASender is the posting process (null for the
  // shell or the user's input); a process of lower integrity than the receiver's gets
  // through only with what the receiver allowed. False when it did not get through.
  bool Post(const TSimDesktop* ASender, TWindowHandle AWindow, const TWindowMessage& AMessage,
            bool AFromInput = false);
  bool Filtered(const TSimDesktop* ASender, const TWindow& AReceiver, uint32_t AMsg) const;
  void ClickInfoPage(TWindowHandle AWindow, uintptr_t AButton);
  std::vector<TWindowHandle> TopLevelWindows() const;

  void AddTrayIcon(TSimTrayIcon& AIcon);
  void RemoveTrayIcon(TSimTrayIcon& AIcon);

  mutable rtl::TMutex FLock;
  std::map<TWindowHandle, TWindow> FWindows;
  TWindowHandle FNextWindow = 0x1000;
  TWindowHandle FForeground = 0;
  std::map<std::string, int> FMutexes;
  std::map<std::string, uint32_t> FMessageNames;
  uint32_t FNextMessageNumber = 0xC000;
  std::vector<TSimTrayIcon*> FTray;
  bool FShellRunning = true;
  std::size_t FTrayAddsRefused = 0;
  std::size_t FSessionNotificationsRefused = 0;
  std::vector<std::string> FMutexRaces;
  std::string FForegroundProgram;
  // Each watching process's window that is told of a change.
  std::map<const TSimDesktop*, TWindowHandle> FForegroundWatch;
  // Mutexes other processes hold; last, so they go before the map they count in.
  std::vector<std::unique_ptr<INamedMutex>> FOtherHolders;
};

// Private messages of the simulated backend, below the registered messages' range.
inline constexpr uint32_t cSimTrayCallbackMessage = 0xBF00;
inline constexpr uint32_t cSimInfoPageClickMessage = 0xBF01;
inline constexpr uint32_t cSimForegroundMessage = 0xBF02;
inline constexpr uintptr_t cSimTrayClick = 0;
inline constexpr uintptr_t cSimTrayMenuItem = 1;
inline constexpr uintptr_t cSimInfoPageOK = 0;
inline constexpr uintptr_t cSimInfoPageWeb = 1;

} // namespace platform::sim
