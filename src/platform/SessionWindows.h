// The program's own windows among the session's: main windows that other processes find by
// their class, messages sent and show commands to any top-level window, the message filter
// for processes of lower integrity, registered messages, session notifications and the
// application's title.
//
// Each method's comment says, where it applies and in this order: who calls it and on which
// thread; whether it blocks and on what; what failure looks like; who owns what it hands back.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Window.h"

namespace platform {

enum class TSendResult {
  Sent,     // the receiver handled it; the answer is in AResult
  NoWindow, // no such window (it may have gone between lookup and send)
  Hung,     // the platform reports the receiver hung: the send was given up
  Refused   // the platform refused it (a receiver of higher integrity that filters it out)
};

class ISessionWindows {
public:
  virtual ~ISessionWindows() = default;
  // Main thread: a hidden top-level window of class AClassName that other processes find by
  // its class (never a message-only window).
  // Zero on failure.
  // The window is this desktop's until IMessageWindows::DestroyHiddenWindow or the desktop's
  // end; AProc runs on the main thread and is kept until then.
  virtual TWindowHandle CreateMainWindow(const std::string& AClassName, TWindowProc AProc) = 0;
  // Any thread: any visible or hidden top-level window of that class (compared without regard
  // to case, as the platform does; any title, any process). Message-only windows are never
  // found, and neither are the desktop's hidden windows.
  // 0 when there is none.
  virtual TWindowHandle FindTopLevelWindow(const std::string& AClassName) = 0;
  // Main thread: sends and waits while the receiver is responsive; gives up when the platform
  // reports the receiver hung. Hand-overs to this thread keep being served while it waits.
  // AResult is set only when the result is Sent.
  virtual TSendResult SendWindowMessage(TWindowHandle AWindow, uint32_t AMsg, uintptr_t AWParam,
                                        intptr_t ALParam, intptr_t& AResult) = 0;
  // Main thread: show command (SW_*_VALUE) for any top-level window. For another process's
  // window it waits until that window's thread has handled it, forever if it hangs: use
  // PostShowCommand there.
  virtual void ShowWindowCommand(TWindowHandle AWindow, int32_t ACommand) = 0;
  // Any thread: the show command for any top-level window, handed to the window's own thread
  // without waiting for it (a hung window shows once it answers again).
  // False for no window.
  virtual bool PostShowCommand(TWindowHandle AWindow, int32_t ACommand) = 0;
  // Any thread; does not wait for the window's thread. The platform may refuse it silently
  // (it lets only some processes take the foreground).
  virtual void BringToForeground(TWindowHandle AWindow) = 0;
  // Any thread; false also for no window.
  virtual bool WindowVisible(TWindowHandle AWindow) = 0;
  // Main thread: lets AMsg reach AWindow (a window of this desktop) from a process of lower
  // integrity, so that an elevated monitor still hears a configuration program that is not.
  // False when the window is not ours or the platform refused; true also where the platform
  // has no such filter.
  virtual bool AllowMessageFromLowerIntegrity(TWindowHandle AWindow, uint32_t AMsg) = 0;
  // Any thread: the session-wide number of a registered message ("TaskbarCreated"); the same
  // name (without regard to case) gives the same number.
  // 0 on failure (an empty name).
  virtual uint32_t RegisterMessageName(const std::string& AName) = 0;
  // Main thread: WM_WTSSESSION_CHANGE_MESSAGE to AWindow (a window of this desktop) for this
  // session (lock, unlock, ...) until the window goes.
  // False when the window is not ours or the platform refused (early at logon the session
  // services may not be up yet: try again).
  virtual bool RegisterSessionNotification(TWindowHandle AWindow) = 0;
  // Main thread: the application's title, the text of the main windows (those created later
  // too; it shows where a main window has a task bar entry or a caption).
  virtual void SetApplicationTitle(const std::string& ATitle) = 0;
};

} // namespace platform
