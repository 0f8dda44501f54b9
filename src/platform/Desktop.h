// The desktop's main loop: hidden windows with their message handlers, posted and sent
// messages, window timers, device interface notifications, and the synchronous hand-over of
// work from another thread to the main thread. The main thread is the one that created the
// desktop service.
#pragma once

#include <cstdint>
#include <functional>
#include <thread>

#include "platform/Guid.h"

namespace platform {

using TWindowHandle = uintptr_t;

// Message numbers the system uses.
inline constexpr uint32_t WM_TIMER_MESSAGE = 0x0113;
inline constexpr uint32_t WM_DEVICECHANGE_MESSAGE = 0x0219;
inline constexpr uint32_t WM_USER_MESSAGE = 0x0400;

// wParam values of the device-change message.
inline constexpr uintptr_t DBT_DEVNODES_CHANGED_VALUE = 0x0007;
inline constexpr uintptr_t DBT_DEVICEARRIVAL_VALUE = 0x8000;
inline constexpr uintptr_t DBT_DEVICEREMOVECOMPLETE_VALUE = 0x8004;
inline constexpr uint32_t DBT_DEVTYP_DEVICEINTERFACE_VALUE = 5;

// The header every device broadcast starts with (lParam of arrival and removal).
struct TDevBroadcastHeader {
  uint32_t dbch_size;
  uint32_t dbch_devicetype;
  uint32_t dbch_reserved;
};
static_assert(sizeof(TDevBroadcastHeader) == 12);

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

class IDesktop {
public:
  virtual ~IDesktop() = default;
  // Main thread. Zero on failure.
  virtual TWindowHandle CreateHiddenWindow(TWindowProc AProc) = 0;
  virtual void DestroyHiddenWindow(TWindowHandle AWindow) = 0;
  // Any thread; false when the window does not exist.
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
};

// Main thread: waits until ADone() holds, running the hand-overs of the threads it waits for
// (one of them may be blocked handing a report over).
template <class TDone> void WaitServingHandOvers(IDesktop& ADesktop, TDone ADone) {
  while (!ADone()) {
    ADesktop.WaitForHandOvers(1);
  }
}

} // namespace platform
