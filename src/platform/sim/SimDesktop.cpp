#include "platform/sim/SimDesktop.h"

#include <algorithm>
#include <chrono>

#include "platform/sim/SimWorld.h"
#include "rtl/Guarded.h"

namespace platform::sim {

namespace {
// The broadcast headers the device-change messages point at; they live for the process.
const TDevBroadcastHeader* BroadcastHeader(uint32_t ADeviceType) {
  static std::mutex Lock;
  static std::map<uint32_t, std::unique_ptr<TDevBroadcastHeader>> Headers;
  std::lock_guard<std::mutex> Guard(Lock);
  auto& Header = Headers[ADeviceType];
  if (!Header) {
    Header = std::make_unique<TDevBroadcastHeader>(
        TDevBroadcastHeader{sizeof(TDevBroadcastHeader), ADeviceType, 0});
  }
  return Header.get();
}
} // namespace

TSimDesktop::TSimDesktop(TSimClock& AClock, IDebugOutput& ADebug)
    : FClock(AClock), FDebug(ADebug), FMainThread(std::this_thread::get_id()) {}

TWindowHandle TSimDesktop::CreateHiddenWindow(TWindowProc AProc) {
  std::lock_guard<std::mutex> Guard(FLock);
  const TWindowHandle Window = ++FNextWindow;
  FWindows[Window] = std::make_shared<TWindowProc>(std::move(AProc));
  return Window;
}

void TSimDesktop::DestroyHiddenWindow(TWindowHandle AWindow) {
  std::lock_guard<std::mutex> Guard(FLock);
  FWindows.erase(AWindow);
  FQueue.erase(std::remove_if(FQueue.begin(), FQueue.end(),
                              [AWindow](const auto& AItem) { return AItem.first == AWindow; }),
               FQueue.end());
  FTimers.erase(
      std::remove_if(FTimers.begin(), FTimers.end(),
                     [AWindow](const TTimer& ATimer) { return ATimer.Window == AWindow; }),
      FTimers.end());
  FRegistrations.erase(
      std::remove_if(FRegistrations.begin(), FRegistrations.end(),
                     [AWindow](const TRegistration& AItem) { return AItem.Window == AWindow; }),
      FRegistrations.end());
}

bool TSimDesktop::PostWindowMessage(TWindowHandle AWindow, uint32_t AMsg, uintptr_t AWParam,
                                    intptr_t ALParam) {
  {
    std::lock_guard<std::mutex> Guard(FLock);
    if (FWindows.count(AWindow) == 0) {
      return false;
    }
    FQueue.emplace_back(AWindow, TWindowMessage{AMsg, AWParam, ALParam, 0});
  }
  FPending.notify_all();
  return true;
}

bool TSimDesktop::StartTimer(TWindowHandle AWindow, uintptr_t AId, uint32_t AIntervalMs) {
  const uint64_t Now = FClock.TickCount();
  std::lock_guard<std::mutex> Guard(FLock);
  if (FWindows.count(AWindow) == 0) {
    return false;
  }
  // Starting a running timer again restarts it, as the platform does.
  FTimers.erase(std::remove_if(FTimers.begin(), FTimers.end(),
                               [&](const TTimer& ATimer) {
                                 return ATimer.Window == AWindow && ATimer.Id == AId;
                               }),
                FTimers.end());
  // The platform never runs a timer faster than every 10 ms.
  const uint32_t Interval = std::max<uint32_t>(AIntervalMs, 10);
  FTimers.push_back({AWindow, AId, Interval, Now + Interval});
  return true;
}

void TSimDesktop::StopTimer(TWindowHandle AWindow, uintptr_t AId) {
  std::lock_guard<std::mutex> Guard(FLock);
  FTimers.erase(std::remove_if(FTimers.begin(), FTimers.end(),
                               [&](const TTimer& ATimer) {
                                 return ATimer.Window == AWindow && ATimer.Id == AId;
                               }),
                FTimers.end());
}

bool TSimDesktop::TimerRunning(TWindowHandle AWindow, uintptr_t AId) const {
  std::lock_guard<std::mutex> Guard(FLock);
  return std::any_of(FTimers.begin(), FTimers.end(), [&](const TTimer& ATimer) {
    return ATimer.Window == AWindow && ATimer.Id == AId;
  });
}

int TSimDesktop::WindowCount() const {
  std::lock_guard<std::mutex> Guard(FLock);
  return static_cast<int>(FWindows.size());
}

bool TSimDesktop::RegisterDeviceInterfaceNotification(TWindowHandle AWindow, const TGuid& AClass) {
  std::lock_guard<std::mutex> Guard(FLock);
  if (FWindows.count(AWindow) == 0) {
    return false;
  }
  FRegistrations.push_back({AWindow, AClass});
  return true;
}

void TSimDesktop::BroadcastDeviceChange(const TGuid& AClass, uintptr_t AWParam,
                                        uint32_t ADeviceType) {
  const auto LParam = reinterpret_cast<intptr_t>(BroadcastHeader(ADeviceType));
  std::vector<TWindowHandle> Targets;
  {
    std::lock_guard<std::mutex> Guard(FLock);
    for (const TRegistration& Registration : FRegistrations) {
      if (Registration.Class == AClass) {
        Targets.push_back(Registration.Window);
      }
    }
  }
  for (TWindowHandle Window : Targets) {
    PostWindowMessage(Window, WM_DEVICECHANGE_MESSAGE, AWParam, LParam);
  }
}

void TSimDesktop::Synchronize(const std::function<void()>& AWork) {
  if (IsMainThread()) {
    AWork();
    return;
  }
  TRequest Request{&AWork, std::this_thread::get_id(), nullptr, false};
  {
    std::unique_lock<std::mutex> Guard(FLock);
    FRequests.push_back(&Request);
    FPending.notify_all();
    FDone.wait(Guard, [&Request] { return Request.Done; });
  }
  if (Request.Error) {
    std::rethrow_exception(Request.Error);
  }
}

bool TSimDesktop::RunningHandOverFrom(std::thread::id AThread) {
  return std::find(FHandOversRunning.begin(), FHandOversRunning.end(), AThread) !=
         FHandOversRunning.end();
}

void TSimDesktop::Dispatch(TWindowHandle AWindow, TWindowMessage& AMessage) {
  std::shared_ptr<TWindowProc> Proc;
  {
    std::lock_guard<std::mutex> Guard(FLock);
    auto Found = FWindows.find(AWindow);
    if (Found == FWindows.end()) {
      return;
    }
    Proc = Found->second;
  }
  rtl::Guarded(FDebug, "Window procedure", [&] { (*Proc)(AMessage); });
}

bool TSimDesktop::RunOneHandOver() {
  TRequest* Request = nullptr;
  {
    std::lock_guard<std::mutex> Guard(FLock);
    if (FRequests.empty()) {
      return false;
    }
    Request = FRequests.front();
    FRequests.pop_front();
  }
  FHandOversRunning.push_back(Request->Origin);
  try {
    (*Request->Work)();
  } catch (...) {
    Request->Error = std::current_exception();
  }
  FHandOversRunning.pop_back();
  {
    std::lock_guard<std::mutex> Guard(FLock);
    Request->Done = true;
  }
  FDone.notify_all();
  return true;
}

bool TSimDesktop::RunOnePending() {
  if (RunOneHandOver()) {
    return true;
  }
  std::unique_lock<std::mutex> Guard(FLock);
  if (!FQueue.empty()) {
    auto [Window, Message] = FQueue.front();
    FQueue.pop_front();
    Guard.unlock();
    Dispatch(Window, Message);
    return true;
  }
  return false;
}

bool TSimDesktop::FireOneDueTimer() {
  const uint64_t Now = FClock.TickCount();
  TWindowHandle Window = 0;
  uintptr_t Id = 0;
  {
    std::lock_guard<std::mutex> Guard(FLock);
    auto Due = std::min_element(FTimers.begin(), FTimers.end(),
                                [](const TTimer& A, const TTimer& B) { return A.Due < B.Due; });
    if (Due == FTimers.end() || Due->Due > Now) {
      return false;
    }
    Window = Due->Window;
    Id = Due->Id;
    Due->Due += Due->Interval;
  }
  TWindowMessage Message{WM_TIMER_MESSAGE, Id, 0, 0};
  Dispatch(Window, Message);
  return true;
}

void TSimDesktop::ProcessMessages() {
  while (RunOnePending() || FireOneDueTimer()) {
  }
}

void TSimDesktop::WaitAndProcess(uint32_t AMilliseconds) {
  {
    std::unique_lock<std::mutex> Guard(FLock);
    FPending.wait_for(Guard, std::chrono::milliseconds(AMilliseconds),
                      [this] { return !FRequests.empty() || !FQueue.empty(); });
  }
  ProcessMessages();
}

void TSimDesktop::WaitForHandOvers(uint32_t AMilliseconds) {
  {
    std::unique_lock<std::mutex> Guard(FLock);
    FPending.wait_for(Guard, std::chrono::milliseconds(AMilliseconds),
                      [this] { return !FRequests.empty(); });
  }
  while (RunOneHandOver()) {
  }
}

void TSimDesktop::Advance(uint64_t AMilliseconds) {
  const uint64_t Target = FClock.TickCount() + AMilliseconds;
  ProcessMessages();
  for (;;) {
    uint64_t Next = Target;
    {
      std::lock_guard<std::mutex> Guard(FLock);
      for (const TTimer& Timer : FTimers) {
        Next = std::min(Next, Timer.Due);
      }
    }
    const uint64_t Now = FClock.TickCount();
    if (Next > Now) {
      FClock.Advance(Next - Now);
    }
    ProcessMessages();
    if (Next >= Target) {
      break;
    }
  }
}

} // namespace platform::sim
