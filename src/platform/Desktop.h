// The desktop service of a process: every part a backend provides, for the edge that builds
// a process's services and hands them down. A component takes only the parts it calls:
//   MessageWindows.h   hidden windows, posted messages, window timers, device notifications
//   MainThread.h       hand-overs to the main thread and handling its messages
//   SessionWindows.h   main windows, sends and show commands, the session's notifications
//   MessageLoop.h      the message loop and its end
//   NamedMutexes.h     named mutexes of the session
//   TrayAndInfoPage.h  the tray icon and the information page
//   Foreground.h       the window in front
//   Notice.h           a notice on screen
// The message numbers are in WindowMessages.h.
#pragma once

#include "platform/Foreground.h"
#include "platform/MainThread.h"
#include "platform/MessageLoop.h"
#include "platform/MessageWindows.h"
#include "platform/NamedMutexes.h"
#include "platform/Notice.h"
#include "platform/SessionWindows.h"
#include "platform/TrayAndInfoPage.h"

namespace platform {

struct IDesktop : IMessageWindows,
                  IMainThread,
                  ISessionWindows,
                  IMessageLoop,
                  INamedMutexes,
                  ITrayAndInfoPage,
                  IForeground,
                  INotice {};

} // namespace platform
