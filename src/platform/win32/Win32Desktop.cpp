#include <windows.h>
// clang-format off
#include <dbt.h>
// clang-format on

#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "platform/win32/Win32Platform.h"

namespace platform::win32 {

namespace {

constexpr wchar_t cWindowClass[] = L"TMonitorHiddenWindow";
// The hand-over message of the desktop's own window: lParam points at the work.
constexpr UINT cSynchronizeMessage = WM_APP + 0x51;

LRESULT CALLBACK HiddenWindowProc(HWND AWindow, UINT AMsg, WPARAM AWParam, LPARAM ALParam) {
  if (AMsg == WM_NCCREATE) {
    const auto* Create = reinterpret_cast<const CREATESTRUCTW*>(ALParam);
    SetWindowLongPtrW(AWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(Create->lpCreateParams));
  }
  auto* Proc = reinterpret_cast<TWindowProc*>(GetWindowLongPtrW(AWindow, GWLP_USERDATA));
  if (Proc != nullptr && *Proc) {
    TWindowMessage Message{AMsg, AWParam, ALParam, 0};
    if ((*Proc)(Message)) {
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
  TWin32Desktop() : FMainThread(GetCurrentThreadId()) {
    FSyncWindow = CreateHiddenWindow([](TWindowMessage& AMessage) {
      if (AMessage.Msg != cSynchronizeMessage) {
        return false;
      }
      (*reinterpret_cast<const std::function<void()>*>(AMessage.LParam))();
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
    auto Proc = std::make_unique<TWindowProc>(std::move(AProc));
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
    SendMessageW(reinterpret_cast<HWND>(FSyncWindow), cSynchronizeMessage, 0,
                 reinterpret_cast<LPARAM>(&AWork));
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
    std::unique_ptr<TWindowProc> Proc;
    std::vector<HDEVNOTIFY> Notifications;
  };
  DWORD FMainThread;
  std::mutex FLock;
  std::map<TWindowHandle, TWindow> FWindows;
  TWindowHandle FSyncWindow = 0;
};

} // namespace

std::unique_ptr<IDesktop> CreateDesktopService() {
  return std::make_unique<TWin32Desktop>();
}

} // namespace platform::win32
