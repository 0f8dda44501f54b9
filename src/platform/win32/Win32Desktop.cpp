#include <windows.h>
// clang-format off
#include <dbt.h>
// clang-format on

#include <algorithm>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/win32/Win32Platform.h"
#include "rtl/Guarded.h"

namespace platform::win32 {

namespace {

constexpr wchar_t cWindowClass[] = L"TMonitorHiddenWindow";
// The hand-over message of the desktop's own window: lParam points at the work.
constexpr UINT cSynchronizeMessage = WM_APP + 0x51;

// What a hidden window's user data points at.
struct THiddenWindow {
  TWindowProc Proc;
  IDebugOutput* Debug;
};

// One hand-over, on the sending thread's stack for the length of the sent message.
struct THandOver {
  const std::function<void()>* Work;
  std::thread::id Origin;
  std::exception_ptr Error;
};

LRESULT CALLBACK HiddenWindowProc(HWND AWindow, UINT AMsg, WPARAM AWParam, LPARAM ALParam) {
  if (AMsg == WM_NCCREATE) {
    const auto* Create = reinterpret_cast<const CREATESTRUCTW*>(ALParam);
    SetWindowLongPtrW(AWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(Create->lpCreateParams));
  }
  auto* Window = reinterpret_cast<THiddenWindow*>(GetWindowLongPtrW(AWindow, GWLP_USERDATA));
  if (Window != nullptr && Window->Proc) {
    TWindowMessage Message{AMsg, AWParam, ALParam, 0};
    bool Handled = false;
    // Nothing may unwind through the system's dispatch: a failing handler gets the default.
    if (rtl::Guarded(*Window->Debug, "Window procedure",
                     [&] { Handled = Window->Proc(Message); }) &&
        Handled) {
      return Message.Result;
    }
  }
  return DefWindowProcW(AWindow, AMsg, AWParam, ALParam);
}

bool RegisterWindowClass() {
  static const bool Registered = [] {
    WNDCLASSEXW Class{};
    Class.cbSize = sizeof(Class);
    Class.lpfnWndProc = HiddenWindowProc;
    Class.hInstance = GetModuleHandleW(nullptr);
    Class.lpszClassName = cWindowClass;
    return RegisterClassExW(&Class) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  return Registered;
}

class TWin32Desktop : public IDesktop {
public:
  explicit TWin32Desktop(IDebugOutput& ADebug) : FDebug(ADebug), FMainThread(GetCurrentThreadId()) {
    FSyncWindow = CreateHiddenWindow([this](TWindowMessage& AMessage) {
      if (AMessage.Msg != cSynchronizeMessage) {
        return false;
      }
      RunHandOver(*reinterpret_cast<THandOver*>(AMessage.LParam));
      return true;
    });
  }

  ~TWin32Desktop() override {
    while (!FWindows.empty()) {
      DestroyHiddenWindow(FWindows.begin()->first);
    }
  }

  TWindowHandle CreateHiddenWindow(TWindowProc AProc) override {
    if (!RegisterWindowClass()) {
      return 0;
    }
    auto Proc = std::make_unique<THiddenWindow>(THiddenWindow{std::move(AProc), &FDebug});
    // A hidden top-level window, as device broadcasts reach top-level windows only.
    const HWND Window = CreateWindowExW(WS_EX_TOOLWINDOW, cWindowClass, L"", WS_POPUP, 0, 0, 0, 0,
                                        nullptr, nullptr, GetModuleHandleW(nullptr), Proc.get());
    if (Window == nullptr) {
      return 0;
    }
    const auto Handle = reinterpret_cast<TWindowHandle>(Window);
    std::lock_guard<std::mutex> Guard(FLock);
    FWindows[Handle].Proc = std::move(Proc);
    return Handle;
  }

  void DestroyHiddenWindow(TWindowHandle AWindow) override {
    TWindow Window;
    {
      std::lock_guard<std::mutex> Guard(FLock);
      auto Found = FWindows.find(AWindow);
      if (Found == FWindows.end()) {
        return;
      }
      Window = std::move(Found->second);
      FWindows.erase(Found);
    }
    for (HDEVNOTIFY Notification : Window.Notifications) {
      UnregisterDeviceNotification(Notification);
    }
    const HWND Handle = reinterpret_cast<HWND>(AWindow);
    SetWindowLongPtrW(Handle, GWLP_USERDATA, 0);
    DestroyWindow(Handle);
  }

  bool PostWindowMessage(TWindowHandle AWindow, uint32_t AMsg, uintptr_t AWParam,
                         intptr_t ALParam) override {
    return PostMessageW(reinterpret_cast<HWND>(AWindow), AMsg, AWParam, ALParam) != FALSE;
  }

  bool StartTimer(TWindowHandle AWindow, uintptr_t AId, uint32_t AIntervalMs) override {
    return SetTimer(reinterpret_cast<HWND>(AWindow), AId, AIntervalMs, nullptr) != 0;
  }

  void StopTimer(TWindowHandle AWindow, uintptr_t AId) override {
    KillTimer(reinterpret_cast<HWND>(AWindow), AId);
  }

  bool RegisterDeviceInterfaceNotification(TWindowHandle AWindow, const TGuid& AClass) override {
    DEV_BROADCAST_DEVICEINTERFACE_W Filter{};
    static_assert(sizeof(Filter) == 32);
    Filter.dbcc_size = sizeof(Filter);
    Filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    std::memcpy(&Filter.dbcc_classguid, &AClass, sizeof(GUID));
    const HDEVNOTIFY Notification = RegisterDeviceNotificationW(
        reinterpret_cast<HWND>(AWindow), &Filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    if (Notification == nullptr) {
      return false;
    }
    std::lock_guard<std::mutex> Guard(FLock);
    auto Found = FWindows.find(AWindow);
    if (Found == FWindows.end()) {
      UnregisterDeviceNotification(Notification);
      return false;
    }
    Found->second.Notifications.push_back(Notification);
    return true;
  }

  void Synchronize(const std::function<void()>& AWork) override {
    if (IsMainThread()) {
      AWork();
      return;
    }
    // Sent, not posted: the caller waits until the main thread has run the work.
    THandOver HandOver{&AWork, std::this_thread::get_id(), nullptr};
    SendMessageW(reinterpret_cast<HWND>(FSyncWindow), cSynchronizeMessage, 0,
                 reinterpret_cast<LPARAM>(&HandOver));
    if (HandOver.Error) {
      std::rethrow_exception(HandOver.Error);
    }
  }

  void WaitForHandOvers(uint32_t AMilliseconds) override {
    // Sent messages only: they are dispatched inside the peek, nothing posted is taken.
    MsgWaitForMultipleObjectsEx(0, nullptr, AMilliseconds, QS_SENDMESSAGE, 0);
    MSG Message;
    PeekMessageW(&Message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }

  bool RunningHandOverFrom(std::thread::id AThread) override {
    return std::find(FHandOversRunning.begin(), FHandOversRunning.end(), AThread) !=
           FHandOversRunning.end();
  }

  void ProcessMessages() override {
    MSG Message;
    while (PeekMessageW(&Message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&Message);
      DispatchMessageW(&Message);
    }
  }

  void WaitAndProcess(uint32_t AMilliseconds) override {
    MsgWaitForMultipleObjectsEx(0, nullptr, AMilliseconds, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    ProcessMessages();
  }

  bool IsMainThread() override { return GetCurrentThreadId() == FMainThread; }

private:
  struct TWindow {
    std::unique_ptr<THiddenWindow> Proc;
    std::vector<HDEVNOTIFY> Notifications;
  };

  // The hand-over always completes: its exception goes back to the sending thread.
  void RunHandOver(THandOver& AHandOver) {
    FHandOversRunning.push_back(AHandOver.Origin);
    try {
      (*AHandOver.Work)();
    } catch (...) {
      AHandOver.Error = std::current_exception();
    }
    FHandOversRunning.pop_back();
  }

  IDebugOutput& FDebug;
  DWORD FMainThread;
  // The origins of the hand-overs running on the main thread, innermost last.
  std::vector<std::thread::id> FHandOversRunning;
  std::mutex FLock;
  std::map<TWindowHandle, TWindow> FWindows;
  TWindowHandle FSyncWindow = 0;
};

} // namespace

std::unique_ptr<IDesktop> CreateDesktopService(IDebugOutput& ADebug) {
  return std::make_unique<TWin32Desktop>(ADebug);
}

} // namespace platform::win32
