#include <windows.h>
// clang-format off
#include <shellapi.h>
// clang-format on

#include <cstring>
#include <iterator>
#include <stdexcept>

#include "backend/win32/Win32Desktop.h"
#include "backend/win32/Win32Text.h"
#include "rtl/Utf.h"

namespace platform::win32 {

namespace {

// The shell's callback to the icon's window: lParam is the mouse message.
constexpr UINT cTrayCallbackMessage = WM_APP + 0x52;
constexpr UINT cTrayIconId = 1;

class TWin32TrayIcon : public ITrayIcon {
public:
  TWin32TrayIcon(TWin32Desktop& ADesktop, TTrayEvents AEvents)
      : FDesktop(ADesktop), FEvents(std::move(AEvents)) {
    static_assert(std::size(NOTIFYICONDATAW{}.szTip) == cMaxTrayHintUnits + 1);
    FWindow = FDesktop.CreateOwnWindow(
        TWindowKind::Tray, TrayWindowClass(),
        [this](TWindowMessage& AMessage) { return HandleMessage(AMessage); });
    FTaskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    if (FWindow != 0 && FTaskbarCreated != 0) {
      // The shell is not elevated: an elevated program must let its broadcast through.
      FDesktop.AllowMessageFromLowerIntegrity(FWindow, FTaskbarCreated);
    }
    FData.cbSize = sizeof(FData);
    FData.hWnd = reinterpret_cast<HWND>(FWindow);
    FData.uID = cTrayIconId;
    FData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    FData.uCallbackMessage = cTrayCallbackMessage;
    FData.hIcon = ProgramIcon(GetSystemMetrics(SM_CXSMICON));
  }

  ~TWin32TrayIcon() override {
    if (FAdded) {
      Shell_NotifyIconW(NIM_DELETE, &FData);
    }
    FDesktop.DestroyHiddenWindow(FWindow);
    if (FLoadedIcon != nullptr) {
      DestroyIcon(FLoadedIcon);
    }
  }

  TWin32TrayIcon(const TWin32TrayIcon&) = delete;
  TWin32TrayIcon& operator=(const TWin32TrayIcon&) = delete;

  bool Created() const { return FWindow != 0; }

  bool LoadIconFile(const std::string& APath) override {
    const int Size = GetSystemMetrics(SM_CXSMICON);
    const auto Icon = static_cast<HICON>(
        LoadImageW(nullptr, ToWide(APath).c_str(), IMAGE_ICON, Size, Size, LR_LOADFROMFILE));
    if (Icon == nullptr) {
      return false;
    }
    FData.hIcon = Icon;
    Modify();
    if (FLoadedIcon != nullptr) {
      DestroyIcon(FLoadedIcon);
    }
    FLoadedIcon = Icon;
    return true;
  }

  void SetHint(const std::string& AHint) override {
    char16_t Tip[cMaxTrayHintUnits + 1];
    rtl::StoreFixedText(Tip, AHint);
    static_assert(sizeof(Tip) == sizeof(FData.szTip));
    std::memcpy(FData.szTip, Tip, sizeof(Tip));
    Modify();
  }

  void SetMenu(const std::vector<TTrayMenuItem>& AItems) override {
    for (const TTrayMenuItem& Item : AItems) {
      if (Item.Id == 0 || Item.Id > cMaxMenuItemId) {
        throw std::invalid_argument("menu item identifier out of range: " +
                                    std::to_string(Item.Id));
      }
    }
    FItems = AItems;
  }

  void SetMenuCaption(uint32_t AId, const std::string& ACaption) override {
    for (TTrayMenuItem& Item : FItems) {
      if (Item.Id == AId) {
        Item.Caption = ACaption;
      }
    }
  }

  bool Show() override {
    FWanted = true;
    return Add();
  }

private:
  bool Add() {
    // An icon the shell still shows (a broadcast without a restart) is updated instead.
    FAdded = Shell_NotifyIconW(NIM_ADD, &FData) != FALSE ||
             Shell_NotifyIconW(NIM_MODIFY, &FData) != FALSE;
    return FAdded;
  }

  void Modify() {
    if (FAdded) {
      Shell_NotifyIconW(NIM_MODIFY, &FData);
    }
  }

  bool Shown(uint32_t AId) const {
    for (const TTrayMenuItem& Item : FItems) {
      if (Item.Id == AId && Item.Visible) {
        return true;
      }
    }
    return false;
  }

  // The menu runs its own loop until it closes; the chosen item comes back as WM_COMMAND.
  // Nothing of this object is touched once the menu has opened: a handler that runs during
  // the menu's loop may destroy it.
  void OpenMenu() {
    const HMENU Menu = CreatePopupMenu();
    if (Menu == nullptr) {
      return;
    }
    int Count = 0;
    for (const TTrayMenuItem& Item : FItems) {
      if (Item.Visible &&
          AppendMenuW(Menu, MF_STRING, Item.Id, ToWide(Item.Caption).c_str()) != FALSE) {
        ++Count;
      }
    }
    const HWND Window = reinterpret_cast<HWND>(FWindow);
    if (Count > 0) {
      POINT Cursor{};
      GetCursorPos(&Cursor);
      // Without the foreground the menu stays open when the user clicks elsewhere; without
      // the message after it, the next menu may close at once.
      SetForegroundWindow(Window);
      const UINT Align =
          GetSystemMetrics(SM_MENUDROPALIGNMENT) != 0 ? TPM_RIGHTALIGN : TPM_LEFTALIGN;
      TrackPopupMenu(Menu, Align | TPM_RIGHTBUTTON, Cursor.x, Cursor.y, 0, Window, nullptr);
      PostMessageW(Window, WM_NULL, 0, 0);
    }
    DestroyMenu(Menu);
  }

  bool HandleMessage(TWindowMessage& AMessage) {
    if (AMessage.Msg == cTrayCallbackMessage) {
      const UINT Mouse = LOWORD(static_cast<DWORD>(AMessage.LParam));
      if (Mouse == WM_LBUTTONUP) {
        const std::function<void()> Event = FEvents.OnClick;
        if (Event) {
          Event();
        }
      } else if (Mouse == WM_RBUTTONUP) {
        OpenMenu();
      }
      return true;
    }
    // A menu's command: no notification code and no control.
    if (AMessage.Msg == WM_COMMAND && HIWORD(AMessage.WParam) == 0 && AMessage.LParam == 0) {
      const uint32_t Id = LOWORD(AMessage.WParam);
      const std::function<void(uint32_t)> Event = FEvents.OnMenuItem;
      if (Shown(Id) && Event) {
        Event(Id);
      }
      return true;
    }
    if (FTaskbarCreated != 0 && AMessage.Msg == FTaskbarCreated) {
      if (FWanted) {
        Add();
      }
      return true;
    }
    return false;
  }

  TWin32Desktop& FDesktop;
  TTrayEvents FEvents;
  TWindowHandle FWindow = 0;
  UINT FTaskbarCreated = 0;
  NOTIFYICONDATAW FData{};
  HICON FLoadedIcon = nullptr;
  std::vector<TTrayMenuItem> FItems;
  bool FWanted = false;
  bool FAdded = false;
};

} // namespace

std::unique_ptr<ITrayIcon> CreateWin32TrayIcon(TWin32Desktop& ADesktop, TTrayEvents AEvents) {
  auto Icon = std::make_unique<TWin32TrayIcon>(ADesktop, std::move(AEvents));
  if (!Icon->Created()) {
    return nullptr;
  }
  return Icon;
}

} // namespace platform::win32
