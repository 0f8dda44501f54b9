// TARNMON.EXE as a user runs it: a process of its own in a folder with everything it expects
// beside it, driven through the real session from this test process, which plays the
// configuration program (a main window of its class that records what it receives) and the
// shell (clicks on the tray icon, the hint read back from the shell's tooltip). Also the mute
// action on the real capture endpoint.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>

#include "app/MouseMonitor.h"
#include "backend/sim/SimWorld.h"
#include "backend/win32/Win32Platform.h"
#include "backend/win32/Win32Text.h"
#include "platform/DesktopPeer.h"
#include "platform/WindowMessages.h"
#include "profile/DMUnit.h"
#include "support/MonitorFolder.h"
#include "support/Session.h"

namespace {

using namespace test;
using namespace app;
namespace fs = std::filesystem;
using platform::TWindowHandle;
using platform::TWindowMessage;
using platform::win32::ToWide;

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

// TARNMON.EXE started from the monitor's folder as a user has it (support/MonitorFolder.h).
class Win32MonitorProcess : public TMonitorFolderTest {
protected:
  // Switches the stored language as the configuration program does.
  void StoreLanguage(uint8_t AIndex) {
    platform::TPlatform Real = FBackend->Platform();
    TBesideMonitor Beside(Real.Environment, FFolder);
    profile::TDM Store(nullptr,
                       {Real.Registry, Real.Files, Beside, Real.Clock, Real.Locale, Real.Dialogs});
    Store.AllProfileSettingInfo().CurrentLanguage = AIndex;
    Store.SaveBackAllProfileSettingInfo();
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
