// The simulated desktop of one simulated process: its windows in the session it shares with
// the test's other processes, its message queue, window timers on the session's virtual
// clock, device notifications and hand-overs to its main thread (the thread that created
// it). Time moves only when a test advances it: Advance(1500) fires every timer due on the
// way, in order. Like the Win32 backend, it keeps what a window procedure or a hand-over
// throws out of its dispatch.
//
// Every simulated process of a test runs on the test's thread: a sent message runs the
// receiver's procedure at once, whichever process it belongs to.
//
// The message loop (RunMessageLoop) handles hand-overs and posted messages as they come and
// the timers that are due, and waits for more; it never moves the clock. A test drives it
// from its own thread with hand-overs (Synchronize([&] { Desktop.Advance(1500); }) moves
// time on the main thread), with posted messages, or with Quit; or, on one thread, posts what
// the loop should handle and calls Quit before running it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "backend/sim/SimSession.h"
#include "platform/Desktop.h"
#include "platform/Dialogs.h"
#include "rtl/Mutex.h"

namespace platform::sim {

class TSimDesktop : public IDesktop {
public:
  TSimDesktop(TSimSession& ASession, IDebugOutput& ADebug);
  // The process ends: its windows go, its tray icons must have gone before.
  ~TSimDesktop() override;
  TSimDesktop(const TSimDesktop&) = delete;
  TSimDesktop& operator=(const TSimDesktop&) = delete;
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

  // The notices shown, each with the clock's tick count when it was shown; the first from
  // AFrom on. A notice is on screen until its time is up or the next one replaces it.
  struct TNotice {
    std::string Text;
    uint32_t Milliseconds = 0;
    uint64_t ShownAt = 0;
  };
  std::vector<TNotice> Notices(std::size_t AFrom = 0) const;
  // The notice on screen now, if any.
  std::optional<TNotice> NoticeShown() const;

  TSimSession& Session() { return FSession; }
  // Hand-overs waiting for the main thread to run them.
  int PendingHandOvers() const;
  // How many window procedures and hand-overs the main thread is inside: 1 in a hand-over the
  // loop runs, more when a handler handles messages itself. Main thread.
  int DispatchDepth() const { return FDispatchDepth; }
  // An elevated process: what a process of lower integrity posts or sends to its windows
  // gets through only where AllowMessageFromLowerIntegrity let it.
  void SetElevated(bool AElevated) { FElevated = AElevated; }
  bool Elevated() const { return FElevated; }
  const std::string& ApplicationTitle() const { return FTitle; }

  // Moves the virtual clock forward, firing the timers due on the way in order and handling
  // what they post. Main thread.
  void Advance(uint64_t AMilliseconds);
  // Posts a device-change message to every window registered for AClass; AWParam is the
  // event, ADeviceType the broadcast's device type (5 for a device interface).
  void BroadcastDeviceChange(const TGuid& AClass, uintptr_t AWParam, uint32_t ADeviceType);
  // Sends a device-change message to one of this process's windows and returns its answer,
  // as the system sends a handle notification (the query to remove a device waits for it).
  // Main thread; 1 (no objection) when the window is not this process's.
  intptr_t SendDeviceChange(TWindowHandle AWindow, uintptr_t AWParam, intptr_t ALParam);
  int WindowCount() const;
  bool TimerRunning(TWindowHandle AWindow, uintptr_t AId) const;
  // When that timer fires next, on the clock's tick count; nothing when it does not run.
  std::optional<uint64_t> TimerDue(TWindowHandle AWindow, uintptr_t AId) const;
  // When the first of this process's timers fires.
  std::optional<uint64_t> NextTimerDue() const;

  // What the main thread has done so far, for the idle-cost benchmarks: the message loop's
  // waits that returned (its own 10 ms poll included), hand-overs run, posted messages and
  // timer messages dispatched (by the loop or by any other pump). Readable from any thread.
  struct TActivity {
    uint64_t LoopWaits = 0;
    uint64_t HandOvers = 0;
    uint64_t Posted = 0;
    uint64_t Timers = 0;
  };
  TActivity Activity() const;

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
  // Whether a hand-over, a message or the quit came within a few turns of the scheduler.
  bool SomethingCameWithinTurns();
  void Dispatch(TWindowHandle AWindow, TWindowMessage& AMessage);
  // Called by the session with its lock held.
  void Enqueue(TWindowHandle AWindow, const TWindowMessage& AMessage);
  friend class TSimSession;

  TSimSession& FSession;
  TSimClock& FClock;
  IDebugOutput& FDebug;
  std::thread::id FMainThread;
  // The origins of the hand-overs running on the main thread, innermost last.
  std::vector<std::thread::id> FHandOversRunning;
  int FDispatchDepth = 0;
  mutable rtl::TMutex FLock;
  std::condition_variable FPending;
  std::condition_variable FDone;
  std::atomic<bool> FElevated{false};
  std::string FTitle;
  std::vector<TNotice> FNotices MONITOR_GUARDED_BY(FLock);
  // The exit code of a Quit that the loop has not taken yet.
  std::optional<int32_t> FQuit MONITOR_GUARDED_BY(FLock);
  std::deque<std::pair<TWindowHandle, TWindowMessage>> FQueue MONITOR_GUARDED_BY(FLock);
  std::vector<TTimer> FTimers MONITOR_GUARDED_BY(FLock);
  std::deque<TRequest*> FRequests MONITOR_GUARDED_BY(FLock);
  std::vector<TRegistration> FRegistrations MONITOR_GUARDED_BY(FLock);
  std::atomic<uint64_t> FLoopWaits{0};
  std::atomic<uint64_t> FHandOversRun{0};
  std::atomic<uint64_t> FPostedRun{0};
  std::atomic<uint64_t> FTimersRun{0};
};

} // namespace platform::sim
