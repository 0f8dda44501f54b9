// Hidden windows with their message handlers, messages posted to any window, window timers
// and device interface notifications: how a component of the main thread is told things on
// that thread. The main thread is the one that created the desktop service (MainThread.h).
//
// Each method's comment says, where it applies and in this order: who calls it and on which
// thread; whether it blocks and on what; what failure looks like; who owns what it hands back.
#pragma once

#include <cstdint>

#include "platform/Guid.h"
#include "platform/Window.h"

namespace platform {

class IMessageWindows {
public:
  virtual ~IMessageWindows() = default;
  // Main thread; does not block.
  // Zero on failure.
  // The window is this desktop's until DestroyHiddenWindow or the desktop's end; AProc runs
  // on the main thread, from whatever handles its messages, and is kept until then.
  virtual TWindowHandle CreateHiddenWindow(TWindowProc AProc) = 0;
  // Main thread: destroys a window this desktop created, hidden or main, with its timers, its
  // notifications and the messages still queued for it; nothing for any other window.
  virtual void DestroyHiddenWindow(TWindowHandle AWindow) = 0;
  // Any thread, to any window of the session; queues the message and does not wait for the
  // receiver.
  // False when the window does not exist or the platform refused the message (a receiver of
  // higher integrity that filters it out).
  virtual bool PostWindowMessage(TWindowHandle AWindow, uint32_t AMsg, uintptr_t AWParam,
                                 intptr_t ALParam) = 0;
  // Main thread: a periodic WM_TIMER_MESSAGE with wParam AId to AWindow (one of this
  // desktop's) until stopped; starting a running timer again restarts its interval.
  // False when the window is not one of this desktop's or the platform refused.
  virtual bool StartTimer(TWindowHandle AWindow, uintptr_t AId, uint32_t AIntervalMs) = 0;
  // Main thread; nothing for a timer that does not run.
  virtual void StopTimer(TWindowHandle AWindow, uintptr_t AId) = 0;
  // Main thread: device-change messages to AWindow (one of this desktop's) for arrivals and
  // removals of interfaces of AClass.
  // False when the window is not one of this desktop's or the platform refused.
  // The registration lives as long as the window.
  virtual bool RegisterDeviceInterfaceNotification(TWindowHandle AWindow, const TGuid& AClass) = 0;
};

} // namespace platform
