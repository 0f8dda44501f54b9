#include "backend/sim/SimDesktop.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

#include "backend/sim/SimRecord.h"
#include "backend/sim/SimTray.h"
#include "backend/sim/SimWorld.h"
#include "platform/Guarded.h"
#include "platform/WindowMessages.h"
#include "rtl/Mutex.h"

namespace platform::sim {

namespace {
// The broadcast headers the device-change messages point at; they live for the process.
const TDevBroadcastHeader* BroadcastHeader(uint32_t ADeviceType) {
  static rtl::TMutex Lock;
  static std::map<uint32_t, std::unique_ptr<TDevBroadcastHeader>> Headers;
  rtl::TLockGuard Guard(Lock);
  auto& Header = Headers[ADeviceType];
  if (!Header) {
    Header = std::make_unique<TDevBroadcastHeader>(
        TDevBroadcastHeader{sizeof(TDevBroadcastHeader), ADeviceType, 0});
  }
  return Header.get();
}
} // namespace

TSimDesktop::TSimDesktop(TSimSession& ASession, IDebugOutput& ADebug)
    : FSession(ASession), FClock(ASession.Clock), FDebug(ADebug),
      FMainThread(std::this_thread::get_id()) {}

TSimDesktop::~TSimDesktop() {
  StopWatchingForeground();
  std::vector<TWindowHandle> Own;
  {
    rtl::TLockGuard Guard(FSession.FLock);
    for (const auto& [Handle, Window] : FSession.FWindows) {
      if (Window.Owner == this) {
        Own.push_back(Handle);
      }
    }
  }
  for (TWindowHandle Window : Own) {
    DestroyHiddenWindow(Window);
  }
}

TWindowHandle TSimDesktop::CreateHiddenWindow(TWindowProc AProc) {
  return FSession.AddWindow(*this, "", false, std::move(AProc), "");
}

void TSimDesktop::DestroyHiddenWindow(TWindowHandle AWindow) {
  if (!FSession.IsOwnWindow(*this, AWindow)) {
    return;
  }
  FSession.RemoveWindow(AWindow);
  rtl::TLockGuard Guard(FLock);
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
  return FSession.Post(this, AWindow, TWindowMessage{AMsg, AWParam, ALParam, 0});
}

void TSimDesktop::Enqueue(TWindowHandle AWindow, const TWindowMessage& AMessage) {
  {
    rtl::TLockGuard Guard(FLock);
    FQueue.emplace_back(AWindow, AMessage);
  }
  FPending.notify_all();
}

bool TSimDesktop::StartTimer(TWindowHandle AWindow, uintptr_t AId, uint32_t AIntervalMs) {
  const uint64_t Now = FClock.TickCount();
  if (!FSession.IsOwnWindow(*this, AWindow)) {
    return false;
  }
  rtl::TLockGuard Guard(FLock);
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
  rtl::TLockGuard Guard(FLock);
  FTimers.erase(std::remove_if(FTimers.begin(), FTimers.end(),
                               [&](const TTimer& ATimer) {
                                 return ATimer.Window == AWindow && ATimer.Id == AId;
                               }),
                FTimers.end());
}

bool TSimDesktop::TimerRunning(TWindowHandle AWindow, uintptr_t AId) const {
  rtl::TLockGuard Guard(FLock);
  return std::any_of(FTimers.begin(), FTimers.end(), [&](const TTimer& ATimer) {
    return ATimer.Window == AWindow && ATimer.Id == AId;
  });
}

std::optional<uint64_t> TSimDesktop::TimerDue(TWindowHandle AWindow, uintptr_t AId) const {
  rtl::TLockGuard Guard(FLock);
  for (const TTimer& Timer : FTimers) {
    if (Timer.Window == AWindow && Timer.Id == AId) {
      return Timer.Due;
    }
  }
  return std::nullopt;
}

std::optional<uint64_t> TSimDesktop::NextTimerDue() const {
  rtl::TLockGuard Guard(FLock);
  std::optional<uint64_t> Next;
  for (const TTimer& Timer : FTimers) {
    Next = std::min(Next.value_or(Timer.Due), Timer.Due);
  }
  return Next;
}

int TSimDesktop::WindowCount() const {
  rtl::TLockGuard Guard(FSession.FLock);
  return static_cast<int>(
      std::count_if(FSession.FWindows.begin(), FSession.FWindows.end(),
                    [this](const auto& AItem) { return AItem.second.Owner == this; }));
}

bool TSimDesktop::RegisterDeviceInterfaceNotification(TWindowHandle AWindow, const TGuid& AClass) {
  if (!FSession.IsOwnWindow(*this, AWindow)) {
    return false;
  }
  rtl::TLockGuard Guard(FLock);
  FRegistrations.push_back({AWindow, AClass});
  return true;
}

void TSimDesktop::BroadcastDeviceChange(const TGuid& AClass, uintptr_t AWParam,
                                        uint32_t ADeviceType) {
  const auto LParam = reinterpret_cast<intptr_t>(BroadcastHeader(ADeviceType));
  std::vector<TWindowHandle> Targets;
  {
    rtl::TLockGuard Guard(FLock);
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

intptr_t TSimDesktop::SendDeviceChange(TWindowHandle AWindow, uintptr_t AWParam, intptr_t ALParam) {
  if (!IsMainThread()) {
    throw std::logic_error("SendDeviceChange off the main thread");
  }
  if (!FSession.IsOwnWindow(*this, AWindow)) {
    return 1;
  }
  TWindowMessage Message{WM_DEVICECHANGE_MESSAGE, AWParam, ALParam, 0};
  Dispatch(AWindow, Message);
  return Message.Result;
}

void TSimDesktop::Synchronize(const std::function<void()>& AWork) {
  if (IsMainThread()) {
    AWork();
    return;
  }
  TRequest Request{&AWork, std::this_thread::get_id(), nullptr, false};
  {
    rtl::TLockGuard Guard(FLock);
    FRequests.push_back(&Request);
  }
  FPending.notify_all();
  // The main thread mostly runs the work within microseconds: a few turns before sleeping
  // spare a sleep and a wake-up each time.
  constexpr int cTurnsBeforeSleeping = 50;
  for (int Turn = 0; Turn < cTurnsBeforeSleeping; ++Turn) {
    {
      rtl::TLockGuard Guard(FLock);
      if (Request.Done) {
        break;
      }
    }
    std::this_thread::yield();
  }
  {
    rtl::TUniqueLock Guard(FLock);
    while (!Request.Done) {
      Guard.Wait(FDone);
    }
  }
  if (Request.Error) {
    std::rethrow_exception(Request.Error);
  }
}

int TSimDesktop::PendingHandOvers() const {
  rtl::TLockGuard Guard(FLock);
  return static_cast<int>(FRequests.size());
}

bool TSimDesktop::RunningHandOverFrom(std::thread::id AThread) {
  return std::find(FHandOversRunning.begin(), FHandOversRunning.end(), AThread) !=
         FHandOversRunning.end();
}

void TSimDesktop::Dispatch(TWindowHandle AWindow, TWindowMessage& AMessage) {
  // The page's buttons report to the backend, not to the window's procedure.
  if (AMessage.Msg == cSimInfoPageClickMessage) {
    if (const auto Page = FSession.WindowPage(AWindow)) {
      const std::function<void()> Event =
          AMessage.WParam == cSimInfoPageOK ? Page->Events.OnOK : Page->Events.OnGoWeb;
      if (Event) {
        platform::Guarded(FDebug, "Information page", Event);
      }
      return;
    }
  }
  const std::shared_ptr<TWindowProc> Proc = FSession.WindowProc(AWindow);
  if (!Proc) {
    return;
  }
  ++FDispatchDepth;
  platform::Guarded(FDebug, "Window procedure", [&] {
    if (!(*Proc)(AMessage)) {
      AMessage.Result = 0; // the default handling of the messages the system sends
    }
  });
  --FDispatchDepth;
}

bool TSimDesktop::RunOneHandOver() {
  TRequest* Request = nullptr;
  {
    rtl::TLockGuard Guard(FLock);
    if (FRequests.empty()) {
      return false;
    }
    Request = FRequests.front();
    FRequests.pop_front();
  }
  FHandOversRun.fetch_add(1, std::memory_order_relaxed);
  FHandOversRunning.push_back(Request->Origin);
  ++FDispatchDepth;
  try {
    (*Request->Work)();
  } catch (...) {
    Request->Error = std::current_exception();
  }
  --FDispatchDepth;
  FHandOversRunning.pop_back();
  {
    rtl::TLockGuard Guard(FLock);
    Request->Done = true;
  }
  FDone.notify_all();
  return true;
}

bool TSimDesktop::RunOnePending() {
  if (RunOneHandOver()) {
    return true;
  }
  rtl::TUniqueLock Guard(FLock);
  if (!FQueue.empty()) {
    auto [Window, Message] = FQueue.front();
    FQueue.pop_front();
    Guard.Unlock();
    FPostedRun.fetch_add(1, std::memory_order_relaxed);
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
    rtl::TLockGuard Guard(FLock);
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
  FTimersRun.fetch_add(1, std::memory_order_relaxed);
  Dispatch(Window, Message);
  return true;
}

void TSimDesktop::ProcessMessages() {
  while (RunOnePending() || FireOneDueTimer()) {
  }
}

TSimDesktop::TActivity TSimDesktop::Activity() const {
  return {FLoopWaits.load(std::memory_order_relaxed), FHandOversRun.load(std::memory_order_relaxed),
          FPostedRun.load(std::memory_order_relaxed), FTimersRun.load(std::memory_order_relaxed)};
}

void TSimDesktop::WaitAndProcess(uint32_t AMilliseconds) {
  {
    rtl::TUniqueLock Guard(FLock);
    const auto Deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(AMilliseconds);
    while (FRequests.empty() && FQueue.empty() && Guard.WaitUntil(FPending, Deadline)) {
    }
  }
  ProcessMessages();
}

void TSimDesktop::WaitForHandOvers(uint32_t AMilliseconds) {
  {
    rtl::TUniqueLock Guard(FLock);
    const auto Deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(AMilliseconds);
    while (FRequests.empty() && Guard.WaitUntil(FPending, Deadline)) {
    }
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
      rtl::TLockGuard Guard(FLock);
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

namespace platform::sim {

namespace {
bool SameClass(const std::string& A, const std::string& B) {
  return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(), [](char X, char Y) {
           const auto Fold = [](char C) { return C >= 'A' && C <= 'Z' ? C + ('a' - 'A') : C; };
           return Fold(X) == Fold(Y);
         });
}

// The platform's show commands run from hiding (0) to the default one (11).
constexpr int32_t cLastShowCommand = 11;
} // namespace

TWindowHandle TSimDesktop::CreateMainWindow(const std::string& AClassName, TWindowProc AProc) {
  if (AClassName.empty()) {
    return 0;
  }
  return FSession.AddWindow(*this, AClassName, true, std::move(AProc), FTitle);
}

TWindowHandle TSimDesktop::FindTopLevelWindow(const std::string& AClassName) {
  if (AClassName.empty()) {
    return 0;
  }
  rtl::TLockGuard Guard(FSession.FLock);
  for (const auto& [Handle, Window] : FSession.FWindows) {
    if (!Window.ClassName.empty() && SameClass(Window.ClassName, AClassName)) {
      return Handle;
    }
  }
  return 0;
}

TSendResult TSimDesktop::SendWindowMessage(TWindowHandle AWindow, uint32_t AMsg, uintptr_t AWParam,
                                           intptr_t ALParam, intptr_t& AResult) {
  if (!IsMainThread()) {
    throw std::logic_error("SendWindowMessage off the main thread");
  }
  TSimDesktop* Receiver = nullptr;
  {
    rtl::TLockGuard Guard(FSession.FLock);
    auto Found = FSession.FWindows.find(AWindow);
    if (Found == FSession.FWindows.end()) {
      return TSendResult::NoWindow;
    }
    if (Found->second.Hung) {
      return TSendResult::Hung;
    }
    if (FSession.Filtered(this, Found->second, AMsg)) {
      return TSendResult::Refused;
    }
    Receiver = Found->second.Owner;
  }
  if (!Receiver->IsMainThread()) {
    throw std::logic_error("a simulated process that runs on another thread cannot be sent to");
  }
  TWindowMessage Message{AMsg, AWParam, ALParam, 0};
  Receiver->Dispatch(AWindow, Message);
  AResult = Message.Result;
  return TSendResult::Sent;
}

void TSimDesktop::ShowWindowCommand(TWindowHandle AWindow, int32_t ACommand) {
  rtl::TLockGuard Guard(FSession.FLock);
  auto Found = FSession.FWindows.find(AWindow);
  if (Found == FSession.FWindows.end() || ACommand < SW_HIDE_VALUE || ACommand > cLastShowCommand) {
    return;
  }
  if (Found->second.Hung && Found->second.Owner != this) {
    throw std::logic_error("a show command waits on a hung window of another process for ever");
  }
  Found->second.Visible = ACommand != SW_HIDE_VALUE;
}

bool TSimDesktop::PostShowCommand(TWindowHandle AWindow, int32_t ACommand) {
  rtl::TLockGuard Guard(FSession.FLock);
  auto Found = FSession.FWindows.find(AWindow);
  if (Found == FSession.FWindows.end()) {
    return false;
  }
  if (ACommand < SW_HIDE_VALUE || ACommand > cLastShowCommand) {
    return true;
  }
  TSimSession::TWindow& Window = Found->second;
  if (Window.Hung) {
    Window.PendingShow = ACommand;
  } else {
    Window.Visible = ACommand != SW_HIDE_VALUE;
  }
  return true;
}

void TSimDesktop::BringToForeground(TWindowHandle AWindow) {
  rtl::TLockGuard Guard(FSession.FLock);
  if (FSession.FWindows.count(AWindow) != 0) {
    FSession.FForeground = AWindow;
  }
}

bool TSimDesktop::WindowVisible(TWindowHandle AWindow) {
  rtl::TLockGuard Guard(FSession.FLock);
  auto Found = FSession.FWindows.find(AWindow);
  return Found != FSession.FWindows.end() && Found->second.Visible;
}

bool TSimDesktop::AllowMessageFromLowerIntegrity(TWindowHandle AWindow, uint32_t AMsg) {
  rtl::TLockGuard Guard(FSession.FLock);
  TSimSession::TWindow* Window = FSession.OwnWindowLocked(*this, AWindow);
  if (Window == nullptr) {
    return false;
  }
  if (std::find(Window->Allowed.begin(), Window->Allowed.end(), AMsg) == Window->Allowed.end()) {
    Window->Allowed.push_back(AMsg);
  }
  return true;
}

uint32_t TSimDesktop::RegisterMessageName(const std::string& AName) {
  return FSession.RegisterName(AName);
}

bool TSimDesktop::RegisterSessionNotification(TWindowHandle AWindow) {
  rtl::TLockGuard Guard(FSession.FLock);
  TSimSession::TWindow* Window = FSession.OwnWindowLocked(*this, AWindow);
  if (Window == nullptr) {
    return false;
  }
  if (FSession.FSessionNotificationsRefused > 0) {
    --FSession.FSessionNotificationsRefused;
    return false;
  }
  Window->SessionNotification = true;
  return true;
}

void TSimDesktop::SetApplicationTitle(const std::string& ATitle) {
  FTitle = ATitle;
  rtl::TLockGuard Guard(FSession.FLock);
  for (auto& [Handle, Window] : FSession.FWindows) {
    if (Window.Owner == this && Window.Main) {
      Window.Title = ATitle;
    }
  }
}

int32_t TSimDesktop::RunMessageLoop() {
  if (!IsMainThread()) {
    throw std::logic_error("RunMessageLoop off the main thread");
  }
  // A test that forgot to quit is told within the test's own time limit, not never.
  constexpr auto cPoll = std::chrono::milliseconds(10);
  int32_t ExitCode = 0;
  for (;;) {
    if (RunOnePending()) {
      continue;
    }
    {
      rtl::TLockGuard Guard(FLock);
      if (FQuit) {
        ExitCode = *FQuit;
        FQuit.reset();
        break;
      }
    }
    if (FireOneDueTimer()) {
      continue;
    }
    if (SomethingCameWithinTurns()) {
      continue;
    }
    rtl::TUniqueLock Guard(FLock);
    const auto Deadline = std::chrono::steady_clock::now() + cPoll;
    while (FRequests.empty() && FQueue.empty() && !FQuit.has_value() &&
           Guard.WaitUntil(FPending, Deadline)) {
    }
    FLoopWaits.fetch_add(1, std::memory_order_relaxed);
  }
  return ExitCode;
}

bool TSimDesktop::SomethingCameWithinTurns() {
  // Hand-overs come in bursts (a simulation's steps, a reader's reports): a few turns before
  // sleeping spare a sleep and a wake-up each time.
  constexpr int cTurnsBeforeSleeping = 50;
  for (int Turn = 0; Turn < cTurnsBeforeSleeping; ++Turn) {
    std::this_thread::yield();
    rtl::TLockGuard Guard(FLock);
    if (!FRequests.empty() || !FQueue.empty() || FQuit.has_value()) {
      return true;
    }
  }
  return false;
}

void TSimDesktop::Quit(int32_t AExitCode) {
  {
    rtl::TLockGuard Guard(FLock);
    FQuit = AExitCode;
  }
  FPending.notify_all();
}

bool TSimDesktop::NamedMutexExists(const std::string& AName) {
  return FSession.CheckMutex(AName);
}

std::unique_ptr<INamedMutex> TSimDesktop::CreateNamedMutex(const std::string& AName,
                                                           bool& AAlreadyExisted) {
  AAlreadyExisted = FSession.MutexExists(AName);
  return FSession.HoldMutex(AName);
}

std::unique_ptr<ITrayIcon> TSimDesktop::CreateTrayIcon(TWindowHandle AOwner, TTrayEvents AEvents) {
  if (!FSession.IsOwnWindow(*this, AOwner)) {
    return nullptr;
  }
  return std::make_unique<TSimTrayIcon>(*this, AOwner, std::move(AEvents));
}

bool TSimDesktop::CreateInfoPage(TWindowHandle AWindow, const TInfoPageTexts& ATexts,
                                 TInfoPageEvents AEvents) {
  rtl::TLockGuard Guard(FSession.FLock);
  TSimSession::TWindow* Window = FSession.OwnWindowLocked(*this, AWindow);
  if (Window == nullptr || !Window->Main) {
    return false;
  }
  Window->Page =
      std::make_shared<TSimSession::TInfoPage>(TSimSession::TInfoPage{ATexts, std::move(AEvents)});
  return true;
}

void TSimDesktop::SetInfoPageTexts(TWindowHandle AWindow, const TInfoPageTexts& ATexts) {
  rtl::TLockGuard Guard(FSession.FLock);
  TSimSession::TWindow* Window = FSession.OwnWindowLocked(*this, AWindow);
  if (Window != nullptr && Window->Page) {
    Window->Page->Texts = ATexts;
  }
}

bool TSimDesktop::WatchForeground(std::function<void()> AOnChange) {
  StopWatchingForeground();
  // The session tells a window of this process, as the platform calls a hook from the loop.
  const TWindowHandle Window =
      CreateHiddenWindow([this, OnChange = std::move(AOnChange)](TWindowMessage& AMsg) {
        if (AMsg.Msg != cSimForegroundMessage) {
          return false;
        }
        platform::Guarded(FDebug, "Foreground change", OnChange);
        return true;
      });
  if (Window == 0) {
    return false;
  }
  rtl::TLockGuard Guard(FSession.FLock);
  FSession.FForegroundWatch[this] = Window;
  return true;
}

void TSimDesktop::StopWatchingForeground() {
  TWindowHandle Window = 0;
  {
    rtl::TLockGuard Guard(FSession.FLock);
    const auto Found = FSession.FForegroundWatch.find(this);
    if (Found == FSession.FForegroundWatch.end()) {
      return;
    }
    Window = Found->second;
    FSession.FForegroundWatch.erase(Found);
  }
  DestroyHiddenWindow(Window);
}

std::string TSimDesktop::ForegroundProgram() {
  return FSession.ForegroundProgram();
}

bool TSimDesktop::ShowNotice(const std::string& AText, uint32_t AMilliseconds) {
  rtl::TLockGuard Guard(FLock);
  FNotices.push_back({AText, AMilliseconds, FClock.TickCount()});
  return true;
}

std::vector<TSimDesktop::TNotice> TSimDesktop::Notices(std::size_t AFrom) const {
  rtl::TLockGuard Guard(FLock);
  return RecordFrom(FNotices, AFrom);
}

std::optional<TSimDesktop::TNotice> TSimDesktop::NoticeShown() const {
  rtl::TLockGuard Guard(FLock);
  if (FNotices.empty() ||
      FClock.TickCount() >= FNotices.back().ShownAt + FNotices.back().Milliseconds) {
    return std::nullopt;
  }
  return FNotices.back();
}

} // namespace platform::sim
