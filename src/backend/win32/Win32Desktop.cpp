#include "backend/win32/Win32Desktop.h"

// clang-format off
#include <dbt.h>
// clang-format on

#include <algorithm>
#include <cstring>
#include <exception>
#include <set>

#include "backend/win32/Win32Platform.h"
#include "backend/win32/Win32SystemLibrary.h"
#include "backend/win32/Win32Text.h"
#include "platform/Guarded.h"

namespace platform::win32 {

namespace {

constexpr wchar_t cHiddenWindowClass[] = L"TMonitorHiddenWindow";
constexpr wchar_t cTrayWindowClass[] = L"TMonitorTrayWindow";
// The hand-over message of the desktop's own window: lParam points at the work.
constexpr UINT cSynchronizeMessage = WM_APP + 0x51;
// The program's built-in icon in its resources.
constexpr WORD cBuiltInIconResource = 1;
// How long a send waits for a receiver that the platform already reports hung; a receiver
// that goes on handling messages is waited for however long it takes.
constexpr UINT cHungReceiverTimeoutMs = 5000;
// The longest class name the platform keeps, with its terminator.
constexpr int cMaxClassName = 257;

LRESULT CALLBACK HiddenWindowProc(HWND AWindow, UINT AMsg, WPARAM AWParam, LPARAM ALParam) {
  if (AMsg == WM_NCCREATE) {
    const auto* Create = reinterpret_cast<const CREATESTRUCTW*>(ALParam);
    SetWindowLongPtrW(AWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(Create->lpCreateParams));
  }
  auto* Window = reinterpret_cast<THiddenWindow*>(GetWindowLongPtrW(AWindow, GWLP_USERDATA));
  if (Window == nullptr) {
    return DefWindowProcW(AWindow, AMsg, AWParam, ALParam);
  }
  // Copies: a handler may destroy its own window, and with it what Window points at.
  IDebugOutput& Debug = *Window->Debug;
  if (AMsg == WM_COMMAND && HIWORD(AWParam) == BN_CLICKED && Window->Page) {
    const std::shared_ptr<TInfoPage> Page = Window->Page;
    const auto Control = reinterpret_cast<HWND>(ALParam);
    if (Control != nullptr && (Control == Page->OkButton || Control == Page->WebButton)) {
      const std::function<void()> Event =
          Control == Page->OkButton ? Page->Events.OnOK : Page->Events.OnGoWeb;
      if (Event) {
        platform::Guarded(Debug, "Information page", Event);
      }
      return 0;
    }
  }
  if (AMsg == WM_DPICHANGED && Window->Page) {
    const std::shared_ptr<TInfoPage> Page = Window->Page;
    platform::Guarded(Debug, "Information page", [&] {
      RescaleInfoPage(*Page, AWindow, LOWORD(AWParam), reinterpret_cast<const RECT*>(ALParam));
    });
    return 0;
  }
  const std::shared_ptr<TWindowProc> Proc = Window->Proc;
  if (Proc && *Proc) {
    TWindowMessage Message{AMsg, AWParam, ALParam, 0};
    bool Handled = false;
    // Nothing may unwind through the system's dispatch: a failing handler gets the default.
    if (platform::Guarded(Debug, "Window procedure", [&] { Handled = (*Proc)(Message); }) &&
        Handled) {
      return Message.Result;
    }
  }
  return DefWindowProcW(AWindow, AMsg, AWParam, ALParam);
}

HICON LoadBuiltInIcon(int ASize, UINT AFlags) {
  return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr),
                                       MAKEINTRESOURCEW(cBuiltInIconResource), IMAGE_ICON, ASize,
                                       ASize, AFlags));
}

HICON BuiltInIcon(int ASize) {
  const HICON Icon = LoadBuiltInIcon(ASize, LR_SHARED);
  return Icon != nullptr ? Icon : LoadIconW(nullptr, IDI_APPLICATION);
}

// Each class once per process, all with the one procedure; main windows get a background and
// a cursor, as the information page is shown on them.
bool RegisterWindowClass(const std::wstring& AName, TWindowKind AKind) {
  static rtl::TMutex Lock;
  static std::set<std::wstring> Registered MONITOR_GUARDED_BY(Lock);
  rtl::TLockGuard Guard(Lock);
  if (Registered.count(AName) != 0) {
    return true;
  }
  WNDCLASSEXW Class{};
  Class.cbSize = sizeof(Class);
  Class.lpfnWndProc = HiddenWindowProc;
  Class.hInstance = GetModuleHandleW(nullptr);
  Class.lpszClassName = AName.c_str();
  if (AKind == TWindowKind::Main) {
    Class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    Class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    Class.hIcon = BuiltInIcon(GetSystemMetrics(SM_CXICON));
    Class.hIconSm = BuiltInIcon(GetSystemMetrics(SM_CXSMICON));
  }
  if (RegisterClassExW(&Class) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    return false;
  }
  Registered.insert(AName);
  return true;
}

bool IsBackendClass(const wchar_t* AName, int ALength) {
  for (const wchar_t* Own : {cHiddenWindowClass, cTrayWindowClass}) {
    if (CompareStringOrdinal(AName, ALength, Own, -1, TRUE) == CSTR_EQUAL) {
      return true;
    }
  }
  return false;
}

struct TWtsApi {
  HMODULE Module = LoadSystemLibrary(L"wtsapi32.dll");
  BOOL(WINAPI* Register)
  (HWND, DWORD) = Resolve<decltype(Register)>(Module, "WTSRegisterSessionNotification");
  BOOL(WINAPI* Unregister)
  (HWND) = Resolve<decltype(Unregister)>(Module, "WTSUnRegisterSessionNotification");
};

// Bound once, kept for the process.
const TWtsApi& WtsApi() {
  static const TWtsApi Api;
  return Api;
}

class TWin32NamedMutex : public INamedMutex {
public:
  explicit TWin32NamedMutex(HANDLE AHandle) : FHandle(AHandle) {}
  ~TWin32NamedMutex() override {
    // Fails quietly where this process opened a mutex that another one owns.
    ReleaseMutex(FHandle);
    CloseHandle(FHandle);
  }

private:
  HANDLE FHandle;
};

} // namespace

// One hand-over, on the sending thread's stack for the length of the sent message.
struct TWin32Desktop::THandOver {
  const std::function<void()>* Work;
  std::thread::id Origin;
  std::exception_ptr Error;
};

TWin32Desktop::TWin32Desktop(IDebugOutput& ADebug)
    : FDebug(ADebug), FMainThread(GetCurrentThreadId()) {
  // Message-only: no broadcast reaches it and no other process finds it. Its message carries
  // a pointer, so it runs only a hand-over this process has in flight, once; anything else
  // (a stray message from anywhere) is ignored.
  FSyncWindow =
      CreateOwnWindow(TWindowKind::HandOver, cHiddenWindowClass, [this](TWindowMessage& AMessage) {
        if (AMessage.Msg != cSynchronizeMessage) {
          return false;
        }
        const auto* Sent = reinterpret_cast<const THandOver*>(AMessage.LParam);
        {
          rtl::TLockGuard Guard(FLock);
          if (FHandOversInFlight.erase(Sent) == 0) {
            return true;
          }
        }
        RunHandOver(*const_cast<THandOver*>(Sent));
        return true;
      });
}

TWin32Desktop::~TWin32Desktop() {
  StopWatchingForeground();
  DestroyWin32Notice();
  while (!FWindows.empty()) {
    DestroyHiddenWindow(FWindows.begin()->first);
  }
}

TWindowHandle TWin32Desktop::CreateOwnWindow(TWindowKind AKind, const std::wstring& AClassName,
                                             TWindowProc AProc) {
  if (!RegisterWindowClass(AClassName, AKind)) {
    return 0;
  }
  auto State = std::make_unique<THiddenWindow>();
  State->Proc = std::make_shared<TWindowProc>(std::move(AProc));
  State->Debug = &FDebug;
  const std::wstring Title = AKind == TWindowKind::Main ? FTitle : std::wstring();
  // Top-level windows, but for the hand-overs' own: device and shell broadcasts reach
  // top-level windows only, and other processes look main windows up by class. A tool window
  // has no task bar entry.
  const HWND Parent = AKind == TWindowKind::HandOver ? HWND_MESSAGE : nullptr;
  const HWND Window = CreateWindowExW(WS_EX_TOOLWINDOW, AClassName.c_str(), Title.c_str(),
                                      WS_POPUP | WS_CLIPCHILDREN, 0, 0, 0, 0, Parent, nullptr,
                                      GetModuleHandleW(nullptr), State.get());
  if (Window == nullptr) {
    return 0;
  }
  const auto Handle = reinterpret_cast<TWindowHandle>(Window);
  rtl::TLockGuard Guard(FLock);
  TWindow& Entry = FWindows[Handle];
  Entry.State = std::move(State);
  Entry.Kind = AKind;
  return Handle;
}

TWindowHandle TWin32Desktop::CreateHiddenWindow(TWindowProc AProc) {
  return CreateOwnWindow(TWindowKind::Hidden, cHiddenWindowClass, std::move(AProc));
}

TWindowHandle TWin32Desktop::CreateMainWindow(const std::string& AClassName, TWindowProc AProc) {
  if (AClassName.empty()) {
    return 0;
  }
  return CreateOwnWindow(TWindowKind::Main, ToWide(AClassName), std::move(AProc));
}

bool TWin32Desktop::OwnWindow(TWindowHandle AWindow, TWindowKind* AKind) {
  rtl::TLockGuard Guard(FLock);
  auto Found = FWindows.find(AWindow);
  if (Found == FWindows.end()) {
    return false;
  }
  if (AKind != nullptr) {
    *AKind = Found->second.Kind;
  }
  return true;
}

void TWin32Desktop::DestroyHiddenWindow(TWindowHandle AWindow) {
  TWindow Window;
  {
    rtl::TLockGuard Guard(FLock);
    auto Found = FWindows.find(AWindow);
    if (Found == FWindows.end()) {
      return;
    }
    Window = std::move(Found->second);
    FWindows.erase(Found);
  }
  const HWND Handle = reinterpret_cast<HWND>(AWindow);
  for (HDEVNOTIFY Notification : Window.Notifications) {
    UnregisterDeviceNotification(Notification);
  }
  if (Window.SessionNotification && WtsApi().Unregister != nullptr) {
    WtsApi().Unregister(Handle);
  }
  SetWindowLongPtrW(Handle, GWLP_USERDATA, 0);
  DestroyWindow(Handle);
  // The page's font goes with Window, after the controls that used it.
}

bool TWin32Desktop::PostWindowMessage(TWindowHandle AWindow, uint32_t AMsg, uintptr_t AWParam,
                                      intptr_t ALParam) {
  return PostMessageW(reinterpret_cast<HWND>(AWindow), AMsg, AWParam, ALParam) != FALSE;
}

bool TWin32Desktop::StartTimer(TWindowHandle AWindow, uintptr_t AId, uint32_t AIntervalMs) {
  return SetTimer(reinterpret_cast<HWND>(AWindow), AId, AIntervalMs, nullptr) != 0;
}

void TWin32Desktop::StopTimer(TWindowHandle AWindow, uintptr_t AId) {
  KillTimer(reinterpret_cast<HWND>(AWindow), AId);
}

bool TWin32Desktop::RegisterDeviceInterfaceNotification(TWindowHandle AWindow,
                                                        const TGuid& AClass) {
  DEV_BROADCAST_DEVICEINTERFACE_W Filter{};
  static_assert(sizeof(Filter) == 32);
  Filter.dbcc_size = sizeof(Filter);
  Filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  std::memcpy(&Filter.dbcc_classguid, &AClass, sizeof(GUID));
  const HDEVNOTIFY Notification = RegisterDeviceNotificationW(reinterpret_cast<HWND>(AWindow),
                                                              &Filter, DEVICE_NOTIFY_WINDOW_HANDLE);
  if (Notification == nullptr) {
    return false;
  }
  rtl::TLockGuard Guard(FLock);
  auto Found = FWindows.find(AWindow);
  if (Found == FWindows.end()) {
    UnregisterDeviceNotification(Notification);
    return false;
  }
  Found->second.Notifications.push_back(Notification);
  return true;
}

void TWin32Desktop::Synchronize(const std::function<void()>& AWork) {
  if (IsMainThread()) {
    AWork();
    return;
  }
  // Sent, not posted: the caller waits until the main thread has run the work.
  THandOver HandOver{&AWork, std::this_thread::get_id(), nullptr};
  {
    rtl::TLockGuard Guard(FLock);
    FHandOversInFlight.insert(&HandOver);
  }
  SendMessageW(reinterpret_cast<HWND>(FSyncWindow), cSynchronizeMessage, 0,
               reinterpret_cast<LPARAM>(&HandOver));
  {
    // Not taken when the window had gone: nothing may run it later.
    rtl::TLockGuard Guard(FLock);
    FHandOversInFlight.erase(&HandOver);
  }
  if (HandOver.Error) {
    std::rethrow_exception(HandOver.Error);
  }
}

void TWin32Desktop::WaitForHandOvers(uint32_t AMilliseconds) {
  // Sent messages only: they are dispatched inside the peek, nothing posted is taken.
  MsgWaitForMultipleObjectsEx(0, nullptr, AMilliseconds, QS_SENDMESSAGE, 0);
  MSG Message;
  PeekMessageW(&Message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

bool TWin32Desktop::RunningHandOverFrom(std::thread::id AThread) {
  return std::find(FHandOversRunning.begin(), FHandOversRunning.end(), AThread) !=
         FHandOversRunning.end();
}

bool TWin32Desktop::Dispatch(const MSG& AMessage) {
  if (AMessage.message == WM_QUIT) {
    FQuit = static_cast<int32_t>(AMessage.wParam);
    return false;
  }
  TranslateMessage(&AMessage);
  DispatchMessageW(&AMessage);
  return true;
}

void TWin32Desktop::ProcessMessages() {
  MSG Message;
  while (!FQuit && PeekMessageW(&Message, nullptr, 0, 0, PM_REMOVE)) {
    Dispatch(Message);
  }
}

void TWin32Desktop::WaitAndProcess(uint32_t AMilliseconds) {
  MsgWaitForMultipleObjectsEx(0, nullptr, AMilliseconds, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  ProcessMessages();
}

int32_t TWin32Desktop::RunMessageLoop() {
  MSG Message;
  while (!FQuit) {
    const BOOL Got = GetMessageW(&Message, nullptr, 0, 0);
    if (Got == -1) {
      // Only an invalid window filter fails, and there is none: end as asked for nothing.
      FQuit = 0;
      break;
    }
    if (Got == 0) {
      FQuit = static_cast<int32_t>(Message.wParam);
      break;
    }
    Dispatch(Message);
  }
  const int32_t ExitCode = *FQuit;
  FQuit.reset();
  return ExitCode;
}

void TWin32Desktop::Quit(int32_t AExitCode) {
  // The quit comes after every message already posted, as the platform orders it.
  if (IsMainThread()) {
    PostQuitMessage(AExitCode);
  } else {
    PostThreadMessageW(FMainThread, WM_QUIT, static_cast<WPARAM>(AExitCode), 0);
  }
}

TWindowHandle TWin32Desktop::FindTopLevelWindow(const std::string& AClassName) {
  struct TSearch {
    std::wstring ClassName;
    HWND Found = nullptr;
  } Search{ToWide(AClassName), nullptr};
  if (Search.ClassName.empty()) {
    return 0;
  }
  // Not FindWindowW: under some implementations it also finds message-only windows, which
  // the platform proper never does. Only children of the desktop are top-level windows.
  EnumWindows(
      [](HWND AWindow, LPARAM AData) -> BOOL {
        auto& Found = *reinterpret_cast<TSearch*>(AData);
        wchar_t Name[cMaxClassName];
        const int Length = GetClassNameW(AWindow, Name, cMaxClassName);
        if (Length <= 0 || IsBackendClass(Name, Length) ||
            CompareStringOrdinal(Name, Length, Found.ClassName.c_str(),
                                 static_cast<int>(Found.ClassName.size()), TRUE) != CSTR_EQUAL ||
            GetAncestor(AWindow, GA_PARENT) != GetDesktopWindow()) {
          return TRUE;
        }
        Found.Found = AWindow;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&Search));
  return reinterpret_cast<TWindowHandle>(Search.Found);
}

TSendResult TWin32Desktop::SendWindowMessage(TWindowHandle AWindow, uint32_t AMsg,
                                             uintptr_t AWParam, intptr_t ALParam,
                                             intptr_t& AResult) {
  DWORD_PTR Result = 0;
  SetLastError(ERROR_SUCCESS);
  // While it waits, the platform still delivers messages sent to this thread (hand-overs).
  if (SendMessageTimeoutW(reinterpret_cast<HWND>(AWindow), AMsg, AWParam, ALParam,
                          SMTO_ABORTIFHUNG | SMTO_NOTIMEOUTIFNOTHUNG, cHungReceiverTimeoutMs,
                          &Result) != 0) {
    AResult = static_cast<intptr_t>(Result);
    return TSendResult::Sent;
  }
  const DWORD Error = GetLastError();
  if (Error == ERROR_INVALID_WINDOW_HANDLE) {
    return TSendResult::NoWindow;
  }
  if (Error == ERROR_SUCCESS || Error == ERROR_TIMEOUT) {
    return TSendResult::Hung;
  }
  return TSendResult::Refused;
}

void TWin32Desktop::ShowWindowCommand(TWindowHandle AWindow, int32_t ACommand) {
  ShowWindow(reinterpret_cast<HWND>(AWindow), ACommand);
}

bool TWin32Desktop::PostShowCommand(TWindowHandle AWindow, int32_t ACommand) {
  const HWND Window = reinterpret_cast<HWND>(AWindow);
  return IsWindow(Window) != FALSE && ShowWindowAsync(Window, ACommand) != FALSE;
}

void TWin32Desktop::BringToForeground(TWindowHandle AWindow) {
  SetForegroundWindow(reinterpret_cast<HWND>(AWindow));
}

bool TWin32Desktop::WindowVisible(TWindowHandle AWindow) {
  return IsWindowVisible(reinterpret_cast<HWND>(AWindow)) != FALSE;
}

bool TWin32Desktop::AllowMessageFromLowerIntegrity(TWindowHandle AWindow, uint32_t AMsg) {
  if (!OwnWindow(AWindow)) {
    return false;
  }
  // The per-window filter came with Windows 7, the per-process one with Vista; before that
  // there is no filter to open.
  using TFilterWindow = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
  using TFilterProcess = BOOL(WINAPI*)(UINT, DWORD);
  static const HMODULE User = GetModuleHandleW(L"user32.dll");
  static const auto FilterWindow = Resolve<TFilterWindow>(User, "ChangeWindowMessageFilterEx");
  static const auto FilterProcess = Resolve<TFilterProcess>(User, "ChangeWindowMessageFilter");
  if (FilterWindow != nullptr) {
    return FilterWindow(reinterpret_cast<HWND>(AWindow), AMsg, MSGFLT_ALLOW, nullptr) != FALSE;
  }
  if (FilterProcess != nullptr) {
    return FilterProcess(AMsg, MSGFLT_ADD) != FALSE;
  }
  return true;
}

uint32_t TWin32Desktop::RegisterMessageName(const std::string& AName) {
  return AName.empty() ? 0 : RegisterWindowMessageW(ToWide(AName).c_str());
}

bool TWin32Desktop::RegisterSessionNotification(TWindowHandle AWindow) {
  constexpr DWORD cThisSession = 0; // NOTIFY_FOR_THIS_SESSION
  if (!OwnWindow(AWindow) || WtsApi().Register == nullptr ||
      !WtsApi().Register(reinterpret_cast<HWND>(AWindow), cThisSession)) {
    return false;
  }
  rtl::TLockGuard Guard(FLock);
  auto Found = FWindows.find(AWindow);
  if (Found == FWindows.end()) {
    WtsApi().Unregister(reinterpret_cast<HWND>(AWindow));
    return false;
  }
  Found->second.SessionNotification = true;
  return true;
}

void TWin32Desktop::SetApplicationTitle(const std::string& ATitle) {
  FTitle = ToWide(ATitle);
  std::vector<HWND> Main;
  {
    rtl::TLockGuard Guard(FLock);
    for (const auto& [Handle, Window] : FWindows) {
      if (Window.Kind == TWindowKind::Main) {
        Main.push_back(reinterpret_cast<HWND>(Handle));
      }
    }
  }
  for (HWND Window : Main) {
    SetWindowTextW(Window, FTitle.c_str());
  }
}

bool TWin32Desktop::NamedMutexExists(const std::string& AName) {
  const HANDLE Mutex = OpenMutexW(MUTEX_ALL_ACCESS, FALSE, ToWide(AName).c_str());
  if (Mutex != nullptr) {
    CloseHandle(Mutex);
    return true;
  }
  // One that an elevated process created exists all the same, though it refuses us.
  return GetLastError() == ERROR_ACCESS_DENIED;
}

std::unique_ptr<INamedMutex> TWin32Desktop::CreateNamedMutex(const std::string& AName,
                                                             bool& AAlreadyExisted) {
  SetLastError(ERROR_SUCCESS);
  const HANDLE Mutex = CreateMutexW(nullptr, TRUE, ToWide(AName).c_str());
  const DWORD Error = GetLastError();
  // One that an elevated process created refuses us: it exists all the same.
  AAlreadyExisted =
      Error == ERROR_ALREADY_EXISTS || (Mutex == nullptr && Error == ERROR_ACCESS_DENIED);
  if (Mutex == nullptr) {
    return nullptr;
  }
  return std::make_unique<TWin32NamedMutex>(Mutex);
}

std::unique_ptr<ITrayIcon> TWin32Desktop::CreateTrayIcon(TWindowHandle AOwner,
                                                         TTrayEvents AEvents) {
  if (!OwnWindow(AOwner)) {
    return nullptr;
  }
  return CreateWin32TrayIcon(*this, std::move(AEvents));
}

bool TWin32Desktop::CreateInfoPage(TWindowHandle AWindow, const TInfoPageTexts& ATexts,
                                   TInfoPageEvents AEvents) {
  TWindowKind Kind = TWindowKind::Hidden;
  if (!OwnWindow(AWindow, &Kind) || Kind != TWindowKind::Main) {
    return false;
  }
  const HWND Window = reinterpret_cast<HWND>(AWindow);
  // The old controls go first: a second page replaces the first.
  for (HWND Child = GetWindow(Window, GW_CHILD); Child != nullptr;
       Child = GetWindow(Window, GW_CHILD)) {
    DestroyWindow(Child);
  }
  std::shared_ptr<TInfoPage> Page = BuildInfoPage(Window, ATexts, std::move(AEvents));
  if (!Page) {
    return false;
  }
  rtl::TLockGuard Guard(FLock);
  auto Found = FWindows.find(AWindow);
  if (Found == FWindows.end()) {
    return false;
  }
  Found->second.State->Page = std::move(Page);
  return true;
}

void TWin32Desktop::SetInfoPageTexts(TWindowHandle AWindow, const TInfoPageTexts& ATexts) {
  std::shared_ptr<TInfoPage> Page;
  {
    rtl::TLockGuard Guard(FLock);
    auto Found = FWindows.find(AWindow);
    if (Found == FWindows.end() || !Found->second.State->Page) {
      return;
    }
    Page = Found->second.State->Page;
  }
  UpdateInfoPage(*Page, reinterpret_cast<HWND>(AWindow), ATexts);
}

// The hand-over always completes: its exception goes back to the sending thread.
void TWin32Desktop::RunHandOver(THandOver& AHandOver) {
  FHandOversRunning.push_back(AHandOver.Origin);
  try {
    (*AHandOver.Work)();
  } catch (...) {
    AHandOver.Error = std::current_exception();
  }
  FHandOversRunning.pop_back();
}

std::wstring TrayWindowClass() {
  return cTrayWindowClass;
}

HICON ProgramIcon(int ASize) {
  return BuiltInIcon(ASize);
}

HICON LoadProgramIcon(int ASize) {
  return LoadBuiltInIcon(ASize, 0);
}

std::unique_ptr<IDesktop> CreateDesktopService(IDebugOutput& ADebug) {
  return std::make_unique<TWin32Desktop>(ADebug);
}

// ---- the window in front ----

namespace {
// The desktop whose hook runs: an out-of-context hook calls back on the thread that set it,
// from its message loop, with no context of its own.
TWin32Desktop* GForegroundDesktop = nullptr;
std::function<void()>* GForegroundHandler = nullptr;

void CALLBACK ForegroundChanged(HWINEVENTHOOK, DWORD, HWND, LONG, LONG, DWORD, DWORD) {
  if (GForegroundDesktop != nullptr && GForegroundHandler != nullptr && *GForegroundHandler) {
    platform::Guarded(GForegroundDesktop->Debug(), "Foreground change", *GForegroundHandler);
  }
}
} // namespace

bool TWin32Desktop::WatchForeground(std::function<void()> AOnChange) {
  StopWatchingForeground();
  FOnForeground = std::move(AOnChange);
  GForegroundDesktop = this;
  GForegroundHandler = &FOnForeground;
  FForegroundHook = SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND, nullptr,
                                    ForegroundChanged, 0, 0, WINEVENT_OUTOFCONTEXT);
  if (FForegroundHook == nullptr) {
    GForegroundDesktop = nullptr;
    GForegroundHandler = nullptr;
    FOnForeground = nullptr;
    return false;
  }
  return true;
}

void TWin32Desktop::StopWatchingForeground() {
  if (FForegroundHook != nullptr) {
    UnhookWinEvent(FForegroundHook);
    FForegroundHook = nullptr;
  }
  if (GForegroundDesktop == this) {
    GForegroundDesktop = nullptr;
    GForegroundHandler = nullptr;
  }
  FOnForeground = nullptr;
}

std::string TWin32Desktop::ForegroundProgram() {
  const HWND Window = GetForegroundWindow();
  DWORD Process = 0;
  if (Window == nullptr || GetWindowThreadProcessId(Window, &Process) == 0 || Process == 0) {
    return "";
  }
  // The limited query is what a process of ordinary rights may ask of any other, elevated
  // ones included; a protected one still refuses.
  const HANDLE Handle = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, Process);
  if (Handle == nullptr) {
    return "";
  }
  std::wstring Path(32768, L'\0');
  DWORD Size = static_cast<DWORD>(Path.size());
  const BOOL Found = QueryFullProcessImageNameW(Handle, 0, Path.data(), &Size);
  CloseHandle(Handle);
  if (!Found) {
    return "";
  }
  Path.resize(Size);
  return FromWide(Path);
}

} // namespace platform::win32
