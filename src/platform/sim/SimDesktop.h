// The simulated desktop: hidden windows, a message queue, window timers on the virtual clock,
// device notifications and hand-overs to the main thread. Time moves only when a test
// advances it: Advance(1500) fires every timer due on the way, in order. Like the Win32
// backend, it keeps what a window procedure or a hand-over throws out of its dispatch.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/Desktop.h"
#include "platform/Dialogs.h"

namespace platform::sim {

class TSimClock;

class TSimDesktop : public IDesktop {
public:
  TSimDesktop(TSimClock& AClock, IDebugOutput& ADebug);
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
  bool IsMainThread() override { return std::this_thread::get_id() == FMainThread; }

  // Moves the virtual clock forward, firing the timers due on the way in order and handling
  // what they post. Main thread.
  void Advance(uint64_t AMilliseconds);
  // Posts a device-change message to every window registered for AClass; AWParam is the
  // event, ADeviceType the broadcast's device type (5 for a device interface).
  void BroadcastDeviceChange(const TGuid& AClass, uintptr_t AWParam, uint32_t ADeviceType);
  int WindowCount() const;
  bool TimerRunning(TWindowHandle AWindow, uintptr_t AId) const;

private:
  struct TTimer {
    TWindowHandle Window;
    uintptr_t Id;
    uint32_t Interval;
    uint64_t Due;
  };
  struct TRequest {
    const std::function<void()>* Work;
    std::thread::id Origin;
    std::exception_ptr Error;
    bool Done = false;
  };
  struct TRegistration {
    TWindowHandle Window;
    TGuid Class;
  };
  bool RunOneHandOver();
  bool RunOnePending();
  bool FireOneDueTimer();
  void Dispatch(TWindowHandle AWindow, TWindowMessage& AMessage);

  TSimClock& FClock;
  IDebugOutput& FDebug;
  std::thread::id FMainThread;
  // The origins of the hand-overs running on the main thread, innermost last.
  std::vector<std::thread::id> FHandOversRunning;
  mutable std::mutex FLock;
  std::condition_variable FPending;
  std::condition_variable FDone;
  std::map<TWindowHandle, std::shared_ptr<TWindowProc>> FWindows;
  TWindowHandle FNextWindow = 0x1000;
  std::deque<std::pair<TWindowHandle, TWindowMessage>> FQueue;
  std::vector<TTimer> FTimers;
  std::deque<TRequest*> FRequests;
  std::vector<TRegistration> FRegistrations;
};

} // namespace platform::sim
