// TARNMON.EXE as a user runs it: a process of its own in a folder with everything it expects
// beside it, driven through the real session from this test process, which plays the
// configuration program (a main window of its class that records what it receives) and the
// shell (clicks on the tray icon, the hint read back from the shell's tooltip). Also the mute
// action on the real capture endpoint.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "app/MouseMonitor.h"
#include "platform/DesktopPeer.h"
#include "platform/sim/SimWorld.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32Text.h"
#include "profile/DMUnit.h"
#include "rtl/Paths.h"
#include "support/Session.h"
#include "support/TestHost.h"
#include "support/TestPlatform.h"

namespace {

using namespace test;
using namespace app;
namespace fs = std::filesystem;
using platform::TWindowHandle;
using platform::TWindowMessage;
using platform::win32::ToWide;

const std::wstring cEnglishHint = L"GAMING MOUSE DRIVER";
// The shipped language file's second language, Simplified Chinese.
constexpr uint8_t cSimplifiedChinese = 1;
const std::wstring cChineseHint = L"\u6E38\u620F\u9F20\u6807\u9A71\u52A8";

// The environment of a program that runs from the monitor's folder.
class TBesideMonitor : public platform::IEnvironment {
public:
  TBesideMonitor(platform::IEnvironment& AInner, std::string AFolder)
      : FInner(AInner), FFolder(std::move(AFolder)) {}
  std::string ModuleFolder() override { return FFolder; }
  std::string DocumentsFolder() override { return FInner.DocumentsFolder(); }
  platform::TOsVersion OsVersion() override { return FInner.OsVersion(); }
  std::string AnsiToUtf8(std::string_view AText) override { return FInner.AnsiToUtf8(AText); }

private:
  platform::IEnvironment& FInner;
  std::string FFolder;
};

// TARNMON.EXE started from a folder of its own (a name with a space, below the test's folder
// whose name is not ASCII), with a "config.ini" that keeps its profile store apart from
// every other test's; TARNCFG.EXE beside it is the desktop peer, which leaves a file where it
// ran. Whatever still runs at the end is ended.
class Win32MonitorProcess : public ::testing::Test {
protected:
  Win32MonitorProcess() : FBackend(MakeTestPlatform("Win32")) {
    FFolder = FBackend->Folder() + "Tarn Monitor\\";
    fs::copy(ProgramFolder().parent_path() / "program", Path(FFolder), fs::copy_options::recursive);
    fs::copy_file(ProgramFolder() / "desktop_peer.exe", Path(FFolder + cConfigProgramFile));
    FProfileFolder = UniqueName("MonitorTestProfiles");
    std::ofstream(Path(FFolder + "config.ini"))
        << "[options]\nProfileRegFolder=" << FBackend->KeyPath().substr(sizeof("software\\") - 1)
        << "\nprofileFolder=" << FProfileFolder << "\n";
  }
  ~Win32MonitorProcess() override {
    PressEscape();
    SetCursorPos(cPointerAway.x, cPointerAway.y);
    for (PROCESS_INFORMATION& Process : FProcesses) {
      // Closed as a user's logoff closes it, so that its tray icon goes with it; ended by
      // force only when it does not end.
      for (HWND Main : WindowsOf(Process.dwProcessId, ToWide(cMainWindowClass))) {
        PostMessageW(Main, WM_CLOSE, 0, 0);
      }
      PumpUntil(
          Desktop(), [&] { return WaitForSingleObject(Process.hProcess, 0) == WAIT_OBJECT_0; },
          10000);
      if (WaitForSingleObject(Process.hProcess, 0) != WAIT_OBJECT_0) {
        TerminateProcess(Process.hProcess, 1);
        WaitForSingleObject(Process.hProcess, 5000);
      }
      CloseHandle(Process.hThread);
      CloseHandle(Process.hProcess);
    }
    std::error_code Ignored;
    fs::remove_all(Path(Documents()), Ignored);
  }

  static fs::path Path(const std::string& AUtf8) { return fs::path(ToWide(AUtf8)); }
  std::string Documents() {
    return rtl::IncludeTrailingPathDelimiter(FBackend->Platform().Environment.DocumentsFolder()) +
           FProfileFolder;
  }
  platform::IDesktop& Desktop() { return FBackend->Platform().Desktop; }

  // Starts the monitor with another working folder than its own; the process's index.
  std::size_t Start() {
    const std::wstring Program = ToWide(FFolder + "TARNMON.EXE");
    std::wstring CommandLine = L"\"" + Program + L"\"";
    STARTUPINFOW Startup{};
    Startup.cb = sizeof(Startup);
    PROCESS_INFORMATION Process{};
    EXPECT_TRUE(CreateProcessW(Program.c_str(), CommandLine.data(), nullptr, nullptr, FALSE, 0,
                               nullptr, ProgramFolder().c_str(), &Startup, &Process));
    FProcesses.push_back(Process);
    return FProcesses.size() - 1;
  }
  DWORD Id(std::size_t AIndex) const { return FProcesses[AIndex].dwProcessId; }
  // The exit code once the process has ended within AMs, else STILL_ACTIVE. Messages sent
  // from there are answered meanwhile.
  DWORD EndOf(std::size_t AIndex, int AMs) {
    const HANDLE Process = FProcesses[AIndex].hProcess;
    PumpUntil(
        Desktop(), [&] { return WaitForSingleObject(Process, 0) == WAIT_OBJECT_0; }, AMs);
    DWORD Code = STILL_ACTIVE;
    GetExitCodeProcess(Process, &Code);
    return Code;
  }
  HWND MainWindowOf(std::size_t AIndex) {
    HWND Main = nullptr;
    PumpUntil(
        Desktop(),
        [&] {
          const auto Found = WindowsOf(Id(AIndex), ToWide(cMainWindowClass));
          Main = Found.empty() ? nullptr : Found.front();
          return Main != nullptr;
        },
        20000);
    return Main;
  }
  // Waits until the monitor has made its first device check (3 s after its start), so that
  // the clicks meet it idle.
  void LetItSettle() {
    const auto Until = std::chrono::steady_clock::now() + std::chrono::milliseconds(3500);
    PumpUntil(
        Desktop(), [&] { return std::chrono::steady_clock::now() >= Until; }, 4000);
  }
  // Switches the stored language as the configuration program does.
  void StoreLanguage(uint8_t AIndex) {
    platform::TPlatform Real = FBackend->Platform();
    TBesideMonitor Beside(Real.Environment, FFolder);
    profile::TDM Store(nullptr,
                       {Real.Registry, Real.Files, Beside, Real.Clock, Real.Locale, Real.Dialogs});
    Store.AllProfileSettingInfo().CurrentLanguage = AIndex;
    Store.SaveBackAllProfileSettingInfo();
  }

  std::unique_ptr<TTestPlatform> FBackend;
  std::string FFolder;
  std::string FProfileFolder;
  std::vector<PROCESS_INFORMATION> FProcesses;
};

// The configuration program's main window, recording the monitor's messages to it.
struct TConfigWindow {
  std::vector<uint32_t> Received;
  TWindowHandle Handle = 0;
  explicit TConfigWindow(platform::IDesktop& ADesktop) {
    Handle = ADesktop.CreateMainWindow(cConfigWindowClass, [this](TWindowMessage& AMessage) {
      if (AMessage.Msg >= WM_MONITOR_RELOAD_PROFILES && AMessage.Msg <= WM_CONFIG_DEVICE_EVENT_7) {
        Received.push_back(AMessage.Msg);
        return true;
      }
      return false;
    });
  }
};

TEST_F(Win32MonitorProcess, OneInstanceKeepsItsTrayIconAndSpeaksTheStoredLanguage) {
  const std::size_t First = Start();
  const HWND Main = MainWindowOf(First);
  ASSERT_NE(Main, nullptr);
  LetItSettle();
  EXPECT_TRUE(Desktop().NamedMutexExists(cMutexName));
  ASSERT_NE(FindTrayIcon(Desktop(), cEnglishHint), nullptr);

  // A second start ends at once, with 0, and leaves the first as it was.
  const std::size_t Second = Start();
  EXPECT_EQ(EndOf(Second, 20000), 0u);
  EXPECT_EQ(WindowsOf(Id(First), ToWide(cMainWindowClass)).size(), 1u);
  EXPECT_EQ(EndOf(First, 0), DWORD{STILL_ACTIVE});

  // The shell starts again: the icon comes back.
  ASSERT_TRUE(RemoveTrayIconOf(Id(First)));
  EXPECT_EQ(FindTrayIcon(Desktop(), cEnglishHint, 0), nullptr);
  AnnounceShellStarted();
  EXPECT_NE(FindTrayIcon(Desktop(), cEnglishHint), nullptr);

  // The configuration program stores Chinese and says so; the profiles message is heard too.
  StoreLanguage(cSimplifiedChinese);
  const auto Handle = reinterpret_cast<TWindowHandle>(Main);
  EXPECT_TRUE(Desktop().PostWindowMessage(Handle, WM_MONITOR_RELOAD_PROFILES, 0, 0));
  EXPECT_TRUE(Desktop().PostWindowMessage(Handle, WM_MONITOR_RELOAD_SETTINGS, 0, 0));
  EXPECT_NE(FindTrayIcon(Desktop(), cChineseHint), nullptr);
  EXPECT_EQ(EndOf(First, 0), DWORD{STILL_ACTIVE});
}

TEST_F(Win32MonitorProcess, ConfigShowsTheConfigurationProgramAndExitEndsTheMonitor) {
  const std::size_t Monitor = Start();
  ASSERT_NE(MainWindowOf(Monitor), nullptr);
  LetItSettle();
  HWND Icon = FindTrayIcon(Desktop(), cEnglishHint);
  ASSERT_NE(Icon, nullptr);

  // No configuration window: CONFIG (the first of the two items shown) starts the program
  // beside the monitor, in the monitor's folder.
  ASSERT_TRUE(ChooseFromTrayMenu(Desktop(), Id(Monitor), Icon, 0, 2));
  EXPECT_TRUE(PumpUntil(
      Desktop(), [&] { return fs::exists(Path(FFolder + cPeerStartedFile)); }, 20000));

  // With one, CONFIG shows it and brings it to the front.
  TConfigWindow Config(Desktop());
  ASSERT_NE(Config.Handle, 0u);
  const auto ConfigWindow = reinterpret_cast<HWND>(Config.Handle);
  ASSERT_TRUE(ChooseFromTrayMenu(Desktop(), Id(Monitor), Icon, 0, 2));
  EXPECT_TRUE(PumpUntil(Desktop(), [&] {
    return IsWindowVisible(ConfigWindow) && GetForegroundWindow() == ConfigWindow;
  }));
  Desktop().ShowWindowCommand(Config.Handle, platform::SW_HIDE_VALUE);

  // EXIT tells the configuration program and ends the monitor, its mutex released.
  ASSERT_TRUE(ChooseFromTrayMenu(Desktop(), Id(Monitor), Icon, 1, 2));
  EXPECT_EQ(EndOf(Monitor, 20000), 0u);
  Desktop().ProcessMessages();
  EXPECT_EQ(Config.Received, std::vector<uint32_t>{WM_CONFIG_EXIT});
  EXPECT_FALSE(Desktop().NamedMutexExists(cMutexName));
}

// The real audio service, keeping sight of the capture endpoint it opened last (owned by
// whoever opened it): Wine keeps a mute state per endpoint object.
class TWatchedAudio : public platform::IAudio {
public:
  explicit TWatchedAudio(platform::IAudio& AInner) : FInner(AInner) {}
  std::unique_ptr<platform::ICaptureEndpoint>
  OpenDefaultCaptureEndpoint(uint32_t& AError) override {
    auto Endpoint = FInner.OpenDefaultCaptureEndpoint(AError);
    Last = Endpoint.get();
    return Endpoint;
  }
  uint32_t MixerDeviceCount() override { return FInner.MixerDeviceCount(); }
  std::unique_ptr<platform::IMixer> OpenMixer(uint32_t ADevice, uint32_t& AError) override {
    return FInner.OpenMixer(ADevice, AError);
  }
  platform::ICaptureEndpoint* Last = nullptr;

private:
  platform::IAudio& FInner;
};

// The mute action on the real default capture endpoint (Wine's null sound device): two
// presses toggle its mute state and bring it back.
TEST(Win32Monitor, TheMuteActionTogglesTheCaptureEndpointAndBack) {
  platform::sim::TSimWorld World;
  const std::unique_ptr<platform::IAudio> Real = platform::win32::CreateAudio(World.Dialogs);
  TWatchedAudio Audio(*Real);
  platform::TPlatform Sim = World.Platform();
  const platform::TPlatform Platform{
      Sim.Registry, Sim.Files, Sim.Environment, Sim.Clock,    Sim.Dialogs,   Sim.Debug,
      Sim.Locale,   Sim.Hid,   Sim.Desktop,     Sim.Drivers,  Sim.Libraries, Sim.Keyboard,
      Sim.Shell,    Audio,     Sim.Devices,     Sim.Services, Sim.System};
  profile::TDM Module(nullptr, {World.Registry, World.Files, World.Environment, World.Clock,
                                World.Locale, World.Dialogs});
  TTARNMONMAIN Main(Platform);
  if (Audio.Last == nullptr) {
    GTEST_SKIP() << "no capture endpoint here";
  }
  ASSERT_TRUE(Main.EndpointPrepared());
  bool Before = false;
  ASSERT_EQ(Audio.Last->GetMute(Before), 0u);
  bool Muted = Before;
  Main.MicrophoneMute();
  ASSERT_EQ(Audio.Last->GetMute(Muted), 0u);
  EXPECT_EQ(Muted, !Before);
  Main.MicrophoneMute();
  ASSERT_EQ(Audio.Last->GetMute(Muted), 0u);
  EXPECT_EQ(Muted, Before);
}

} // namespace
