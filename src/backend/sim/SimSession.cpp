#include "backend/sim/SimSession.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>

#include "backend/sim/SimDesktop.h"
#include "backend/sim/SimFileSystem.h"
#include "backend/sim/SimTray.h"
#include "platform/WindowMessages.h"
#include "rtl/Mutex.h"
#include "rtl/Utf.h"

namespace platform::sim {

namespace {

// The platform compares window classes and message names without regard to case.
std::string Folded(const std::string& AText) {
  std::string Result = AText;
  std::transform(Result.begin(), Result.end(), Result.begin(), [](char AChar) {
    return AChar >= 'A' && AChar <= 'Z' ? AChar + ('a' - 'A') : AChar;
  });
  return Result;
}

// What the platform's icon loader checks first: the icon directory's header, and that the
// file holds every entry it announces.
bool LooksLikeIconFile(const std::string& APath) {
  std::ifstream File(Utf8Path(APath), std::ios::binary);
  uint8_t Header[6] = {};
  if (!File.read(reinterpret_cast<char*>(Header), sizeof(Header))) {
    return false;
  }
  const unsigned Reserved = Header[0] | (Header[1] << 8);
  const unsigned Type = Header[2] | (Header[3] << 8);
  const unsigned Count = Header[4] | (Header[5] << 8);
  constexpr unsigned cIconType = 1;
  constexpr std::streamoff cEntrySize = 16;
  if (Reserved != 0 || Type != cIconType || Count == 0) {
    return false;
  }
  File.seekg(0, std::ios::end);
  return File.tellg() >= static_cast<std::streamoff>(sizeof(Header)) + cEntrySize * Count;
}

class TSimNamedMutex : public INamedMutex {
public:
  TSimNamedMutex(rtl::TMutex& ALock, std::map<std::string, int>& AMutexes, std::string AName)
      : FLock(ALock), FMutexes(AMutexes), FName(std::move(AName)) {
    rtl::TLockGuard Guard(FLock);
    if (!FName.empty()) {
      ++FMutexes[FName];
    }
  }
  ~TSimNamedMutex() override {
    rtl::TLockGuard Guard(FLock);
    auto Found = FMutexes.find(FName);
    if (Found != FMutexes.end() && --Found->second == 0) {
      FMutexes.erase(Found);
    }
  }

private:
  rtl::TMutex& FLock;
  std::map<std::string, int>& FMutexes;
  std::string FName;
};

} // namespace

// ---- Windows ----

TWindowHandle TSimSession::AddWindow(TSimDesktop& AOwner, std::string AClassName, bool AMain,
                                     TWindowProc AProc, const std::string& ATitle) {
  rtl::TLockGuard Guard(FLock);
  const TWindowHandle Handle = ++FNextWindow;
  TWindow& Window = FWindows[Handle];
  Window.Owner = &AOwner;
  Window.ClassName = std::move(AClassName);
  Window.Main = AMain;
  Window.Title = ATitle;
  Window.Proc = std::make_shared<TWindowProc>(std::move(AProc));
  return Handle;
}

void TSimSession::RemoveWindow(TWindowHandle AWindow) {
  rtl::TLockGuard Guard(FLock);
  FWindows.erase(AWindow);
  if (FForeground == AWindow) {
    FForeground = 0;
  }
}

bool TSimSession::IsOwnWindow(const TSimDesktop& ADesktop, TWindowHandle AWindow) const {
  rtl::TLockGuard Guard(FLock);
  auto Found = FWindows.find(AWindow);
  return Found != FWindows.end() && Found->second.Owner == &ADesktop;
}

TSimSession::TWindow* TSimSession::OwnWindowLocked(const TSimDesktop& ADesktop,
                                                   TWindowHandle AWindow) {
  auto Found = FWindows.find(AWindow);
  return Found != FWindows.end() && Found->second.Owner == &ADesktop ? &Found->second : nullptr;
}

std::shared_ptr<TWindowProc> TSimSession::WindowProc(TWindowHandle AWindow) const {
  rtl::TLockGuard Guard(FLock);
  auto Found = FWindows.find(AWindow);
  return Found != FWindows.end() ? Found->second.Proc : nullptr;
}

std::shared_ptr<TSimSession::TInfoPage> TSimSession::WindowPage(TWindowHandle AWindow) const {
  rtl::TLockGuard Guard(FLock);
  auto Found = FWindows.find(AWindow);
  return Found != FWindows.end() ? Found->second.Page : nullptr;
}

bool TSimSession::Filtered(const TSimDesktop* ASender, const TWindow& AReceiver,
                           uint32_t AMsg) const {
  const bool Lower = AReceiver.Owner->Elevated() && (ASender == nullptr || !ASender->Elevated());
  return Lower && AMsg >= WM_USER_MESSAGE &&
         std::find(AReceiver.Allowed.begin(), AReceiver.Allowed.end(), AMsg) ==
             AReceiver.Allowed.end();
}

bool TSimSession::Post(const TSimDesktop* ASender, TWindowHandle AWindow,
                       const TWindowMessage& AMessage, bool AFromInput) {
  rtl::TLockGuard Guard(FLock);
  auto Found = FWindows.find(AWindow);
  if (Found == FWindows.end() || (!AFromInput && Filtered(ASender, Found->second, AMessage.Msg))) {
    return false;
  }
  Found->second.Owner->Enqueue(AWindow, AMessage);
  return true;
}

void TSimSession::SetHung(TWindowHandle AWindow, bool AHung) {
  rtl::TLockGuard Guard(FLock);
  auto Found = FWindows.find(AWindow);
  if (Found == FWindows.end()) {
    throw std::logic_error("no such window to hang");
  }
  TWindow& Window = Found->second;
  Window.Hung = AHung;
  if (!AHung && Window.PendingShow) {
    Window.Visible = *Window.PendingShow != SW_HIDE_VALUE;
    Window.PendingShow.reset();
  }
}

bool TSimSession::WindowExists(TWindowHandle AWindow) const {
  rtl::TLockGuard Guard(FLock);
  return FWindows.count(AWindow) != 0;
}

std::string TSimSession::WindowClass(TWindowHandle AWindow) const {
  rtl::TLockGuard Guard(FLock);
  auto Found = FWindows.find(AWindow);
  return Found != FWindows.end() ? Found->second.ClassName : std::string();
}

std::string TSimSession::WindowTitle(TWindowHandle AWindow) const {
  rtl::TLockGuard Guard(FLock);
  auto Found = FWindows.find(AWindow);
  return Found != FWindows.end() ? Found->second.Title : std::string();
}

TWindowHandle TSimSession::Foreground() const {
  rtl::TLockGuard Guard(FLock);
  return FForeground;
}

std::vector<uint32_t> TSimSession::AllowedMessages(TWindowHandle AWindow) const {
  rtl::TLockGuard Guard(FLock);
  auto Found = FWindows.find(AWindow);
  return Found != FWindows.end() ? Found->second.Allowed : std::vector<uint32_t>();
}

bool TSimSession::SessionNotificationRegistered(TWindowHandle AWindow) const {
  rtl::TLockGuard Guard(FLock);
  auto Found = FWindows.find(AWindow);
  return Found != FWindows.end() && Found->second.SessionNotification;
}

std::vector<TWindowHandle> TSimSession::TopLevelWindows() const {
  rtl::TLockGuard Guard(FLock);
  std::vector<TWindowHandle> Result;
  for (const auto& [Handle, Window] : FWindows) {
    Result.push_back(Handle);
  }
  return Result;
}

void TSimSession::BroadcastSessionChange(uintptr_t AEvent) {
  constexpr intptr_t cSessionId = 1;
  std::vector<TWindowHandle> Targets;
  {
    rtl::TLockGuard Guard(FLock);
    for (const auto& [Handle, Window] : FWindows) {
      if (Window.SessionNotification) {
        Targets.push_back(Handle);
      }
    }
  }
  // The system's own notifications pass every process's filter.
  for (TWindowHandle Window : Targets) {
    Post(nullptr, Window, {WM_WTSSESSION_CHANGE_MESSAGE, AEvent, cSessionId, 0}, true);
  }
}

void TSimSession::BroadcastPowerEvent(uintptr_t AEvent) {
  for (TWindowHandle Window : TopLevelWindows()) {
    Post(nullptr, Window, {WM_POWERBROADCAST_MESSAGE, AEvent, 0, 0}, true);
  }
}

void TSimSession::BroadcastFromShell(uint32_t AMsg) {
  for (TWindowHandle Window : TopLevelWindows()) {
    Post(nullptr, Window, {AMsg, 0, 0, 0});
  }
}

void TSimSession::SetForegroundProgram(const std::string& APath) {
  std::vector<TWindowHandle> Watching;
  {
    rtl::TLockGuard Guard(FLock);
    FForegroundProgram = APath;
    for (const auto& [Desktop, Window] : FForegroundWatch) {
      Watching.push_back(Window);
    }
  }
  for (TWindowHandle Window : Watching) {
    Post(nullptr, Window, {cSimForegroundMessage, 0, 0, 0});
  }
}

std::string TSimSession::ForegroundProgram() const {
  rtl::TLockGuard Guard(FLock);
  return FForegroundProgram;
}

std::size_t TSimSession::ForegroundWatchers() const {
  rtl::TLockGuard Guard(FLock);
  return FForegroundWatch.size();
}

uint32_t TSimSession::RegisterName(const std::string& AName) {
  if (AName.empty()) {
    return 0;
  }
  rtl::TLockGuard Guard(FLock);
  auto [Found, Added] = FMessageNames.try_emplace(Folded(AName), FNextMessageNumber);
  if (Added) {
    ++FNextMessageNumber;
  }
  return Found->second;
}

// ---- Named mutexes ----

bool TSimSession::MutexExists(const std::string& AName) const {
  rtl::TLockGuard Guard(FLock);
  return FMutexes.count(AName) != 0;
}

std::unique_ptr<INamedMutex> TSimSession::HoldMutex(const std::string& AName) {
  return std::make_unique<TSimNamedMutex>(FLock, FMutexes, AName);
}

void TSimSession::CreateMutexAfterNextCheck(const std::string& AName) {
  rtl::TLockGuard Guard(FLock);
  FMutexRaces.push_back(AName);
}

bool TSimSession::CheckMutex(const std::string& AName) {
  bool Race = false;
  bool Exists = false;
  {
    rtl::TLockGuard Guard(FLock);
    Exists = FMutexes.count(AName) != 0;
    auto Found = std::find(FMutexRaces.begin(), FMutexRaces.end(), AName);
    if (Found != FMutexRaces.end()) {
      FMutexRaces.erase(Found);
      Race = true;
    }
  }
  if (Race) {
    std::unique_ptr<INamedMutex> Other = HoldMutex(AName);
    rtl::TLockGuard Guard(FLock);
    FOtherHolders.push_back(std::move(Other));
  }
  return Exists;
}

// ---- The notification area ----

std::vector<TSimTrayIconState> TSimSession::TrayIcons() const {
  rtl::TLockGuard Guard(FLock);
  std::vector<TSimTrayIconState> Result;
  for (const TSimTrayIcon* Icon : FTray) {
    Result.push_back(Icon->FState);
  }
  return Result;
}

void TSimSession::ClickTrayIcon(std::size_t AIndex) {
  TWindowHandle Window = 0;
  {
    rtl::TLockGuard Guard(FLock);
    if (AIndex >= FTray.size()) {
      throw std::logic_error("no such tray icon to click");
    }
    Window = FTray[AIndex]->FWindow;
  }
  Post(nullptr, Window, {cSimTrayCallbackMessage, cSimTrayClick, 0, 0}, true);
}

void TSimSession::ChooseTrayMenuItem(uint32_t AId, std::size_t AIndex) {
  TWindowHandle Window = 0;
  {
    rtl::TLockGuard Guard(FLock);
    if (AIndex >= FTray.size()) {
      throw std::logic_error("no such tray icon to open the menu of");
    }
    const auto& Menu = FTray[AIndex]->FState.Menu;
    if (std::none_of(Menu.begin(), Menu.end(), [AId](const TTrayMenuItem& AItem) {
          return AItem.Id == AId && AItem.Visible;
        })) {
      throw std::logic_error("the menu shows no item " + std::to_string(AId));
    }
    Window = FTray[AIndex]->FWindow;
  }
  Post(nullptr, Window, {cSimTrayCallbackMessage, cSimTrayMenuItem, static_cast<intptr_t>(AId), 0},
       true);
}

void TSimSession::RestartShell() {
  {
    rtl::TLockGuard Guard(FLock);
    FTray.clear();
    FShellRunning = true;
  }
  BroadcastFromShell(RegisterName("TaskbarCreated"));
}

void TSimSession::SetShellRunning(bool ARunning) {
  rtl::TLockGuard Guard(FLock);
  FShellRunning = ARunning;
}

void TSimSession::RefuseTrayAdds(std::size_t ACount) {
  rtl::TLockGuard Guard(FLock);
  FTrayAddsRefused = ACount;
}

void TSimSession::RefuseSessionNotifications(std::size_t ACount) {
  rtl::TLockGuard Guard(FLock);
  FSessionNotificationsRefused = ACount;
}

void TSimSession::AddTrayIcon(TSimTrayIcon& AIcon) {
  if (std::find(FTray.begin(), FTray.end(), &AIcon) == FTray.end()) {
    FTray.push_back(&AIcon);
  }
}

void TSimSession::RemoveTrayIcon(TSimTrayIcon& AIcon) {
  FTray.erase(std::remove(FTray.begin(), FTray.end(), &AIcon), FTray.end());
}

// ---- The information page ----

std::optional<TInfoPageTexts> TSimSession::InfoPage(TWindowHandle AWindow) const {
  rtl::TLockGuard Guard(FLock);
  auto Found = FWindows.find(AWindow);
  if (Found == FWindows.end() || !Found->second.Page) {
    return std::nullopt;
  }
  return Found->second.Page->Texts;
}

void TSimSession::ClickInfoPage(TWindowHandle AWindow, uintptr_t AButton) {
  {
    rtl::TLockGuard Guard(FLock);
    auto Found = FWindows.find(AWindow);
    if (Found == FWindows.end() || !Found->second.Page) {
      throw std::logic_error("no information page to click");
    }
    if (!Found->second.Visible) {
      throw std::logic_error("the information page is hidden: nobody can click it");
    }
  }
  Post(nullptr, AWindow, {cSimInfoPageClickMessage, AButton, 0, 0}, true);
}

void TSimSession::ClickInfoPageOK(TWindowHandle AWindow) {
  ClickInfoPage(AWindow, cSimInfoPageOK);
}

void TSimSession::ClickInfoPageWeb(TWindowHandle AWindow) {
  ClickInfoPage(AWindow, cSimInfoPageWeb);
}

// ---- The tray icon ----

TSimTrayIcon::TSimTrayIcon(TSimDesktop& ADesktop, TWindowHandle AOwner, TTrayEvents AEvents)
    : FDesktop(ADesktop), FSession(ADesktop.Session()), FEvents(std::move(AEvents)) {
  FState.Owner = AOwner;
  FWindow = FDesktop.CreateHiddenWindow(
      [this](TWindowMessage& AMessage) { return HandleMessage(AMessage); });
  FTaskbarCreated = FDesktop.RegisterMessageName("TaskbarCreated");
  // The shell is not elevated: an elevated program must let its broadcast through.
  FDesktop.AllowMessageFromLowerIntegrity(FWindow, FTaskbarCreated);
}

TSimTrayIcon::~TSimTrayIcon() {
  {
    rtl::TLockGuard Guard(FSession.FLock);
    FSession.RemoveTrayIcon(*this);
  }
  FDesktop.DestroyHiddenWindow(FWindow);
}

bool TSimTrayIcon::LoadIconFile(const std::string& APath) {
  if (!LooksLikeIconFile(APath)) {
    return false;
  }
  rtl::TLockGuard Guard(FSession.FLock);
  FState.IconFile = APath;
  return true;
}

void TSimTrayIcon::SetHint(const std::string& AHint) {
  // The shell keeps the hint in a fixed field.
  char16_t Field[cMaxTrayHintUnits + 1];
  rtl::StoreFixedText(Field, AHint);
  rtl::TLockGuard Guard(FSession.FLock);
  FState.Hint = rtl::ReadFixedText(Field);
}

void TSimTrayIcon::SetMenu(const std::vector<TTrayMenuItem>& AItems) {
  for (const TTrayMenuItem& Item : AItems) {
    if (Item.Id == 0 || Item.Id > cMaxMenuItemId) {
      throw std::invalid_argument("menu item identifier out of range: " + std::to_string(Item.Id));
    }
  }
  rtl::TLockGuard Guard(FSession.FLock);
  FState.Menu = AItems;
}

void TSimTrayIcon::SetMenuCaption(uint32_t AId, const std::string& ACaption) {
  rtl::TLockGuard Guard(FSession.FLock);
  for (TTrayMenuItem& Item : FState.Menu) {
    if (Item.Id == AId) {
      Item.Caption = ACaption;
    }
  }
}

bool TSimTrayIcon::Show() {
  FWanted = true;
  rtl::TLockGuard Guard(FSession.FLock);
  if (!FSession.FShellRunning) {
    return false;
  }
  if (FSession.FTrayAddsRefused > 0) {
    --FSession.FTrayAddsRefused;
    return false;
  }
  FSession.AddTrayIcon(*this);
  return true;
}

bool TSimTrayIcon::HandleMessage(TWindowMessage& AMessage) {
  if (AMessage.Msg == cSimTrayCallbackMessage) {
    if (AMessage.WParam == cSimTrayClick) {
      const std::function<void()> Event = FEvents.OnClick;
      if (Event) {
        Event();
      }
      return true;
    }
    const auto Id = static_cast<uint32_t>(AMessage.LParam);
    bool Shown = false;
    {
      rtl::TLockGuard Guard(FSession.FLock);
      Shown = std::any_of(FState.Menu.begin(), FState.Menu.end(), [Id](const TTrayMenuItem& AItem) {
        return AItem.Id == Id && AItem.Visible;
      });
    }
    const std::function<void(uint32_t)> Event = FEvents.OnMenuItem;
    if (Shown && Event) {
      Event(Id);
    }
    return true;
  }
  if (FTaskbarCreated != 0 && AMessage.Msg == FTaskbarCreated) {
    if (FWanted) {
      Show();
    }
    return true;
  }
  return false;
}

} // namespace platform::sim
