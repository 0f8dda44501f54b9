// The program's own windows and the rest of the session, on both backends: main windows
// found by class, sends to responsive, hung and gone receivers, named mutexes, the message
// loop, the tray icon driven as the shell drives it, the information page, the shell.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <thread>

#include "backend/sim/SimTray.h"
#include "platform/InfoPageLayout.h"
#include "platform/SysError.h"
#include "platform/WindowMessages.h"
#include "rtl/Component.h"
#include "rtl/Utf.h"
#include "support/Process.h"
#include "support/Session.h"
#include "support/TestHost.h"
#include "support/TestPlatform.h"
#ifdef _WIN32
#include <windows.h>

#include "backend/win32/Win32Text.h"
#include "platform/DesktopPeer.h"
#endif

namespace {

using namespace platform;
using namespace test;
namespace fs = std::filesystem;

constexpr uint32_t cQuestion = WM_USER_MESSAGE + 7;

// A main window that answers cQuestion with 2 * wParam + 1 and counts what it is posted.
struct TAnsweringWindow {
  std::vector<uintptr_t> Posted;
  TWindowProc Proc() {
    return [this](TWindowMessage& AMessage) {
      if (AMessage.Msg == cQuestion) {
        AMessage.Result = static_cast<intptr_t>(2 * AMessage.WParam + 1);
        return true;
      }
      if (AMessage.Msg == cQuestion + 1) {
        Posted.push_back(AMessage.WParam);
        return true;
      }
      return false;
    };
  }
};

class DesktopServicesTest : public ::testing::TestWithParam<std::string> {
protected:
  void SetUp() override { FBackend = test::MakeTestPlatform(GetParam()); }
  IDesktop& Desktop() { return FBackend->Platform().Desktop; }
  sim::TSimWorld* Sim() { return FBackend->Sim(); }
  std::unique_ptr<test::TTestPlatform> FBackend;
};

#ifdef _WIN32
// A window of class AClass made with the platform's own calls: top-level or message-only.
HWND RawWindow(const std::wstring& AClass, bool AMessageOnly) {
  WNDCLASSEXW Class{};
  Class.cbSize = sizeof(Class);
  Class.lpfnWndProc = DefWindowProcW;
  Class.hInstance = GetModuleHandleW(nullptr);
  Class.lpszClassName = AClass.c_str();
  RegisterClassExW(&Class);
  return CreateWindowExW(0, AClass.c_str(), L"", WS_POPUP, 0, 0, 0, 0,
                         AMessageOnly ? HWND_MESSAGE : nullptr, nullptr, GetModuleHandleW(nullptr),
                         nullptr);
}
#endif

TEST_P(DesktopServicesTest, MainWindowsAreFoundByClassAndAnswerSends) {
  const std::string Class = UniqueName("TDesktopTestMain");
  TAnsweringWindow Answering;
  const TWindowHandle Main = Desktop().CreateMainWindow(Class, Answering.Proc());
  ASSERT_NE(Main, 0u);
  EXPECT_EQ(Desktop().FindTopLevelWindow(Class), Main);
  std::string Upper = Class;
  for (char& Char : Upper) {
    Char = static_cast<char>(std::toupper(static_cast<unsigned char>(Char)));
  }
  EXPECT_EQ(Desktop().FindTopLevelWindow(Upper), Main);
  EXPECT_EQ(Desktop().FindTopLevelWindow(Class + "x"), 0u);
  EXPECT_EQ(Desktop().FindTopLevelWindow(""), 0u);

  intptr_t Answer = 0;
  EXPECT_EQ(Desktop().SendWindowMessage(Main, cQuestion, 20, 0, Answer), TSendResult::Sent);
  EXPECT_EQ(Answer, 41);
  EXPECT_TRUE(Desktop().PostWindowMessage(Main, cQuestion + 1, 5, 0));
  Desktop().ProcessMessages();
  EXPECT_EQ(Answering.Posted, std::vector<uintptr_t>{5});

  // Hidden until shown; shown and brought to the front as the configuration program is.
  EXPECT_FALSE(Desktop().WindowVisible(Main));
  Desktop().ShowWindowCommand(Main, SW_SHOW_VALUE);
  Desktop().BringToForeground(Main);
  EXPECT_TRUE(Desktop().WindowVisible(Main));
#ifdef _WIN32
  if (!Sim()) {
    EXPECT_EQ(reinterpret_cast<TWindowHandle>(GetForegroundWindow()), Main);
  }
#endif
  if (Sim()) {
    EXPECT_EQ(Sim()->Session->Foreground(), Main);
  }
  Desktop().ShowWindowCommand(Main, SW_HIDE_VALUE);
  EXPECT_FALSE(Desktop().WindowVisible(Main));

  // The title is the main windows' text, Chinese included.
  const std::string Title = "GAMING MOUSE MONITOR \xE4\xB8\xAD";
  Desktop().SetApplicationTitle(Title);
#ifdef _WIN32
  if (!Sim()) {
    wchar_t Text[64] = {};
    GetWindowTextW(reinterpret_cast<HWND>(Main), Text, 64);
    EXPECT_EQ(win32::FromWide(Text), Title);
  }
#endif
  if (Sim()) {
    EXPECT_EQ(Sim()->Session->WindowTitle(Main), Title);
  }

  // A window that has gone: nothing finds it, a send says so, a post fails.
  Desktop().DestroyHiddenWindow(Main);
  EXPECT_EQ(Desktop().FindTopLevelWindow(Class), 0u);
  Answer = -1;
  EXPECT_EQ(Desktop().SendWindowMessage(Main, cQuestion, 1, 0, Answer), TSendResult::NoWindow);
  EXPECT_EQ(Answer, -1);
  EXPECT_FALSE(Desktop().PostWindowMessage(Main, cQuestion + 1, 6, 0));
}

TEST_P(DesktopServicesTest, HiddenAndMessageOnlyWindowsAreNeverFoundByClass) {
  const TWindowHandle Hidden = Desktop().CreateHiddenWindow([](TWindowMessage&) { return false; });
  ASSERT_NE(Hidden, 0u);
  if (Sim()) {
    // Another process of the session finds this one's main window, never its hidden ones.
    sim::TSimDesktop Peer(*Sim()->Session, Sim()->Dialogs);
    const std::string Class = UniqueName("TPeerMain");
    EXPECT_EQ(Desktop().FindTopLevelWindow(Class), 0u);
    const TWindowHandle PeerMain =
        Peer.CreateMainWindow(Class, [](TWindowMessage&) { return false; });
    EXPECT_EQ(Desktop().FindTopLevelWindow(Class), PeerMain);
    EXPECT_EQ(Sim()->Session->WindowClass(Hidden), "");
    return;
  }
#ifdef _WIN32
  // The backend's own windows are not the program's to be found.
  EXPECT_EQ(Desktop().FindTopLevelWindow(win32::FromWide(ClassOf(reinterpret_cast<HWND>(Hidden)))),
            0u);
  // A message-only window is no top-level window, whatever this platform's lookup finds; a
  // top-level window of the same making is found (the positive control).
  const std::wstring MessageOnlyClass = win32::ToWide(UniqueName("TMessageOnly"));
  const HWND MessageOnly = RawWindow(MessageOnlyClass, true);
  ASSERT_NE(MessageOnly, nullptr);
  EXPECT_EQ(Desktop().FindTopLevelWindow(win32::FromWide(MessageOnlyClass)), 0u);
  const std::wstring TopLevelClass = win32::ToWide(UniqueName("TTopLevel"));
  const HWND TopLevel = RawWindow(TopLevelClass, false);
  EXPECT_EQ(Desktop().FindTopLevelWindow(win32::FromWide(TopLevelClass)),
            reinterpret_cast<TWindowHandle>(TopLevel));
  DestroyWindow(MessageOnly);
  DestroyWindow(TopLevel);
#endif
}

#ifdef _WIN32
constexpr auto cBusyAnswer = std::chrono::milliseconds(300);

LRESULT CALLBACK BusyReceiverProc(HWND AWindow, UINT AMsg, WPARAM AWParam, LPARAM ALParam) {
  if (AMsg == cQuestion) {
    std::this_thread::sleep_for(cBusyAnswer);
    return static_cast<LRESULT>(2 * AWParam + 1);
  }
  return DefWindowProcW(AWindow, AMsg, AWParam, ALParam);
}
#endif

TEST_P(DesktopServicesTest, ASendWaitsForABusyReceiverAndGivesUpAHungOne) {
  if (Sim()) {
    sim::TSimDesktop Peer(*Sim()->Session, Sim()->Dialogs);
    TAnsweringWindow Answering;
    const TWindowHandle Receiver = Peer.CreateMainWindow("TTARNCFGMAIN", Answering.Proc());
    intptr_t Answer = 0;
    EXPECT_EQ(Desktop().SendWindowMessage(Receiver, cQuestion, 3, 0, Answer), TSendResult::Sent);
    EXPECT_EQ(Answer, 7);
    Sim()->Session->SetHung(Receiver, true);
    Answer = -1;
    EXPECT_EQ(Desktop().SendWindowMessage(Receiver, cQuestion, 3, 0, Answer), TSendResult::Hung);
    EXPECT_EQ(Answer, -1);
    // Posted messages still queue for it.
    EXPECT_TRUE(Desktop().PostWindowMessage(Receiver, cQuestion + 1, 9, 0));
    Peer.ProcessMessages();
    EXPECT_EQ(Answering.Posted, std::vector<uintptr_t>{9});
    return;
  }
#ifdef _WIN32
  // The receivers live on a thread of their own: it answers after a while as long as it
  // handles messages, then stops handling them long enough for the platform to call it hung.
  constexpr auto cHungAfter = std::chrono::milliseconds(5600);
  std::atomic<HWND> Receiver{nullptr};
  std::atomic<bool> BusyDone{false};
  std::atomic<bool> Stopped{false};
  std::atomic<bool> Release{false};
  std::thread Receivers([&] {
    const std::wstring Name = win32::ToWide(UniqueName("TBusyReceiver"));
    WNDCLASSEXW Class{};
    Class.cbSize = sizeof(Class);
    Class.lpfnWndProc = BusyReceiverProc;
    Class.hInstance = GetModuleHandleW(nullptr);
    Class.lpszClassName = Name.c_str();
    RegisterClassExW(&Class);
    const HWND Window = CreateWindowExW(0, Name.c_str(), L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                                        nullptr, GetModuleHandleW(nullptr), nullptr);
    Receiver = Window;
    MSG Message;
    while (!BusyDone) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
      while (PeekMessageW(&Message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&Message);
      }
    }
    Stopped = true;
    while (!Release) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    DestroyWindow(Window);
  });
  EXPECT_TRUE(test::WaitUntil([&] { return Receiver.load() != nullptr; }));
  const auto Target = reinterpret_cast<TWindowHandle>(Receiver.load());
  intptr_t Answer = 0;
  const auto Started = std::chrono::steady_clock::now();
  EXPECT_EQ(Desktop().SendWindowMessage(Target, cQuestion, 4, 0, Answer), TSendResult::Sent);
  EXPECT_EQ(Answer, 9);
  EXPECT_GE(std::chrono::steady_clock::now() - Started, cBusyAnswer);
  BusyDone = true;
  EXPECT_TRUE(test::WaitUntil([&] { return Stopped.load(); }));
  std::this_thread::sleep_for(cHungAfter);
  Answer = -1;
  EXPECT_EQ(Desktop().SendWindowMessage(Target, cQuestion, 4, 0, Answer), TSendResult::Hung);
  EXPECT_EQ(Answer, -1);
  // A posted show returns at once; the hung window shows only when its thread takes it.
  EXPECT_TRUE(Desktop().PostShowCommand(Target, SW_SHOW_VALUE));
  EXPECT_FALSE(Desktop().WindowVisible(Target));
  Release = true;
  Receivers.join();
#endif
}

// The page as designed at 100 %, and at 150 and 200 % every size scaled as the platform rounds,
// the controls inside the page and apart from each other.
TEST(InfoPageLayout, ThePageGrowsWithTheDisplayScalingAndItsControlsStayApart) {
  const TInfoPageLayout Design = LayoutInfoPage(cDefaultDpi, 4);
  EXPECT_EQ(Design.ClientWidth, cInfoPageWidth);
  EXPECT_EQ(Design.Labels[3], (TPageRect{24, 114, 456, 22}));
  EXPECT_EQ(Design.Address, (TPageRect{24, 144, 352, 24}));
  EXPECT_EQ(Design.WebButton, (TPageRect{384, 141, 96, 30}));
  EXPECT_EQ(Design.OkButton, (TPageRect{384, 346, 96, 30}));
  EXPECT_EQ(LayoutInfoPage(0, 4).OkButton, Design.OkButton);
  for (const uint32_t Dpi : {120u, 144u, 192u}) {
    const TInfoPageLayout Page = LayoutInfoPage(Dpi, 4);
    EXPECT_EQ(Page.ClientHeight, ScaleToDpi(cInfoPageHeight, Dpi));
    EXPECT_EQ(Page.Labels[0].Height, ScaleToDpi(22, Dpi));
    std::vector<TPageRect> All = Page.Labels;
    All.insert(All.end(), {Page.Address, Page.WebButton, Page.OkButton});
    for (std::size_t A = 0; A < All.size(); ++A) {
      EXPECT_TRUE(All[A].Left >= 0 && All[A].Top >= 0 && All[A].Right() <= Page.ClientWidth &&
                  All[A].Bottom() <= Page.ClientHeight);
      for (std::size_t B = A + 1; B < All.size(); ++B) {
        EXPECT_TRUE(All[A].Right() <= All[B].Left || All[B].Right() <= All[A].Left ||
                    All[A].Bottom() <= All[B].Top || All[B].Bottom() <= All[A].Top)
            << Dpi << ": " << A << " and " << B;
      }
    }
  }
  EXPECT_EQ(ScaleToDpi(22, 144), 33);
  EXPECT_EQ(ScaleToDpi(15, 120), 19); // 18.75
}

TEST_P(DesktopServicesTest, NamedMutexesExistWhileHeldAndAreComparedWithCase) {
  const std::string Name = UniqueName("TDesktopTestMutex");
  EXPECT_FALSE(Desktop().NamedMutexExists(Name));
  bool Existed = true;
  auto First = Desktop().CreateNamedMutex(Name, Existed);
  ASSERT_TRUE(First);
  EXPECT_FALSE(Existed);
  EXPECT_TRUE(Desktop().NamedMutexExists(Name));
  EXPECT_FALSE(Desktop().NamedMutexExists(Name + "x"));
  std::string Other = Name;
  Other[0] = 't';
  EXPECT_FALSE(Desktop().NamedMutexExists(Other));
  // A second create opens the same mutex and says so: it lives until both are gone.
  auto Second = Desktop().CreateNamedMutex(Name, Existed);
  ASSERT_TRUE(Second);
  EXPECT_TRUE(Existed);
  First.reset();
  EXPECT_TRUE(Desktop().NamedMutexExists(Name));
  Second.reset();
  EXPECT_FALSE(Desktop().NamedMutexExists(Name));
}

TEST_P(DesktopServicesTest, TheLoopEndsWithTheQuitCodeAfterWhatWasPostedBefore) {
  std::vector<intptr_t> Seen;
  TWindowHandle Window = 0;
  Window = Desktop().CreateMainWindow(UniqueName("TLoopTest"), [&](TWindowMessage& AMessage) {
    if (AMessage.Msg != cQuestion) {
      return false;
    }
    Seen.push_back(AMessage.LParam);
    if (AMessage.LParam == 2) {
      Desktop().Quit(7);
      Desktop().PostWindowMessage(Window, cQuestion, 0, 4); // posted after: still handled
    }
    return true;
  });
  ASSERT_NE(Window, 0u);
  for (intptr_t Index = 1; Index <= 3; ++Index) {
    Desktop().PostWindowMessage(Window, cQuestion, 0, Index);
  }
  EXPECT_EQ(Desktop().RunMessageLoop(), 7);
  EXPECT_EQ(Seen, (std::vector<intptr_t>{1, 2, 3, 4}));

  // A quit that another pump met first still ends the loop.
  Desktop().Quit(3);
  Desktop().ProcessMessages();
  EXPECT_EQ(Desktop().RunMessageLoop(), 3);

  // A quit from another thread ends a loop that waits.
  std::thread Quitter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    Desktop().Quit(9);
  });
  EXPECT_EQ(Desktop().RunMessageLoop(), 9);
  Quitter.join();
}

TEST_P(DesktopServicesTest, SessionMessagesAreRegisteredAndLetThrough) {
  const uint32_t Created = Desktop().RegisterMessageName("TaskbarCreated");
  EXPECT_GE(Created, 0xC000u);
  EXPECT_EQ(Desktop().RegisterMessageName("taskbarcreated"), Created);
  EXPECT_NE(Desktop().RegisterMessageName(UniqueName("TDesktopTestMessage")), Created);
  EXPECT_EQ(Desktop().RegisterMessageName(""), 0u);

  std::vector<TWindowMessage> Seen;
  const TWindowHandle Main =
      Desktop().CreateMainWindow(UniqueName("TSessionTest"), [&](TWindowMessage& AMessage) {
        if (AMessage.Msg == WM_WTSSESSION_CHANGE_MESSAGE ||
            AMessage.Msg == WM_POWERBROADCAST_MESSAGE || AMessage.Msg == cQuestion) {
          Seen.push_back(AMessage);
          return true;
        }
        return false;
      });
  ASSERT_NE(Main, 0u);
  EXPECT_TRUE(Desktop().RegisterSessionNotification(Main));
  EXPECT_FALSE(Desktop().RegisterSessionNotification(Main + 1));
  EXPECT_TRUE(Desktop().AllowMessageFromLowerIntegrity(Main, cQuestion));
  EXPECT_FALSE(Desktop().AllowMessageFromLowerIntegrity(0, cQuestion));
  if (!Sim()) {
    return; // the platform's filter and session changes cannot be produced here
  }
  // The session's own notifications reach it.
  Sim()->Session->BroadcastSessionChange(WTS_SESSION_UNLOCK_VALUE);
  Sim()->Session->BroadcastPowerEvent(PBT_APMRESUMEAUTOMATIC_VALUE);
  Desktop().ProcessMessages();
  ASSERT_EQ(Seen.size(), 2u);
  EXPECT_EQ(Seen[0].Msg, WM_WTSSESSION_CHANGE_MESSAGE);
  EXPECT_EQ(Seen[0].WParam, WTS_SESSION_UNLOCK_VALUE);
  EXPECT_EQ(Seen[1].Msg, WM_POWERBROADCAST_MESSAGE);
  EXPECT_EQ(Seen[1].WParam, PBT_APMRESUMEAUTOMATIC_VALUE);
  // An elevated process hears a process of ordinary integrity only where it allowed it.
  Seen.clear();
  Sim()->Desktop.SetElevated(true);
  sim::TSimDesktop Peer(*Sim()->Session, Sim()->Dialogs);
  intptr_t Answer = 0;
  EXPECT_TRUE(Peer.PostWindowMessage(Main, cQuestion, 1, 0));
  EXPECT_FALSE(Peer.PostWindowMessage(Main, cQuestion + 1, 2, 0));
  EXPECT_EQ(Peer.SendWindowMessage(Main, cQuestion + 1, 3, 0, Answer), TSendResult::Refused);
  Desktop().ProcessMessages();
  ASSERT_EQ(Seen.size(), 1u);
  EXPECT_EQ(Seen[0].WParam, 1u);
  EXPECT_EQ(Sim()->Session->AllowedMessages(Main), std::vector<uint32_t>{cQuestion});
  // The registration ends with the window.
  Desktop().DestroyHiddenWindow(Main);
  EXPECT_FALSE(Sim()->Session->SessionNotificationRegistered(Main));
}

// ---- The tray icon, driven as the shell drives it ----

// What a test does to the notification area, and what it reads back from it.
class TTrayDriver {
public:
  virtual ~TTrayDriver() = default;
  // Whether the area shows an icon with that hint.
  virtual bool ShowsHint(IMainThread& AMainThread, const std::string& AHint) = 0;
  virtual void Click(IMainThread& AMainThread, const std::string& AHint) = 0;
  // Opens the menu of the icon with that hint, chooses AId and returns the captions shown.
  virtual std::vector<std::string> ChooseMenuItem(IMainThread& AMainThread,
                                                  const std::string& AHint, uint32_t AId) = 0;
  // The shell loses every icon and announces that it has started again.
  virtual void RestartShell(IMainThread& AMainThread) = 0;
};

class TSimTrayDriver : public TTrayDriver {
public:
  explicit TSimTrayDriver(sim::TSimSession& ASession) : FSession(ASession) {}
  bool ShowsHint(IMainThread&, const std::string& AHint) override { return Index(AHint) >= 0; }
  void Click(IMainThread&, const std::string& AHint) override {
    FSession.ClickTrayIcon(static_cast<std::size_t>(Index(AHint)));
  }
  std::vector<std::string> ChooseMenuItem(IMainThread&, const std::string& AHint,
                                          uint32_t AId) override {
    const auto Icon = static_cast<std::size_t>(Index(AHint));
    std::vector<std::string> Captions;
    const auto Icons = FSession.TrayIcons();
    for (const TTrayMenuItem& Item : Icons[Icon].Menu) {
      if (Item.Visible) {
        Captions.push_back(Item.Caption);
      }
    }
    FSession.ChooseTrayMenuItem(AId, Icon);
    return Captions;
  }
  void RestartShell(IMainThread&) override { FSession.RestartShell(); }

private:
  int Index(const std::string& AHint) {
    const auto Icons = FSession.TrayIcons();
    for (std::size_t I = 0; I < Icons.size(); ++I) {
      if (Icons[I].Hint == AHint) {
        return static_cast<int>(I);
      }
    }
    return -1;
  }
  sim::TSimSession& FSession;
};

#ifdef _WIN32
// What the menu showed, and the item to click in it; a timer of this thread runs inside the
// menu's own loop.
struct TMenuVisit {
  uint32_t Choose = 0;
  std::vector<std::string> Captions;
  bool Clicked = false;
};
TMenuVisit* GMenuVisit = nullptr;

void CALLBACK VisitMenu(HWND, UINT, UINT_PTR ATimer, DWORD) {
  KillTimer(nullptr, ATimer);
  HWND Popup = nullptr;
  for (HWND Window = FindWindowExW(nullptr, nullptr, L"#32768", nullptr); Window != nullptr;
       Window = FindWindowExW(nullptr, Window, L"#32768", nullptr)) {
    DWORD Process = 0;
    GetWindowThreadProcessId(Window, &Process);
    if (Process == GetCurrentProcessId() && IsWindowVisible(Window)) {
      Popup = Window;
    }
  }
  constexpr UINT cGetMenuHandle = 0x01E1; // MN_GETHMENU
  const auto Menu = Popup != nullptr
                        ? reinterpret_cast<HMENU>(SendMessageW(Popup, cGetMenuHandle, 0, 0))
                        : nullptr;
  for (int Position = 0; Menu != nullptr && Position < GetMenuItemCount(Menu); ++Position) {
    wchar_t Caption[128] = {};
    GetMenuStringW(Menu, static_cast<UINT>(Position), Caption, 128, MF_BYPOSITION);
    GMenuVisit->Captions.push_back(win32::FromWide(Caption));
    RECT Item{};
    if (GetMenuItemID(Menu, Position) == GMenuVisit->Choose &&
        GetMenuItemRect(nullptr, Menu, static_cast<UINT>(Position), &Item)) {
      ClickAt({(Item.left + Item.right) / 2, (Item.top + Item.bottom) / 2}, MOUSEEVENTF_LEFTDOWN,
              MOUSEEVENTF_LEFTUP);
      GMenuVisit->Clicked = true;
    }
  }
  if (!GMenuVisit->Clicked) {
    EndMenu();
  }
}

// The real shell: its icons are hovered for their tooltips and clicked with the mouse.
class TWin32TrayDriver : public TTrayDriver {
public:
  ~TWin32TrayDriver() override { SetCursorPos(cPointerAway.x, cPointerAway.y); }
  bool ShowsHint(IMainThread& AMainThread, const std::string& AHint) override {
    return Find(AMainThread, AHint) != nullptr;
  }
  void Click(IMainThread& AMainThread, const std::string& AHint) override {
    const HWND Icon = Find(AMainThread, AHint);
    ASSERT_NE(Icon, nullptr);
    ClickAt(IconCentre(Icon), MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
  }
  std::vector<std::string> ChooseMenuItem(IMainThread& AMainThread, const std::string& AHint,
                                          uint32_t AId) override {
    const HWND Icon = Find(AMainThread, AHint);
    if (Icon == nullptr) {
      return {};
    }
    TMenuVisit Visit;
    Visit.Choose = AId;
    GMenuVisit = &Visit;
    constexpr UINT cMenuOpenMs = 300;
    SetTimer(nullptr, 0, cMenuOpenMs, VisitMenu);
    ClickAt(IconCentre(Icon), MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
    // The menu's loop runs inside the icon's handler, within this pump.
    PumpUntil(AMainThread, [&] { return !Visit.Captions.empty(); });
    AMainThread.WaitAndProcess(100);
    GMenuVisit = nullptr;
    return Visit.Captions;
  }
  void RestartShell(IMainThread& AMainThread) override {
    // This process's icon leaves the area, as it does when the shell ends; then the shell
    // announces that it has started again.
    ASSERT_TRUE(RemoveTrayIconOf(GetCurrentProcessId()));
    AMainThread.WaitAndProcess(100);
    AnnounceShellStarted();
  }

private:
  HWND Find(IMainThread& AMainThread, const std::string& AHint) {
    return FindTrayIcon(AMainThread, win32::ToWide(AHint));
  }
};
#endif

std::unique_ptr<TTrayDriver> MakeTrayDriver(test::TTestPlatform& ABackend) {
  if (ABackend.Sim() != nullptr) {
    return std::make_unique<TSimTrayDriver>(*ABackend.Sim()->Session);
  }
#ifdef _WIN32
  return std::make_unique<TWin32TrayDriver>();
#else
  throw std::logic_error("no tray driver for this backend");
#endif
}

// A 16 x 16 icon of 32-bit colour: the directory, one entry and one image.
std::vector<uint8_t> IconFileBytes() {
  constexpr uint32_t cSide = 16;
  constexpr uint32_t cHeaderSize = 40;
  constexpr uint32_t cColour = cSide * cSide * 4;
  constexpr uint32_t cMask = cSide * 4; // one bit a pixel, rows of 32 bits
  constexpr uint32_t cImage = cHeaderSize + cColour + cMask;
  constexpr uint32_t cImageOffset = 6 + 16;
  std::vector<uint8_t> Bytes;
  const auto Put = [&Bytes](uint32_t AValue, int ASize) {
    for (int I = 0; I < ASize; ++I) {
      Bytes.push_back(static_cast<uint8_t>(AValue >> (8 * I)));
    }
  };
  Put(0, 2), Put(1, 2), Put(1, 2);                             // reserved, icon, one image
  Put(cSide, 1), Put(cSide, 1), Put(0, 1), Put(0, 1);          // size, no palette
  Put(1, 2), Put(32, 2), Put(cImage, 4), Put(cImageOffset, 4); // planes, bits, bytes, offset
  Put(cHeaderSize, 4), Put(cSide, 4), Put(2 * cSide, 4);       // header, width, both heights
  Put(1, 2), Put(32, 2), Put(0, 4), Put(cColour + cMask, 4);   // planes, bits, no compression
  Put(0, 4), Put(0, 4), Put(0, 4), Put(0, 4);
  for (uint32_t Pixel = 0; Pixel < cSide * cSide; ++Pixel) {
    Put(0xFF2080E0, 4);
  }
  Bytes.insert(Bytes.end(), cMask, 0);
  return Bytes;
}

void WriteFile(const std::string& APath, const std::vector<uint8_t>& ABytes) {
  std::ofstream File(sim::Utf8Path(APath), std::ios::binary);
  File.write(reinterpret_cast<const char*>(ABytes.data()),
             static_cast<std::streamsize>(ABytes.size()));
}

TEST_P(DesktopServicesTest, TheTrayShowsItsHintAndMenuAndComesBackWithTheShell) {
  int Clicks = 0;
  std::vector<uint32_t> Chosen;
  const TWindowHandle Main =
      Desktop().CreateMainWindow(UniqueName("TTrayTest"), [](TWindowMessage&) { return false; });
  ASSERT_NE(Main, 0u);
  EXPECT_FALSE(Desktop().CreateTrayIcon(Main + 1, {}));
  auto Tray = Desktop().CreateTrayIcon(
      Main, {[&] { ++Clicks; }, [&](uint32_t AId) { Chosen.push_back(AId); }});
  ASSERT_TRUE(Tray);

  // An icon file, a file that is no icon, and none at all.
  const std::string IconPath = FBackend->Folder() + "logo.ico";
  WriteFile(IconPath, IconFileBytes());
  WriteFile(FBackend->Folder() + "not-an-icon.ico", {'t', 'e', 'x', 't', '\n', 0, 0});
  EXPECT_TRUE(Tray->LoadIconFile(IconPath));
  EXPECT_FALSE(Tray->LoadIconFile(FBackend->Folder() + "not-an-icon.ico"));
  EXPECT_FALSE(Tray->LoadIconFile(FBackend->Folder() + "missing.ico"));
  if (Sim()) {
    Tray->Show();
    EXPECT_EQ(Sim()->Session->TrayIcons()[0].IconFile, IconPath);
  }

  // A hint of this test's own, longer than the shell keeps: a character outside the basic
  // plane (two UTF-16 units) would straddle the 127th unit, so the hint ends before it.
  const std::string Tag = UniqueName("Tray \xE4\xB8\xAD ");
  const std::string Shown =
      Tag + std::string(cMaxTrayHintUnits - 1 - rtl::Utf8ToUtf16(Tag).size(), 'x');
  Tray->SetHint(Shown + "\xF0\x9F\x96\xB1 and more");
  Tray->SetMenu({{1, "Config", true}, {2, "About", false}, {3, "Exit", true}});
  Tray->SetMenuCaption(1, "CONFIG \xE4\xB8\xAD");
  Tray->SetMenuCaption(2, "ABOUT");
  EXPECT_THROW(Tray->SetMenu({{0, "zero", true}}), std::invalid_argument);
  EXPECT_THROW(Tray->SetMenu({{cMaxMenuItemId + 1, "wide", true}}), std::invalid_argument);
  ASSERT_TRUE(Tray->Show());

  auto Driver = MakeTrayDriver(*FBackend);
  ASSERT_TRUE(Driver->ShowsHint(Desktop(), Shown));

  Driver->Click(Desktop(), Shown);
  EXPECT_TRUE(PumpUntil(Desktop(), [&] { return Clicks == 1; }));
  // The invisible item is left out; the one chosen reaches the event.
  EXPECT_EQ(Driver->ChooseMenuItem(Desktop(), Shown, 3),
            (std::vector<std::string>{"CONFIG \xE4\xB8\xAD", "Exit"}));
  EXPECT_TRUE(PumpUntil(Desktop(), [&] { return !Chosen.empty(); }));
  EXPECT_EQ(Chosen, std::vector<uint32_t>{3});
  if (Sim()) {
    EXPECT_THROW(Sim()->Session->ChooseTrayMenuItem(2), std::logic_error);
  }

  // The shell starts again: the icon comes back with its hint when its window answers,
  // an elevated program's too (the shell is not elevated).
  if (Sim()) {
    Sim()->Desktop.SetElevated(true);
  }
  Driver->RestartShell(Desktop());
  Desktop().ProcessMessages();
  EXPECT_TRUE(Driver->ShowsHint(Desktop(), Shown));
  EXPECT_EQ(Clicks, 1);

  // Gone with its object.
  Tray.reset();
  if (Sim()) {
    EXPECT_TRUE(Sim()->Session->TrayIcons().empty());
  }
}

// ---- The information page ----

TInfoPageTexts EnglishPage() {
  return {{"Hardware & Software Information:", "Hardware Core:1.00.00", "Software Core:1.00.00",
           "Software Update Website:"},
          "https://example.com/mouse",
          "OK",
          "Go"};
}

#ifdef _WIN32
struct TControl {
  std::wstring Class;
  std::string Text;
  LONG Style;
  HWND Window;
};

std::vector<TControl> Controls(HWND AParent) {
  std::vector<TControl> Found;
  EnumChildWindows(
      AParent,
      [](HWND AWindow, LPARAM AFound) -> BOOL {
        wchar_t Text[256] = {};
        GetWindowTextW(AWindow, Text, 256);
        reinterpret_cast<std::vector<TControl>*>(AFound)->push_back(
            {ClassOf(AWindow), win32::FromWide(Text), GetWindowLongW(AWindow, GWL_STYLE), AWindow});
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&Found));
  return Found;
}

// What the page shows, read from its controls.
TInfoPageTexts ReadPage(HWND AParent) {
  TInfoPageTexts Texts;
  for (const TControl& Control : Controls(AParent)) {
    if (CompareStringOrdinal(Control.Class.c_str(), -1, L"Static", -1, TRUE) == CSTR_EQUAL) {
      Texts.Lines.push_back(Control.Text);
    } else if (CompareStringOrdinal(Control.Class.c_str(), -1, L"Edit", -1, TRUE) == CSTR_EQUAL) {
      EXPECT_TRUE(Control.Style & ES_READONLY);
      Texts.WebAddress = Control.Text;
    } else if (GetDlgCtrlID(Control.Window) == IDOK) {
      Texts.OkCaption = Control.Text;
    } else {
      Texts.WebCaption = Control.Text;
    }
  }
  return Texts;
}

void ClickButton(HWND AParent, const std::string& ACaption) {
  for (const TControl& Control : Controls(AParent)) {
    if (Control.Text == ACaption) {
      SendMessageW(Control.Window, BM_CLICK, 0, 0);
    }
  }
}
#endif

bool operator==(const TInfoPageTexts& A, const TInfoPageTexts& B) {
  return A.Lines == B.Lines && A.WebAddress == B.WebAddress && A.OkCaption == B.OkCaption &&
         A.WebCaption == B.WebCaption;
}

TEST_P(DesktopServicesTest, TheInformationPageShowsItsTextsAndReportsItsButtons) {
  int OK = 0;
  int Web = 0;
  const TWindowHandle Main =
      Desktop().CreateMainWindow(UniqueName("TPageTest"), [](TWindowMessage&) { return false; });
  const TWindowHandle Hidden = Desktop().CreateHiddenWindow([](TWindowMessage&) { return false; });
  ASSERT_NE(Main, 0u);
  EXPECT_FALSE(Desktop().CreateInfoPage(Hidden, EnglishPage(), {}));
  ASSERT_TRUE(Desktop().CreateInfoPage(Main, EnglishPage(), {[&] { ++OK; }, [&] { ++Web; }}));
  EXPECT_FALSE(Desktop().WindowVisible(Main));

  TInfoPageTexts Chinese = EnglishPage();
  Chinese.Lines[0] =
      "\xE7\xA1\xAC\xE4\xBB\xB6\xE5\x92\x8C\xE8\xBD\xAF\xE4\xBB\xB6\xE4\xBF\xA1\xE6\x81\xAF:";
  Chinese.OkCaption = "\xE7\xA1\xAE\xE5\xAE\x9A";
  const auto Read = [&]() -> TInfoPageTexts {
    if (Sim()) {
      return Sim()->Session->InfoPage(Main).value_or(TInfoPageTexts{});
    }
#ifdef _WIN32
    return ReadPage(reinterpret_cast<HWND>(Main));
#else
    return {};
#endif
  };
  EXPECT_TRUE(Read() == EnglishPage());
  Desktop().SetInfoPageTexts(Main, Chinese);
  EXPECT_TRUE(Read() == Chinese);
  // A translation with another number of lines lays the page out again.
  TInfoPageTexts Shorter = Chinese;
  Shorter.Lines.pop_back();
  Desktop().SetInfoPageTexts(Main, Shorter);
  EXPECT_TRUE(Read() == Shorter);

  Desktop().ShowWindowCommand(Main, SW_SHOW_VALUE);
  if (Sim()) {
    Sim()->Session->ClickInfoPageOK(Main);
    Sim()->Session->ClickInfoPageWeb(Main);
  }
#ifdef _WIN32
  if (!Sim()) {
    const auto Window = reinterpret_cast<HWND>(Main);
    RECT Client{};
    GetClientRect(Window, &Client);
    EXPECT_EQ(Client.right, cInfoPageWidth);
    EXPECT_EQ(Client.bottom, cInfoPageHeight);
    RECT Frame{};
    GetWindowRect(Window, &Frame);
    EXPECT_NEAR((Frame.left + Frame.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
    EXPECT_NEAR((Frame.top + Frame.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);
    ClickButton(Window, Chinese.OkCaption);
    ClickButton(Window, Chinese.WebCaption);
  }
#endif
  EXPECT_TRUE(PumpUntil(Desktop(), [&] { return OK == 1 && Web == 1; }));
  Desktop().ShowWindowCommand(Main, SW_HIDE_VALUE);
  if (Sim()) {
    EXPECT_THROW(Sim()->Session->ClickInfoPageOK(Main), std::logic_error);
  }
}

// ---- The window in front and the notice ----

TEST_P(DesktopServicesTest, TheWindowInFrontIsToldAndNamedByItsProgram) {
  int Changes = 0;
  const auto Front = [&](int AWhich) {
    if (Sim()) {
      Sim()->Session->SetForegroundProgram(AWhich == 0 ? "C:\\Games\\a.exe" : "");
      return;
    }
#ifdef _WIN32
    static HWND Windows[2] = {};
    if (Windows[AWhich] == nullptr) {
      Windows[AWhich] = RawWindow(platform::win32::ToWide(UniqueName("TFront")), false);
      SetWindowLongPtrW(Windows[AWhich], GWL_STYLE, WS_OVERLAPPEDWINDOW);
      ShowWindow(Windows[AWhich], SW_SHOW);
    }
    SetForegroundWindow(Windows[AWhich]);
#endif
  };
  Front(1);
  ASSERT_TRUE(Desktop().WatchForeground([&] { ++Changes; }));
  Front(0);
  // Wine 8 changes the window in front but raises only the focus event, not the foreground
  // one (measured with a hook on every event); Windows raises both. Under Wine the program
  // in front is still named.
  const bool Told = PumpUntil(
      Desktop(), [&] { return Changes > 0; }, 2000);
  EXPECT_TRUE(Told || (!Sim() && UnderWine())) << "no notification of the change in front";
  std::string Program = "C:\\Games\\a.exe";
#ifdef _WIN32
  if (!Sim()) {
    wchar_t Own[MAX_PATH];
    Program =
        platform::win32::FromWide(std::wstring(Own, GetModuleFileNameW(nullptr, Own, MAX_PATH)));
  }
#endif
  EXPECT_TRUE(rtl::SameText(Desktop().ForegroundProgram(), Program))
      << Desktop().ForegroundProgram();
  // Once stopped nothing is told (the count above is the positive control where the platform
  // tells it).
  Desktop().StopWatchingForeground();
  const int Before = Changes;
  Front(1);
  Front(0);
  PumpUntil(
      Desktop(), [] { return false; }, 300);
  EXPECT_EQ(Changes, Before);
}

TEST_P(DesktopServicesTest, ANoticeShowsWithoutTakingTheFrontAndGoesAfterItsTime) {
  ASSERT_TRUE(Desktop().ShowNotice("1600 CPI\n3 / 5", 300));
  if (Sim()) {
    EXPECT_EQ(Sim()->Desktop.NoticeShown()->Text, "1600 CPI\n3 / 5");
    Sim()->Desktop.Advance(299);
    EXPECT_TRUE(Sim()->Desktop.NoticeShown());
    Sim()->Desktop.Advance(1);
    EXPECT_FALSE(Sim()->Desktop.NoticeShown());
    return;
  }
#ifdef _WIN32
  const HWND Notice = FindWindowW(L"TarnMonNotice", nullptr);
  ASSERT_NE(Notice, nullptr);
  EXPECT_TRUE(IsWindowVisible(Notice));
  EXPECT_NE(GetForegroundWindow(), Notice);
  const LONG_PTR Styles = GetWindowLongPtrW(Notice, GWL_EXSTYLE);
  for (const LONG_PTR Style : std::initializer_list<LONG_PTR>{
           WS_EX_TOPMOST, WS_EX_NOACTIVATE, WS_EX_TRANSPARENT, WS_EX_LAYERED, WS_EX_TOOLWINDOW}) {
    EXPECT_EQ(Styles & Style, Style) << std::hex << Style;
  }
  RECT Frame{};
  GetWindowRect(Notice, &Frame);
  EXPECT_GT(Frame.right - Frame.left, 0);
  // A second notice reuses the window and starts its time again.
  ASSERT_TRUE(Desktop().ShowNotice("Profile 2", 300));
  EXPECT_EQ(FindWindowW(L"TarnMonNotice", nullptr), Notice);
  EXPECT_TRUE(PumpUntil(
      Desktop(), [&] { return !IsWindowVisible(Notice); }, 2000));
#endif
}

// ---- The shell ----

TEST_P(DesktopServicesTest, TheShellStartsProgramsInTheirFolderAndReportsMissingOnes) {
  IShell& Shell = FBackend->Platform().Shell;
  const std::string Folder = FBackend->Folder();
  EXPECT_EQ(Shell.Open(0, Folder + "missing.exe", Folder, SW_SHOW_VALUE), SysError::FileNotFound);
  EXPECT_EQ(Shell.Open(0, "missing.exe", Folder, SW_SHOW_VALUE), SysError::FileNotFound);
  std::string StartedIn;
  if (Sim()) {
    Sim()->Shell.RegisterProgram(
        Folder + "Peer.exe", [&](const sim::TSimShellOpen& AOpen) { StartedIn = AOpen.Folder; });
    // Names compared without regard to case; a relative name is looked for in the folder.
    EXPECT_GT(Shell.Open(0, "PEER.EXE", Folder, SW_SHOW_VALUE), cShellOpenedAbove);
    EXPECT_EQ(StartedIn, Folder);
    EXPECT_GT(Shell.Open(0, "https://example.com/", "", SW_SHOWNORMAL_VALUE), cShellOpenedAbove);
    // A file with no program of the simulation's cannot run here: the test hears of it.
    WriteFile(Folder + "other.exe", {'M', 'Z'});
    EXPECT_THROW(Shell.Open(0, Folder + "other.exe", Folder, SW_SHOW_VALUE), std::logic_error);
    const auto Opens = Sim()->Shell.Opens();
    ASSERT_EQ(Opens.size(), 5u);
    EXPECT_EQ(Opens[2].File, "PEER.EXE");
    EXPECT_EQ(Opens[2].ShowCommand, SW_SHOW_VALUE);
    return;
  }
#ifdef _WIN32
  // The peer, copied into this test's folder (non-ASCII), leaves a file where it ran.
  fs::copy_file(test::ProgramFolder() / L"desktop_peer.exe",
                sim::Utf8Path(Folder + "desktop_peer.exe"));
  EXPECT_GT(Shell.Open(0, "desktop_peer.exe", Folder, SW_HIDE_VALUE), cShellOpenedAbove);
  const fs::path Marker = sim::Utf8Path(Folder + test::cPeerStartedFile);
  EXPECT_TRUE(PumpUntil(
      Desktop(), [&] { return fs::exists(Marker); }, 20000));
#endif
}

INSTANTIATE_TEST_SUITE_P(Backends, DesktopServicesTest,
                         ::testing::ValuesIn(test::TestBackendNames()),
                         [](const auto& AInfo) { return AInfo.param; });

#ifdef _WIN32
// Another process of the session sees this one's mutex and finds its main window by class,
// and a message sent from there is answered here.
DWORD RunPeer(IMainThread& AMainThread, const std::wstring& AArguments) {
  test::TProcess Peer(test::ProgramFolder() / L"desktop_peer.exe", {AArguments});
  if (!Peer.Started()) {
    return test::cPeerBroken + 1;
  }
  // The peer's send comes in while this thread waits: keep handling messages.
  return Peer.End(std::chrono::seconds(60), &AMainThread).value_or(test::cPeerBroken + 2);
}

TEST(Win32Desktop, AnotherProcessSeesTheMutexAndTalksToTheMainWindow) {
  auto Backend = test::MakeTestPlatform("Win32");
  IDesktop& Desktop = Backend->Platform().Desktop;
  const std::string Mutex = UniqueName("TDesktopPeerMutex");
  EXPECT_EQ(RunPeer(Desktop, L"mutex " + win32::ToWide(Mutex)), DWORD{test::cPeerMutexAbsent});
  bool Existed = true;
  auto Held = Desktop.CreateNamedMutex(Mutex, Existed);
  ASSERT_TRUE(Held);
  EXPECT_FALSE(Existed);
  EXPECT_EQ(RunPeer(Desktop, L"mutex " + win32::ToWide(Mutex)), DWORD{test::cPeerMutexPresent});
  Held.reset();
  EXPECT_EQ(RunPeer(Desktop, L"mutex " + win32::ToWide(Mutex)), DWORD{test::cPeerMutexAbsent});

  const std::string Class = UniqueName("TDesktopPeerMain");
  EXPECT_EQ(RunPeer(Desktop, L"send " + win32::ToWide(Class) + L" 30"), DWORD{test::cPeerNoWindow});
  TAnsweringWindow Answering;
  ASSERT_NE(Desktop.CreateMainWindow(Class, Answering.Proc()), 0u);
  EXPECT_EQ(RunPeer(Desktop, L"send " + win32::ToWide(Class) + L" 30"), 61u);
}

// The wait for a program run to its end (the driver package tool) answers what is sent to
// this thread meanwhile: another process's message to a main window, and a thread's hand-over.
TEST(Win32Shell, AProgramWaitedForIsAnsweredWhileItRuns) {
  auto Backend = test::MakeTestPlatform("Win32");
  IDesktop& Desktop = Backend->Platform().Desktop;
  const std::string Class = UniqueName("TShellWaitMain");
  std::vector<uintptr_t> Asked;
  ASSERT_NE(Desktop.CreateMainWindow(Class,
                                     [&](TWindowMessage& AMessage) {
                                       if (AMessage.Msg != test::cPeerQuestion) {
                                         return false;
                                       }
                                       Asked.push_back(AMessage.WParam);
                                       AMessage.Result = 7;
                                       return true;
                                     }),
            0u);
  std::atomic<bool> Handing{false};
  std::atomic<bool> HandedOver{false};
  std::thread Reader([&] {
    Handing = true;
    Desktop.Synchronize([&] { HandedOver = true; });
  });
  EXPECT_TRUE(test::WaitUntil([&] { return Handing.load(); }));
  wchar_t Here[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, Here, MAX_PATH);
  const std::string Peer =
      win32::FromWide((fs::path(Here).parent_path() / L"desktop_peer.exe").wstring());
  EXPECT_EQ(Backend->Platform().Shell.RunAndWait(Peer, "ask " + Class + " 30", Backend->Folder(),
                                                 cShowHidden),
            SysError::Success);
  EXPECT_EQ(Asked, std::vector<uintptr_t>{30});
  EXPECT_TRUE(HandedOver);
  platform::WaitServingHandOvers(Desktop, [&] { return HandedOver.load(); });
  Reader.join();
}

// The window that carries hand-overs to the main thread: message-only, so no broadcast and no
// other process finds it, and what its message points to runs only when this process sent it.
TEST(Win32Desktop, TheHandOverWindowTakesOnlyTheProcesssOwnWork) {
  auto Backend = test::MakeTestPlatform("Win32");
  IMainThread& MainThread = Backend->Platform().Desktop;
  std::vector<HWND> HandOvers;
  for (HWND Window = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); Window != nullptr;
       Window = FindWindowExW(HWND_MESSAGE, Window, nullptr, nullptr)) {
    if (GetWindowThreadProcessId(Window, nullptr) == GetCurrentThreadId()) {
      HandOvers.push_back(Window);
    }
  }
  ASSERT_FALSE(HandOvers.empty());
  // Every application message, its parameter pointing nowhere or at something shaped like a
  // hand-over, sent as another process (or a stray broadcast) could: nothing runs.
  int StrayRan = 0;
  const std::function<void()> StrayWork = [&] { ++StrayRan; };
  struct TForgedHandOver {
    const std::function<void()>* Work;
    std::thread::id Origin;
    std::exception_ptr Error;
  } Forged{&StrayWork, {}, nullptr};
  std::atomic<bool> Sent{false};
  std::thread Stray([&] {
    for (HWND Window : HandOvers) {
      for (UINT Message = WM_APP; Message < WM_APP + 0x100; ++Message) {
        for (const LPARAM Parameter : {LPARAM{1}, reinterpret_cast<LPARAM>(&Forged)}) {
          DWORD_PTR Ignored = 0;
          SendMessageTimeoutW(Window, Message, 0, Parameter, SMTO_NORMAL, 5000, &Ignored);
        }
      }
    }
    Sent = true;
  });
  EXPECT_TRUE(PumpUntil(
      MainThread, [&] { return Sent.load(); }, 20000));
  Stray.join();
  EXPECT_EQ(StrayRan, 0);
  // The positive control: work handed over by this process still runs, once.
  int Ran = 0;
  std::atomic<bool> Done{false};
  std::thread Worker([&] {
    MainThread.Synchronize([&] { ++Ran; });
    Done = true;
  });
  EXPECT_TRUE(PumpUntil(MainThread, [&] { return Done.load(); }));
  Worker.join();
  EXPECT_EQ(Ran, 1);
}
#endif

} // namespace
