// The monitor on the simulated world: the process, its tray, the configuration program's
// messages, the device reports and their actions, the arrival checks and the mute action.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>

#include "app/MouseMonitor.h"
#include "backend/sim/SimMouseFirmware.h"
#include "backend/sim/SimWorld.h"
#include "device/CpiUnit.h"
#include "device/uiStdCmd.h"
#include "lang/Translation.h"
#include "platform/SysError.h"
#include "platform/WindowMessages.h"
#include "profile/DMUnit.h"
#include "rtl/Paths.h"
#include "support/Devices.h"
#include "support/TestPlatform.h"
#include "support/Wait.h"

extern const unsigned char ShippedUiLocal[];
extern const std::size_t ShippedUiLocalSize;

namespace {

using namespace app;
using platform::TWindowMessage;

using test::Devices::cCpiUnitCode;
using test::Devices::cFilterService;
using test::Devices::cSetCurrentCpiCode;
const std::string cMousePath = test::Devices::VendorCollection().Path;

std::vector<uint8_t> Report(std::initializer_list<int> ABytes) {
  std::vector<uint8_t> Result(std::max<std::size_t>(ABytes.size(), 8), 0);
  std::transform(ABytes.begin(), ABytes.end(), Result.begin(),
                 [](int AByte) { return static_cast<uint8_t>(AByte); });
  return Result;
}

class MonitorTest : public ::testing::Test {
protected:
  MonitorTest() {
    World.Hid.Plug(test::Devices::VendorCollection());
    // Installed beside the program, as "ui.local" is.
    const std::string UiLocal = World.Environment.ModuleFolder() + "ui.local";
    EXPECT_EQ(World.Files.ReplaceFileContent(UiLocal, ShippedUiLocal, ShippedUiLocalSize), 0u);
  }
  ~MonitorTest() override {
    Main.reset();
    Module.reset();
    lang::RemoveTranslationTable();
  }

  void Start() {
    Module = std::make_unique<profile::TDM>(
        nullptr, profile::TDMServices{World.Registry, World.Files, World.Environment, World.Clock,
                                      World.Locale, World.Dialogs});
    Main = std::make_unique<TTARNMONMAIN>(World.Platform());
  }
  // Start-up: the notifier's own arrival after 1500 ms, the check 1500 ms later.
  void StartAndFindTheDevice() {
    Start();
    World.Desktop.Advance(2 * cDeviceArrialIntervalMs);
    ASSERT_TRUE(PumpUntil([&] { return World.Hid.WaitingReads(cMousePath) == 1; }));
  }
  // The configuration program: a process of its own whose main window records what it gets.
  void StartConfigProgram() {
    Config = std::make_unique<platform::sim::TSimWorld>(World.Session);
    ConfigWindow = Config->Desktop.CreateMainWindow(cConfigWindowClass, [this](TWindowMessage& M) {
      if (M.Msg >= WM_MONITOR_RELOAD_PROFILES && M.Msg <= WM_CONFIG_DEVICE_EVENT_7) {
        Received.push_back({M.Msg, M.WParam, CpiUnitSends()});
        return true;
      }
      return false;
    });
  }
  void WriteConfig(const std::string& AText) { test::WriteConfig(World, AText); }
  bool PumpUntil(const std::function<bool()>& ACondition) {
    return test::WaitUntil(ACondition, test::cWaitBound, [&] {
      World.Desktop.WaitAndProcess(2);
      if (Config) {
        Config->Desktop.ProcessMessages();
      }
    });
  }
  // Injects a report and waits until the monitor has handled it and what it posted: the
  // reader takes it, hands it over, and is back in its next read once the hand-over is done.
  void Deliver(const std::vector<uint8_t>& AReport) {
    const uint64_t Taken = World.Hid.ReportsTaken(cMousePath);
    World.Hid.InjectInputReport(cMousePath, AReport);
    ASSERT_TRUE(PumpUntil([&] {
      return World.Hid.ReportsTaken(cMousePath) > Taken && World.Hid.WaitingReads(cMousePath) == 1;
    }));
    World.Desktop.ProcessMessages();
    if (Config) {
      Config->Desktop.ProcessMessages();
    }
  }
  int Controls(uint32_t ACode) const {
    const auto All = World.Drivers.Controls();
    return static_cast<int>(std::count_if(
        All.begin(), All.end(), [&](const auto& AControl) { return AControl.Code == ACode; }));
  }
  int CpiUnitSends() const { return Controls(cCpiUnitCode); }
  device::CPI_UNIT LastUnit() const {
    device::CPI_UNIT Unit{};
    const auto Sent = World.Drivers.LastCpiUnit();
    if (Sent) {
      std::memcpy(&Unit, Sent->data(), std::min(Sent->size(), sizeof(Unit)));
    }
    return Unit;
  }
  // The mouse's node, whose device offers the interface the monitor reads, configured for
  // the driver's installation (AWhql: 0 the manual route, 1 the package tool), with the
  // package folder beside the program; its id.
  int AddMouseNodeAndPackage(int AWhql) {
    WriteConfig("[DEVICE]\nWHQL=" + std::to_string(AWhql) +
                "\n[usbdevicelist]\nid1=USB\\VID_1234&PID_5678\n");
    World.Files.MakeDirectory(World.Environment.ModuleFolder() + "DRIVERX64");
    return World.Devices.AddNode(test::Devices::MouseNode());
  }
  // Once the interface is back, the monitor reads it again: a key report is its ADelivered-th.
  void ExpectReadingAgain(int ADelivered) {
    World.Desktop.Advance(2 * cDeviceArrialIntervalMs);
    ASSERT_TRUE(PumpUntil([&] { return World.Hid.WaitingReads(cMousePath) == 1; }));
    Deliver(Report({7, 0x00, 0x01, 0x00}));
    EXPECT_EQ(DebugCount("KeyIndex = 8 postmessage record!"), ADelivered);
  }
  int DebugCount(const std::string& ALine) const {
    const auto Lines = World.Dialogs.DebugLines();
    return static_cast<int>(std::count(Lines.begin(), Lines.end(), ALine));
  }

  struct TReceived {
    uint32_t Msg;
    uintptr_t WParam;
    int CpiUnitsSentBefore;
    bool operator==(const TReceived&) const = default;
  };

  platform::sim::TSimWorld World;
  platform::sim::TSimMouseFirmware Firmware{World.Hid};
  std::unique_ptr<profile::TDM> Module;
  std::unique_ptr<TTARNMONMAIN> Main;
  std::unique_ptr<platform::sim::TSimWorld> Config;
  platform::TWindowHandle ConfigWindow = 0;
  std::vector<TReceived> Received;
};

TEST_F(MonitorTest, OneInstanceWithItsTrayRunsUntilExitAndReleasesTheDriver) {
  // A monitor already runs: a second one ends at once, with nothing shown.
  platform::sim::TSimWorld Other(World.Session);
  {
    bool Existed = false;
    auto Held = Other.Desktop.CreateNamedMutex(cMutexName, Existed);
    EXPECT_EQ(MonitorMain(World.Platform()), 0);
    EXPECT_EQ(World.Desktop.FindTopLevelWindow(cMainWindowClass), 0u);
    EXPECT_TRUE(World.Session->TrayIcons().empty());
  }
  // The only one: the loop runs until EXIT, which tells the configuration program first.
  StartConfigProgram();
  int32_t ExitCode = -1;
  std::thread Driver([&] {
    World.Desktop.Synchronize([&] {
      const auto Icons = World.Session->TrayIcons();
      ASSERT_EQ(Icons.size(), 1u);
      EXPECT_EQ(Icons[0].Hint, "GAMING MOUSE DRIVER");
      ASSERT_EQ(Icons[0].Menu.size(), 3u);
      EXPECT_EQ(Icons[0].Menu[0].Caption, "Config");
      EXPECT_FALSE(Icons[0].Menu[1].Visible);
      EXPECT_EQ(Icons[0].Menu[2].Caption, "Exit");
      EXPECT_TRUE(World.Session->MutexExists(cMutexName));
      World.Desktop.Advance(2 * cDeviceArrialIntervalMs);
    });
    World.Desktop.Synchronize([&] { World.Session->ChooseTrayMenuItem(cExit1); });
  });
  ExitCode = MonitorMain(World.Platform());
  Driver.join();
  EXPECT_EQ(ExitCode, 0);
  Config->Desktop.ProcessMessages();
  ASSERT_FALSE(Received.empty());
  EXPECT_EQ(Received.back().Msg, WM_CONFIG_EXIT);
  EXPECT_FALSE(World.Session->MutexExists(cMutexName));
  EXPECT_TRUE(World.Session->TrayIcons().empty());
  // The driver stops scaling: the last table again, with NeedApplyNewCPI 0.
  const auto Units = World.Drivers.Controls();
  std::vector<std::vector<uint8_t>> Sent;
  for (const auto& Control : Units) {
    if (Control.Code == cCpiUnitCode) {
      Sent.push_back(Control.Bytes);
    }
  }
  ASSERT_GE(Sent.size(), 2u);
  std::vector<uint8_t> Expected = Sent[Sent.size() - 2];
  Expected[offsetof(device::CPI_UNIT, NeedApplyNewCPI)] = 0;
  EXPECT_EQ(Sent.back(), Expected);
  EXPECT_NE(Sent[Sent.size() - 2][offsetof(device::CPI_UNIT, NeedApplyNewCPI)], 0);

  // Two starts at the same moment: the other one creates the mutex between this one's check
  // and its creation. This one ends without a window (whose end would release the driver).
  World.Session->CreateMutexAfterNextCheck(cMutexName);
  World.Desktop.Quit(0); // a loop that ran would end at once
  const std::size_t Controls = World.Drivers.Controls().size();
  EXPECT_EQ(MonitorMain(World.Platform()), 0);
  EXPECT_TRUE(World.Session->MutexExists(cMutexName));
  ASSERT_EQ(World.Drivers.Controls().size(), Controls); // else the loop took the quit
  World.Desktop.RunMessageLoop();                       // takes the quit back
}

// A close request to the main window and the end of the user's session end the monitor as
// EXIT does: the driver gets its release packet and the mutex is released.
TEST_F(MonitorTest, EveryWayOutReleasesTheDriverAndTheMutex) {
  const auto ReleasesSent = [&] {
    int Count = 0;
    for (const auto& Control : World.Drivers.Controls()) {
      Count += Control.Code == cCpiUnitCode &&
               Control.Bytes[offsetof(device::CPI_UNIT, NeedApplyNewCPI)] == 0;
    }
    return Count;
  };
  for (const uint32_t Msg : {platform::WM_CLOSE_MESSAGE, platform::WM_ENDSESSION_MESSAGE}) {
    const int Releases = ReleasesSent();
    int ReleasesDuringTheMessage = -1;
    std::thread Driver([&] {
      World.Desktop.Synchronize([&] {
        const auto Window = World.Desktop.FindTopLevelWindow(cMainWindowClass);
        if (Msg == platform::WM_ENDSESSION_MESSAGE) {
          // A session that does not end after all changes nothing.
          World.Desktop.PostWindowMessage(Window, Msg, 0, 0);
          World.Desktop.ProcessMessages();
          EXPECT_EQ(ReleasesSent(), Releases);
        }
        World.Desktop.PostWindowMessage(Window, Msg, 1, 0);
        World.Desktop.ProcessMessages();
        ReleasesDuringTheMessage = ReleasesSent();
      });
    });
    EXPECT_EQ(MonitorMain(World.Platform()), 0);
    Driver.join();
    EXPECT_EQ(ReleasesSent(), Releases + 1) << Msg;
    if (Msg == platform::WM_ENDSESSION_MESSAGE) {
      // The process may be ended once the handler returns: the packet went before.
      EXPECT_EQ(ReleasesDuringTheMessage, Releases + 1);
    }
    EXPECT_FALSE(World.Session->MutexExists(cMutexName));
    EXPECT_TRUE(World.Session->TrayIcons().empty());
  }
}

// From the teardown on, nothing starts reading, sends a table or tells the configuration
// program anything, whatever was queued or comes later, even when the end of the session is
// handled inside a pump of the reload or of the reading restart.
TEST_F(MonitorTest, TheReleaseIsTheDriversLastPacket) {
  const auto LastIsTheRelease = [&] {
    const auto All = World.Drivers.Controls();
    return !All.empty() && All.back().Code == cCpiUnitCode &&
           All.back().Bytes[offsetof(device::CPI_UNIT, NeedApplyNewCPI)] == 0;
  };
  const auto EndSession = [&] {
    World.Desktop.PostWindowMessage(Main->WindowHandle(), platform::WM_ENDSESSION_MESSAGE, 1, 0);
  };
  const auto EndSessionInside = [&](const std::function<void()>& APump) {
    StartConfigProgram();
    StartAndFindTheDevice();
    ASSERT_FALSE(LastIsTheRelease());
    const platform::TWindowHandle Window = Main->WindowHandle();
    APump();
    World.Desktop.PostWindowMessage(Window, WM_MONITOR_RELOAD_PROFILES, 0, 0);
    World.Desktop.PostWindowMessage(Window, WM_MONITOR_RELOAD_SETTINGS, 0, 0);
    World.Desktop.PostWindowMessage(Window, WM_MONITOR_DEVICE_EVENT, cFirstProfileEvent, 0);
    World.Session->BroadcastPowerEvent(platform::PBT_APMRESUMEAUTOMATIC_VALUE);
    World.Session->BroadcastSessionChange(platform::WTS_SESSION_UNLOCK_VALUE);
    World.Session->ClickTrayIcon();
    World.Desktop.Advance(2 * cDeviceArrialIntervalMs);
    Config->Desktop.ProcessMessages();
    EXPECT_TRUE(LastIsTheRelease());
    EXPECT_EQ(World.Hid.WaitingReads(cMousePath), 0);
    EXPECT_TRUE(Received.empty());
    EXPECT_FALSE(World.Desktop.WindowVisible(ConfigWindow));
    Main.reset();
    Module.reset();
    Config.reset();
    Received.clear();
  };
  // Inside the reload's pump, then with messages, timers and clicks after it.
  EndSessionInside([&] {
    World.Desktop.PostWindowMessage(Main->WindowHandle(), WM_MONITOR_RELOAD_PROFILES, 0, 0);
    EndSession();
    World.Desktop.ProcessMessages();
  });
  // Inside the pump between the old readers' stop and the new ones' start.
  EndSessionInside([&] {
    EndSession();
    Main->TimerDeviceArrialTimer(Main.get());
  });
  // After EXIT: what was queued before the loop ends is not acted on.
  StartAndFindTheDevice();
  World.Desktop.PostWindowMessage(Main->WindowHandle(), WM_MONITOR_RELOAD_PROFILES, 0, 0);
  Main->Exit1Click(Main.get());
  World.Desktop.ProcessMessages();
  Main.reset();
  EXPECT_TRUE(LastIsTheRelease());
  World.Desktop.RunMessageLoop(); // takes the quit back
}

TEST_F(MonitorTest, TheIdListStopsAtAGapAndAfter101Keys) {
  WriteConfig("[IncludeHIDDeviceList]\nid1=A\nid3=C\n");
  Start();
  EXPECT_EQ(Main->IncludeHidDeviceList(), std::vector<std::string>{"A"});
  Main.reset();
  std::string Many = "[IncludeHIDDeviceList]\n";
  for (int I = 1; I <= 150; ++I) {
    Many += "id" + std::to_string(I) + "=X" + std::to_string(I) + "\n";
  }
  WriteConfig(Many);
  Main = std::make_unique<TTARNMONMAIN>(World.Platform());
  ASSERT_EQ(Main->IncludeHidDeviceList().size(), 101u);
  EXPECT_EQ(Main->IncludeHidDeviceList().back(), "X101");
}

TEST_F(MonitorTest, TrayClicksStartTheConfigProgramOrBringItToTheFront) {
  Start();
  int Started = 0;
  World.Shell.RegisterProgram(World.Environment.ModuleFolder() + cConfigProgramFile,
                              [&](const platform::sim::TSimShellOpen& AOpen) {
                                ++Started;
                                EXPECT_EQ(AOpen.Folder, World.Environment.ModuleFolder());
                                EXPECT_EQ(AOpen.ShowCommand, platform::SW_SHOW_VALUE);
                              });
  World.Session->ClickTrayIcon();
  World.Desktop.ProcessMessages();
  World.Session->ClickTrayIcon();
  World.Desktop.ProcessMessages();
  EXPECT_EQ(Started, 2);
  StartConfigProgram();
  World.Session->ChooseTrayMenuItem(cConfig1);
  World.Desktop.ProcessMessages();
  EXPECT_EQ(Started, 2);
  EXPECT_TRUE(World.Desktop.WindowVisible(ConfigWindow));
  EXPECT_EQ(World.Session->Foreground(), ConfigWindow);
  // A hung configuration program is never waited for: it shows once it answers again.
  Config->Desktop.ShowWindowCommand(ConfigWindow, platform::SW_HIDE_VALUE);
  World.Session->SetHung(ConfigWindow, true);
  const std::size_t Lines = World.Dialogs.DebugLines().size();
  World.Session->ClickTrayIcon();
  World.Desktop.ProcessMessages();
  EXPECT_FALSE(World.Desktop.WindowVisible(ConfigWindow));
  World.Session->SetHung(ConfigWindow, false);
  EXPECT_TRUE(World.Desktop.WindowVisible(ConfigWindow));
  EXPECT_EQ(World.Dialogs.DebugLines().size(), Lines);
}

TEST_F(MonitorTest, ButtonReportsActOnExactlyOneButton) {
  StartAndFindTheDevice();
  Deliver(Report({7, 0x00, 0x01, 0x00}));
  EXPECT_EQ(DebugCount("KeyIndex = 8 postmessage record!"), 1);
  Deliver(Report({7, 0x03, 0x00, 0x00})); // two buttons
  Deliver(Report({7, 0x00, 0x00, 0x00})); // all released
  Deliver({7, 0x01});                     // a short report arrives padded by the class driver
  const auto Lines = World.Dialogs.DebugLines();
  EXPECT_EQ(std::count_if(Lines.begin(), Lines.end(),
                          [](const std::string& A) { return A.rfind("KeyIndex = ", 0) == 0; }),
            2);
  EXPECT_EQ(DebugCount("KeyIndex = 0 postmessage record!"), 1);

  // Button 5 bound to the microphone: each press toggles it, a release does nothing.
  profile::DM()->CurrentProfileInfo().ConfigInfo.ButtonFuncInfo[5].nFunctionIndex =
      cMicrophoneMuteFunction;
  const bool Before = World.Audio.Muted();
  Deliver(Report({7, 0x20, 0x00, 0x00}));
  EXPECT_NE(World.Audio.Muted(), Before);
  Deliver(Report({7, 0x00, 0x00, 0x00}));
  EXPECT_NE(World.Audio.Muted(), Before);
  Deliver(Report({7, 0x20, 0x00, 0x00}));
  EXPECT_EQ(World.Audio.Muted(), Before);
  EXPECT_EQ(World.Audio.MuteSets(), 2);
}

TEST_F(MonitorTest, AHardwareProfileSwitchResendsTheTableBeforeTellingTheConfigProgram) {
  StartConfigProgram();
  StartAndFindTheDevice();
  const int Sends = CpiUnitSends();
  Deliver(Report({8, 1, 1}));
  Deliver(Report({7, 0x00, 0x00, 0x40})); // button 22 alone: hardware profile 1 as well
  Deliver(Report({8, 1, 5}));             // no such profile
  EXPECT_EQ(Received, (std::vector<TReceived>{{WM_CONFIG_PROFILE_SWITCHED, 1, Sends + 1},
                                              {WM_CONFIG_PROFILE_SWITCHED, 1, Sends + 2}}));
  EXPECT_EQ(CpiUnitSends(), Sends + 2);
  // A configuration program that hangs is given up; the monitor goes on.
  World.Session->SetHung(ConfigWindow, true);
  Deliver(Report({8, 1, 0}));
  EXPECT_EQ(CpiUnitSends(), Sends + 3);
  EXPECT_EQ(Received.size(), 2u);
}

TEST_F(MonitorTest, ALevelBurstReachesTheDriverOnce100MsAfterTheLast) {
  StartConfigProgram();
  StartAndFindTheDevice();
  Deliver(Report({8, 2, 3}));
  World.Desktop.Advance(50);
  Deliver(Report({8, 2, 1}));
  Deliver(Report({8, 6, 9}));
  Deliver(Report({8, 7, 4}));
  const int Before = Controls(cSetCurrentCpiCode);
  World.Desktop.Advance(cSetCurrentCpiIntervalMs - 1);
  EXPECT_EQ(Controls(cSetCurrentCpiCode), Before);
  World.Desktop.Advance(1);
  EXPECT_EQ(Controls(cSetCurrentCpiCode), Before + 1);
  EXPECT_EQ(World.Drivers.LastCurrentCpi(), 1);
  World.Desktop.Advance(1000);
  EXPECT_EQ(Controls(cSetCurrentCpiCode), Before + 1);
  const int Units = Received.empty() ? 0 : Received[0].CpiUnitsSentBefore;
  EXPECT_EQ(Received, (std::vector<TReceived>{{WM_CONFIG_CPI_CHANGED, 3, Units},
                                              {WM_CONFIG_CPI_CHANGED, 1, Units},
                                              {WM_CONFIG_DEVICE_EVENT_6, 9, Units},
                                              {WM_CONFIG_DEVICE_EVENT_7, 4, Units}}));
  // A level beyond the driver's table is told as reported and never reaches the driver, nor
  // the release packet: the last level stays. The table's last level does reach it.
  Received.clear();
  for (const int Level : {11, 255, 10}) {
    Deliver(Report({8, 2, Level}));
    World.Desktop.Advance(cSetCurrentCpiIntervalMs);
  }
  EXPECT_EQ(Received, (std::vector<TReceived>{{WM_CONFIG_CPI_CHANGED, 11, Units},
                                              {WM_CONFIG_CPI_CHANGED, 255, Units},
                                              {WM_CONFIG_CPI_CHANGED, 10, Units}}));
  EXPECT_EQ(Controls(cSetCurrentCpiCode), Before + 2);
  EXPECT_EQ(World.Drivers.LastCurrentCpi(), 10);
  Deliver(Report({8, 2, 200}));
  Main.reset();
  EXPECT_EQ(LastUnit().CurrentCpi, 10);
  EXPECT_EQ(LastUnit().NeedApplyNewCPI, 0);
}

// Early at logon the shell and the session services may refuse the monitor: it tries again,
// less often as time goes, until both answer, and then stops trying.
TEST_F(MonitorTest, TheTrayIconAndSessionNoticesComeOnceTheShellAnswers) {
  World.Session->RefuseTrayAdds(3);
  World.Session->RefuseSessionNotifications(2);
  Start();
  const platform::TWindowHandle Window = Main->WindowHandle();
  EXPECT_TRUE(World.Session->TrayIcons().empty());
  World.Desktop.Advance(cFirstShellRetryMs + 2 * cFirstShellRetryMs);
  EXPECT_TRUE(World.Session->TrayIcons().empty());
  EXPECT_TRUE(World.Session->SessionNotificationRegistered(Window));
  World.Desktop.Advance(4 * cFirstShellRetryMs);
  ASSERT_EQ(World.Session->TrayIcons().size(), 1u);
  EXPECT_EQ(World.Session->TrayIcons()[0].Hint, "GAMING MOUSE DRIVER");
  EXPECT_FALSE(World.Desktop.TimerRunning(Window, cTimerShellRetry));
  // A shell that never answers is asked at most once a minute.
  Main.reset();
  World.Session->RefuseTrayAdds(1000);
  Main = std::make_unique<TTARNMONMAIN>(World.Platform());
  World.Desktop.Advance(10 * cLastShellRetryMs);
  const auto Due = World.Desktop.TimerDue(Main->WindowHandle(), cTimerShellRetry);
  ASSERT_TRUE(Due.has_value());
  World.Desktop.Advance(*Due - World.Clock.TickCount());
  EXPECT_EQ(World.Desktop.TimerDue(Main->WindowHandle(), cTimerShellRetry),
            *Due + cLastShellRetryMs);
}

TEST_F(MonitorTest, ArrivalsResumesAndUnlocksGiveOneCheck1500MsAfterTheLast) {
  StartAndFindTheDevice();
  const int Checks = CpiUnitSends();
  EXPECT_EQ(Checks, 1);
  for (int I = 0; I < 3; ++I) {
    World.Hid.Plug(test::Devices::KeyboardInterface(I));
    World.Desktop.Advance(500);
  }
  World.Desktop.Advance(cDeviceArrialIntervalMs - 500 - 1);
  EXPECT_EQ(CpiUnitSends(), Checks);
  World.Desktop.Advance(1);
  EXPECT_EQ(CpiUnitSends(), Checks + 1);
  // After sleep, and after an overnight lock, the mouse gets its table again.
  World.Session->BroadcastPowerEvent(platform::PBT_APMRESUMEAUTOMATIC_VALUE);
  World.Desktop.Advance(cDeviceArrialIntervalMs);
  EXPECT_EQ(CpiUnitSends(), Checks + 2);
  EXPECT_TRUE(World.Session->SessionNotificationRegistered(Main->WindowHandle()));
  World.Session->BroadcastSessionChange(platform::WTS_SESSION_UNLOCK_VALUE);
  World.Desktop.Advance(cDeviceArrialIntervalMs);
  EXPECT_EQ(CpiUnitSends(), Checks + 3);
  // Without the device a check changes nothing.
  World.Hid.Unplug(cMousePath);
  World.Session->BroadcastSessionChange(platform::WTS_SESSION_UNLOCK_VALUE);
  World.Desktop.Advance(cDeviceArrialIntervalMs);
  EXPECT_EQ(CpiUnitSends(), Checks + 3);
}

TEST_F(MonitorTest, ADriverInstallationWhileTheMonitorReadsNeedsNoRestart) {
  // The manual route.
  const int Node = AddMouseNodeAndPackage(0);
  const std::string Driver = "driver";
  ASSERT_EQ(World.Files.ReplaceFileContent(World.Environment.ModuleFolder() +
                                               rtl::IncludeTrailingPathDelimiter("DRIVERX64") +
                                               "usbkmfx00001.sys",
                                           Driver.data(), Driver.size()),
            0u);
  StartAndFindTheDevice();

  // The readers let go when the restart asks, so the node restarts with the driver at once;
  // the monitor finds the interface again once it is back.
  Main->STDCommand().HidInstallDriver(true);
  auto State = World.Devices.Node(Node);
  EXPECT_EQ(State.StateChanges.size(), 1u);
  EXPECT_FALSE(State.RestartPending);
  EXPECT_EQ(State.LoadedLowerFilters, std::vector<std::string>{"usbkmfx00001"});
  EXPECT_EQ(State.Starts, 2);
  ExpectReadingAgain(1);

  // A handle that nobody asks vetoes the removal's restart: it waits for a restart, and the
  // monitor's readers, asked and refused, read on.
  {
    uint32_t Error = 0;
    const auto Held = World.Hid.Open(cMousePath, true, Error);
    ASSERT_TRUE(Held);
    Main->STDCommand().HidInstallDriver(false);
  }
  State = World.Devices.Node(Node);
  EXPECT_EQ(State.StateChanges.size(), 2u);
  EXPECT_TRUE(State.RestartPending);
  EXPECT_EQ(State.LoadedLowerFilters, std::vector<std::string>{"usbkmfx00001"});
  // The driver stays loaded until the restart, and its service with it: an installation
  // cannot take the service over meanwhile and leaves the list alone.
  ASSERT_TRUE(World.Services.Service("usbkmfx00001").has_value());
  EXPECT_TRUE(World.Services.Service("usbkmfx00001")->MarkedForDeletion);
  Main->STDCommand().HidInstallDriver(true);
  EXPECT_TRUE(World.Devices.Node(Node).Node.LowerFilters->empty());
  ASSERT_TRUE(PumpUntil([&] { return World.Hid.WaitingReads(cMousePath) == 1; }));
  Deliver(Report({7, 0x00, 0x01, 0x00}));
  EXPECT_EQ(DebugCount("KeyIndex = 8 postmessage record!"), 2);
}

TEST_F(MonitorTest, ThePackageToolRestartsTheMouseWhileTheMonitorWaitsForIt) {
  // The signed route: the package tool, a process of its own, puts the filter on the mouse's
  // node and restarts it while the monitor waits for the tool. The removal asks the monitor's
  // readers through its main thread, which must answer while it waits.
  const int Node = AddMouseNodeAndPackage(1);
  const std::string Tool = World.Environment.ModuleFolder() +
                           rtl::IncludeTrailingPathDelimiter("DRIVERX64") + "DIFxCmd.exe";
  ASSERT_EQ(World.Files.ReplaceFileContent(Tool, "MZ", 2), 0u);
  World.Services.AddService(cFilterService, test::Devices::FilterServiceConfig());
  uint32_t Restart = 1;
  World.Shell.RegisterProgram(Tool, [&](const platform::sim::TSimShellOpen&) {
    uint32_t Error = 0;
    const auto Nodes = World.Devices.OpenPresentNodes(device::cHidSetupClass, Error);
    Nodes->WriteStrings(0, platform::TDeviceProperty::LowerFilters, {"usbkmfx00001"});
    Restart = Nodes->ChangeState(0, platform::TDeviceStateChange::PropertyChange);
  });
  StartAndFindTheDevice();

  Main->STDCommand().HidInstallDriver(true);
  EXPECT_EQ(Restart, 0u);
  const auto State = World.Devices.Node(Node);
  EXPECT_FALSE(State.RestartPending);
  EXPECT_EQ(State.LoadedLowerFilters, std::vector<std::string>{"usbkmfx00001"});
  ExpectReadingAgain(1);

  // A handle that nobody asks still vetoes the tool's restart (of the removal it runs now).
  uint32_t Error = 0;
  const auto Held = World.Hid.Open(cMousePath, true, Error);
  ASSERT_TRUE(Held);
  Main->STDCommand().HidInstallDriver(false);
  EXPECT_EQ(Restart, platform::SysError::RebootRequired);
  EXPECT_TRUE(World.Devices.Node(Node).RestartPending);
}

TEST_F(MonitorTest, WheelRulesInstallTheHookOnlyForAChangedWheel) {
  StartAndFindTheDevice();
  // The factory profile keeps both directions standard: no rule, no hook.
  EXPECT_TRUE(Main->Hook().MouseHookObjects().empty());
  EXPECT_FALSE(World.HookLibrary.MouseHookInstalled());
  // Wheel up doing "wheel down": only the up rule, and the hook runs.
  profile::TDM& Store = *profile::DM();
  auto& Wheel = Store.CurrentProfileInfo().ConfigInfo.VWheelButtonFuncInfo;
  Wheel[0].nFunctionType = 1;
  Wheel[0].nFunctionIndex = 1;
  Store.SaveCurrentProfileInfoToRegistry();
  World.Desktop.PostWindowMessage(Main->WindowHandle(), WM_MONITOR_RELOAD_PROFILES, 0, 0);
  World.Desktop.ProcessMessages();
  ASSERT_EQ(Main->Hook().MouseHookObjects().size(), 1u);
  EXPECT_EQ(Main->Hook().MouseHookObjects()[0].second.MouseButton, hook::WHEELUP);
  EXPECT_EQ(Main->Hook().MouseHookObjects()[0].second.MouseStateSet, 0x0400);
  EXPECT_TRUE(World.HookLibrary.MouseHookInstalled());
}

TEST_F(MonitorTest, MuteWithoutAMicrophoneDoesNothingUntilOneAppears) {
  World.Audio.SetMicrophonePresent(false);
  StartAndFindTheDevice();
  EXPECT_FALSE(Main->EndpointPrepared());
  profile::DM()->CurrentProfileInfo().ConfigInfo.ButtonFuncInfo[5].nFunctionIndex =
      cMicrophoneMuteFunction;
  Deliver(Report({7, 0x20}));
  EXPECT_EQ(World.Audio.MuteSets(), 0);
  EXPECT_TRUE(World.Dialogs.MessageBoxes().empty());
  World.Audio.SetMicrophonePresent(true);
  Deliver(Report({7, 0x20}));
  EXPECT_TRUE(Main->EndpointPrepared());
  EXPECT_TRUE(World.Audio.Muted());
  // The window withdraws its registration before it goes: later changes reach nobody.
  Main.reset();
  World.Audio.SetMutedElsewhere(false);
  World.Audio.WaitForNotifications();
  EXPECT_EQ(TARNMONMAIN(), nullptr);
}

// A press mutes the recording device in use now: another one the user chose, or the same
// headset unplugged and plugged back; the change registration moves with it.
TEST_F(MonitorTest, TheMuteButtonFollowsTheRecordingDeviceInUse) {
  StartAndFindTheDevice();
  profile::DM()->CurrentProfileInfo().ConfigInfo.ButtonFuncInfo[5].nFunctionIndex =
      cMicrophoneMuteFunction;
  Deliver(Report({7, 0x20}));
  EXPECT_TRUE(World.Audio.Muted());
  World.Audio.SetMicrophonePresent(false);
  World.Audio.SetMicrophonePresent(true);
  Deliver(Report({7, 0x20}));
  EXPECT_FALSE(World.Audio.Muted());
  World.Audio.ReplaceDefaultMicrophone();
  Deliver(Report({7, 0x20}));
  EXPECT_TRUE(World.Audio.Muted());
  EXPECT_EQ(World.Audio.Registrations(), 1);
  // The endpoint still in use is kept: no new one per press.
  const int Opens = World.Audio.EndpointOpens();
  Deliver(Report({7, 0x20}));
  EXPECT_FALSE(World.Audio.Muted());
  EXPECT_EQ(World.Audio.EndpointOpens(), Opens);
}

TEST_F(MonitorTest, TheLegacyMixerWithoutAMuteControlSaysSoTwice) {
  World.Environment.SetOsVersion({5, 1, 2600});
  World.Audio.SetMicrophoneMuteControl(false);
  StartAndFindTheDevice();
  profile::DM()->CurrentProfileInfo().ConfigInfo.ButtonFuncInfo[5].nFunctionIndex =
      cMicrophoneMuteFunction;
  Deliver(Report({7, 0x20}));
  const auto Boxes = World.Dialogs.MessageBoxes();
  ASSERT_EQ(Boxes.size(), 2u);
  EXPECT_EQ(Boxes[0].Text, "GetLineInfo Error");
  EXPECT_EQ(Boxes[1].Text, "GetLineInfo Error");
  // With the control, the microphone line (0x1003) and the mute control type are asked for.
  World.Audio.SetMicrophoneMuteControl(true);
  Deliver(Report({7, 0x20}));
  EXPECT_TRUE(World.Audio.Muted());
  const auto Calls = World.Audio.MixerCalls();
  EXPECT_TRUE(std::any_of(Calls.begin(), Calls.end(),
                          [](const auto& ACall) { return ACall.ComponentType == 0x1003; }));
  EXPECT_TRUE(std::any_of(Calls.begin(), Calls.end(),
                          [](const auto& ACall) { return ACall.ControlType == 0x20010002; }));
}

TEST_F(MonitorTest, ReloadSettingsAppliesTheStoredLanguage) {
  Start();
  profile::TDM& Store = *profile::DM();
  const int Chinese = Main->Language().GetLanguageIndexByShortID("CH");
  ASSERT_GE(Chinese, 0);
  Store.AllProfileSettingInfo().CurrentLanguage = static_cast<uint8_t>(Chinese);
  Store.SaveBackAllProfileSettingInfo();
  World.Desktop.PostWindowMessage(Main->WindowHandle(), WM_MONITOR_RELOAD_SETTINGS, 0, 0);
  World.Desktop.ProcessMessages();
  EXPECT_EQ(Main->Language().Lang(), "CH");
  const auto Icons = World.Session->TrayIcons();
  ASSERT_EQ(Icons.size(), 1u);
  EXPECT_NE(Icons[0].Hint, "GAMING MOUSE DRIVER");
  EXPECT_EQ(Icons[0].Hint, lang::TranslateText(cTrayHint));
  EXPECT_EQ(World.Desktop.ApplicationTitle(), lang::TranslateText(cApplicationTitle));
  // An elevated monitor still hears the configuration program's two messages.
  const auto Allowed = World.Session->AllowedMessages(Main->WindowHandle());
  EXPECT_NE(std::find(Allowed.begin(), Allowed.end(), WM_MONITOR_RELOAD_SETTINGS), Allowed.end());
  EXPECT_NE(std::find(Allowed.begin(), Allowed.end(), WM_MONITOR_RELOAD_PROFILES), Allowed.end());
}

TEST_F(MonitorTest, BadInputIsIgnoredAndTheStoreIsNotWritten) {
  // Damaged "config.ini", icon and language file: the built-in texts and icon serve.
  std::string Garbage;
  std::mt19937 Random(7);
  for (int I = 0; I < 4096; ++I) {
    Garbage.push_back(static_cast<char>(Random()));
  }
  // No section header that could name an identifier list: every interface of the mouse counts.
  std::string NoSections = Garbage;
  std::replace(NoSections.begin(), NoSections.end(), '[', '(');
  WriteConfig(NoSections + "\n[Websites\n" + NoSections);
  const std::string Folder = World.Environment.ModuleFolder();
  for (const char* Sub : {"images", "images/0409", "images/0409/icons"}) {
    World.Files.MakeDirectory(Folder + Sub);
  }
  for (const char* File : {"images/0409/icons/logo.ico", "ui.local"}) {
    ASSERT_EQ(World.Files.ReplaceFileContent(Folder + File, Garbage.data(), Garbage.size()), 0u);
  }
  StartConfigProgram();
  StartAndFindTheDevice();
  ASSERT_EQ(World.Session->TrayIcons().size(), 1u);
  EXPECT_EQ(World.Session->TrayIcons()[0].Hint, "GAMING MOUSE DRIVER");
  const int Writes = World.Registry.WriteCount();

  // Reports of every length and content, through the reader and straight to the handler.
  for (int I = 0; I < 300; ++I) {
    std::vector<uint8_t> Bytes(1 + Random() % 40);
    for (uint8_t& Byte : Bytes) {
      Byte = static_cast<uint8_t>(Random());
    }
    if (I % 2 == 0) {
      Bytes[0] = static_cast<uint8_t>(7 + I % 4);
    }
    Deliver(Bytes);
    Main->uiHIDData1Data("", cMousePath, Bytes[0], Bytes.data() + 1,
                         static_cast<uint16_t>(Bytes.size() - 1));
  }
  Main->uiHIDData1Data("", cMousePath, 8, nullptr, cReportPayloadSize);
  // Messages with any parameters; the configuration window gone in the middle.
  for (int I = 0; I < 200; ++I) {
    const uint32_t Msg =
        std::array<uint32_t, 4>{WM_MONITOR_RELOAD_PROFILES, WM_MONITOR_RELOAD_SETTINGS,
                                WM_MONITOR_DEVICE_EVENT, 0x0111}[I % 4];
    const uintptr_t WParam = I % 3 == 0 ? Random() % 30 : (uintptr_t{Random()} << 32 | Random());
    World.Desktop.PostWindowMessage(Main->WindowHandle(), Msg, WParam,
                                    static_cast<intptr_t>(Random()));
    if (I == 100) {
      Config->Desktop.DestroyHiddenWindow(ConfigWindow);
    }
    World.Desktop.ProcessMessages();
  }
  // The microphone goes between two presses of the mute button.
  profile::DM()->CurrentProfileInfo().ConfigInfo.ButtonFuncInfo[5].nFunctionIndex =
      cMicrophoneMuteFunction;
  Deliver(Report({7, 0x20}));
  World.Audio.SetMicrophonePresent(false);
  Deliver(Report({7, 0x20}));
  EXPECT_EQ(World.Registry.WriteCount(), Writes);
  EXPECT_TRUE(World.Dialogs.MessageBoxes().empty());

  // Still at work: a level change reaches the driver.
  const int Before = Controls(cSetCurrentCpiCode);
  Deliver(Report({8, 2, 2}));
  World.Desktop.Advance(cSetCurrentCpiIntervalMs);
  EXPECT_EQ(Controls(cSetCurrentCpiCode), Before + 1);
  EXPECT_EQ(World.Drivers.LastCurrentCpi(), 2);
}

} // namespace
