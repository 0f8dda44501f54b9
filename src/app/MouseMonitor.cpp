#include "app/MouseMonitor.h"

#include <algorithm>

#include "hid/UsageAndPage.h"
#include "lang/FormResources.h"
#include "lang/Translation.h"
#include "platform/ConfigFile.h"
#include "platform/Guarded.h"
#include "platform/SysError.h"
#include "platform/WindowMessages.h"
#include "profile/DMUnit.h"
#include "rtl/Paths.h"

namespace app {

namespace {

std::atomic<TTARNMONMAIN*> GMainWindow{nullptr};

constexpr std::array<TKeyReportEntry, 24> BuildKeyReportTable() {
  std::array<TKeyReportEntry, 24> Table{};
  for (std::size_t J = 0; J < Table.size(); ++J) {
    const uint32_t Mask = 1u << J;
    Table[J] = {cButtonReportID, static_cast<uint8_t>(Mask & 0xFF),
                static_cast<uint8_t>((Mask >> 8) & 0xFF),
                static_cast<uint8_t>((Mask >> 16) & 0xFF)};
  }
  return Table;
}

// The information page's own texts, before translation.
constexpr const char* cInfoLines[] = {"Hardware & Software Information:", "Hardware Core:1.00.00",
                                      "Software Core:1.00.00", "Software Update Website:"};
constexpr const char* cOkCaption = "OK";
constexpr const char* cGoWebCaption = "Visit";

constexpr int32_t cNtFamilyAudioEndpointMajor = 6;
constexpr uint32_t cReleaseSettleMs = 100;
constexpr intptr_t cButtonEventParam = 1;
constexpr intptr_t cWindowMessageTrue = 1;

void ProcessMessagesAndSleep50ms(platform::IMainThread& AMainThread, platform::IClock& AClock) {
  constexpr uint32_t cSleepMs = 50;
  AMainThread.ProcessMessages();
  AClock.SleepMs(cSleepMs);
}

// What the window does for these would send the driver a table, start reading or tell the
// configuration program: none of it may follow the teardown.
bool ActsOnTheDevice(uint32_t AMsg) {
  switch (AMsg) {
  case WM_MONITOR_DEVICE_EVENT:
  case WM_MONITOR_RELOAD_PROFILES:
  case WM_MONITOR_RELOAD_SETTINGS:
  case platform::WM_TIMER_MESSAGE:
  case platform::WM_POWERBROADCAST_MESSAGE:
  case platform::WM_WTSSESSION_CHANGE_MESSAGE:
    return true;
  default:
    return false;
  }
}

} // namespace

const std::array<TKeyReportEntry, 24> KeyReportTable = BuildKeyReportTable();

TTARNMONMAIN* TARNMONMAIN() {
  return GMainWindow.load();
}

int32_t TMyEndpointVolumeCallback::OnNotify() {
  // Runs on the audio service's thread: it only marks the window while a change is handled.
  if (TTARNMONMAIN* Window = TARNMONMAIN()) {
    Window->FVolumeUpdating = true;
    Window->FVolumeUpdating = false;
  }
  return 0;
}

// ---- creation and destruction ----

TTARNMONMAIN::TTARNMONMAIN(const platform::TPlatform& APlatform)
    : rtl::TComponent(nullptr), FPlatform(APlatform),
      FDesktop(TMonitorDesktop::Of(APlatform.Desktop)) {
  FWindowHandle = FDesktop.Session.CreateMainWindow(
      cMainWindowClass, [this](platform::TWindowMessage& AMessage) { return WndProc(AMessage); });

  uiLanguage1 = new lang::TuiLanguage(
      this, {FPlatform.Files, FPlatform.Environment, FPlatform.Debug, FPlatform.Locale});
  uiLanguage1->SetName("uiLanguage1");
  uiLanguage1->LoadResourcesBin(lang::MouseMonitorResourcesBin());
  uiLanguage1->Loaded();

  TrayIcon1 =
      FDesktop.TrayAndPage.CreateTrayIcon(FWindowHandle, {[this] { TrayIconDblClick(this); },
                                                          [this](uint32_t AId) {
                                                            if (AId == cConfig1) {
                                                              Config1Click(this);
                                                            } else if (AId == cAbout1) {
                                                              About1Click(this);
                                                            } else if (AId == cExit1) {
                                                              Exit1Click(this);
                                                            }
                                                          }});
  if (TrayIcon1) {
    TrayIcon1->SetMenu(
        {{cConfig1, "CONFIG", true}, {cAbout1, "About", false}, {cExit1, "EXIT", true}});
  }

  uiHIDData1 = new hid::TuiHIDData(this, {FPlatform.Hid, FDesktop.Windows, FDesktop.MainThread,
                                          FPlatform.Files, FPlatform.Environment, FPlatform.Debug});
  uiHIDData1->SetName("uiHIDData1");
  uiHIDData1->SetFastOnData(false);
  uiHIDData1->SetOnData({this, &TTARNMONMAIN::uiHIDData1Data});

  uiHIDEvent1 = new hid::TuiHIDEvent(this, FDesktop.Windows, FPlatform.Debug);
  uiHIDEvent1->SetName("uiHIDEvent1");
  uiHIDEvent1->SetOnDeviceArrival({this, &TTARNMONMAIN::uiHIDEvent1DeviceArrival});

  uiSTDCommand1 = new device::TuiSTDCommand(this, device::TStdCommandServices::Of(FPlatform));
  uiSTDCommand1->SetName("uiSTDCommand1");

  uiHook1 = new hook::TuiHook(
      this, {FPlatform.Libraries, FPlatform.Keyboard, FPlatform.Dialogs, FPlatform.Environment});
  uiHook1->SetName("uiHook1");

  GMainWindow = this;
  FormCreate(this);
}

TTARNMONMAIN::~TTARNMONMAIN() {
  FormDestroy(this);
  if (FWindowHandle != 0) {
    FDesktop.Windows.DestroyHiddenWindow(FWindowHandle);
    FWindowHandle = 0;
  }
}

void TTARNMONMAIN::FormCreate(rtl::TComponent*) {
  const std::string Folder = FPlatform.Environment.ModuleFolder();
  std::string IconFile = cTrayIconFile;
  std::replace(IconFile.begin(), IconFile.end(), '\\', rtl::PathDelim);
  if (TrayIcon1 && FPlatform.Files.FileExists(Folder + IconFile)) {
    TrayIcon1->LoadIconFile(Folder + IconFile);
  }
  const rtl::TIniFile Config = platform::LoadConfigFile(FPlatform.Files, FPlatform.Environment);
  FIncludeHidDeviceList = Config.ReadIdList(hid::cIncludeHIDDeviceListSection);

  FWebAddress = cDefaultWebAddress;
  if (const profile::TDM* Module = profile::DM()) {
    const profile::TOtherConfig& Other = Module->OtherConfig();
    if (!Other.UpgradeWebSite.empty()) {
      FWebAddress = Other.UpgradeWebSite;
    } else if (!Other.ProductWebSite.empty()) {
      FWebAddress = Other.ProductWebSite;
    }
  }
  FDesktop.TrayAndPage.CreateInfoPage(
      FWindowHandle, InfoPageTexts(),
      {[this] { BtnOKClick(this); }, [this] { BtnGoWebClick(this); }});

  ApplyLanguageAndCaptions();
  if (profile::TDM* Module = profile::DM()) {
    FStoredGame = Module->AllProfileSettingInfo().CurrentGame;
    // The table follows at the device check.
    ReloadApplicationSwitches(false);
    ApplyGameInFront(false);
  }
  // A configuration program without elevation still reaches an elevated monitor.
  FDesktop.Session.AllowMessageFromLowerIntegrity(FWindowHandle, WM_MONITOR_RELOAD_PROFILES);
  FDesktop.Session.AllowMessageFromLowerIntegrity(FWindowHandle, WM_MONITOR_RELOAD_SETTINGS);
  ConnectToShell();

  if (static_cast<int32_t>(FPlatform.Environment.OsVersion().Major) >=
      cNtFamilyAudioEndpointMajor) {
    InitAudioEndpoint();
  }
}

void TTARNMONMAIN::FormDestroy(rtl::TComponent*) {
  if (FDestroyed) {
    return;
  }
  FDestroyed = true;
  FTearingDown = true;
  // The audio service calls in on its own thread: no call may reach a window that is going.
  ReleaseAudioEndpoint();
  GMainWindow = nullptr;
  FDesktop.Windows.StopTimer(FWindowHandle, cTimerDeviceArrial);
  FDesktop.Windows.StopTimer(FWindowHandle, cTimerToSetCurrentCpi);
  FDesktop.Windows.StopTimer(FWindowHandle, cTimerShellRetry);
  FDesktop.Windows.StopTimer(FWindowHandle, cTimerForegroundSettle);
  FDesktop.Foreground.StopWatchingForeground();
  uiHIDData1->HidStopRead();
  device::SendCpiRelease(CpiTarget(), FCPIUNIT);
  FPlatform.Clock.SleepMs(cReleaseSettleMs);
  FIncludeHidDeviceList.clear();
}

// ---- the window's messages ----

void TTARNMONMAIN::ConnectToShell() {
  if (!FTrayShown) {
    FTrayShown = !TrayIcon1 || TrayIcon1->Show();
  }
  // After sleep or an overnight lock the mouse is back at its own defaults: check it again.
  if (!FSessionNotification) {
    FSessionNotification = FDesktop.Session.RegisterSessionNotification(FWindowHandle);
  }
  // At logon the monitor may start before the shell and the session services can answer; the
  // shell's "TaskbarCreated" only covers a shell that was not there at all.
  FDesktop.Windows.StopTimer(FWindowHandle, cTimerShellRetry);
  if (FTrayShown && FSessionNotification) {
    FShellRetryMs = cFirstShellRetryMs;
    return;
  }
  FDesktop.Windows.StartTimer(FWindowHandle, cTimerShellRetry, FShellRetryMs);
  FShellRetryMs = std::min(FShellRetryMs * 2, cLastShellRetryMs);
}

bool TTARNMONMAIN::WndProc(platform::TWindowMessage& AMessage) {
  if (FTearingDown && ActsOnTheDevice(AMessage.Msg)) {
    AMessage.Result = AMessage.Msg == platform::WM_POWERBROADCAST_MESSAGE ? cWindowMessageTrue : 0;
    return true;
  }
  switch (AMessage.Msg) {
  case WM_MONITOR_DEVICE_EVENT:
    WMMonitorDeviceEvent(AMessage.WParam, AMessage.LParam);
    return true;
  case WM_MONITOR_RELOAD_PROFILES:
    WMMonitorReloadProfiles();
    return true;
  case WM_MONITOR_RELOAD_SETTINGS:
    WMMonitorReloadSettings();
    return true;
  case platform::WM_TIMER_MESSAGE:
    if (AMessage.WParam == cTimerDeviceArrial) {
      TimerDeviceArrialTimer(this);
      return true;
    }
    if (AMessage.WParam == cTimerToSetCurrentCpi) {
      TimerToSetCurrentCpiTimer(this);
      return true;
    }
    if (AMessage.WParam == cTimerShellRetry) {
      ConnectToShell();
      return true;
    }
    if (AMessage.WParam == cTimerForegroundSettle) {
      FDesktop.Windows.StopTimer(FWindowHandle, cTimerForegroundSettle);
      ApplyGameInFront(true);
      return true;
    }
    return false;
  case platform::WM_POWERBROADCAST_MESSAGE:
    if (AMessage.WParam == platform::PBT_APMRESUMEAUTOMATIC_VALUE ||
        AMessage.WParam == platform::PBT_APMRESUMESUSPEND_VALUE) {
      uiHIDEvent1DeviceArrival(uiHIDEvent1);
    }
    AMessage.Result = cWindowMessageTrue;
    return true;
  case platform::WM_WTSSESSION_CHANGE_MESSAGE:
    if (AMessage.WParam == platform::WTS_SESSION_UNLOCK_VALUE) {
      uiHIDEvent1DeviceArrival(uiHIDEvent1);
    }
    return true;
  case platform::WM_CLOSE_MESSAGE:
    // Closing the main window ends the monitor; the loop's end destroys the window.
    FTearingDown = true;
    FDesktop.Loop.Quit(0);
    return true;
  case platform::WM_ENDSESSION_MESSAGE:
    // The process may end as soon as this returns: the driver gets its release packet now.
    if (AMessage.WParam != 0) {
      FormDestroy(this);
      FDesktop.Loop.Quit(0);
    }
    return true;
  default:
    return false;
  }
}

void TTARNMONMAIN::WMMonitorDeviceEvent(uintptr_t AWParam, intptr_t ALParam) {
  const platform::TWindowHandle Config = FDesktop.Session.FindTopLevelWindow(cConfigWindowClass);
  if (AWParam >= cFirstProfileEvent && AWParam <= cLastProfileEvent) {
    if (!ReadAndSendCpiTable()) {
      return;
    }
    ShowProfileNotice(AWParam - cFirstProfileEvent);
    if (Config != 0) {
      // Sent, not posted, as the configuration program expects; a hung receiver is given up.
      intptr_t Result = 0;
      FDesktop.Session.SendWindowMessage(Config, WM_CONFIG_PROFILE_SWITCHED,
                                         AWParam - cFirstProfileEvent, 0, Result);
    }
  } else if (AWParam <= cLastButtonEvent) {
    const auto Button = static_cast<std::size_t>(AWParam);
    const uint16_t Function = CurrentProfile().ConfigInfo.ButtonFuncInfo[Button].nFunctionIndex;
    ExecuteKeyFunction(static_cast<uint8_t>(AWParam), Function,
                       static_cast<uint8_t>(ALParam & 0xFF));
  }
}

void TTARNMONMAIN::WMMonitorReloadProfiles() {
  profile::TDM& Module = *profile::DM();
  Module.LoadAllProfileInfoFromRegistry();
  FStoredGame = Module.AllProfileSettingInfo().CurrentGame;
  ReloadApplicationSwitches(true);
  // The program in front decides at once, so that one table is sent.
  FChosenByForeground = false;
  const int Game = GameInFront();
  FChosenByForeground = Game != FStoredGame;
  Module.SwitchToProfile(Game);
  Module.LoadCurrentProfileInfoFromRegistry();
  if (ReadAndSendCpiTable()) {
    InstallWheelHookRules();
  }
}

void TTARNMONMAIN::WMMonitorReloadSettings() {
  profile::DM()->LoadAllProfileInfoFromRegistry();
  FStoredGame = profile::DM()->AllProfileSettingInfo().CurrentGame;
  ApplyLanguageAndCaptions();
  ReloadApplicationSwitches(true);
  ApplyGameInFront(true);
}

// ---- the game profile of the program in front ----

void TTARNMONMAIN::ReloadApplicationSwitches(bool AReload) {
  profile::TDM& Module = *profile::DM();
  auto Record = std::make_unique<profile::TMouseProfileInfo>();
  for (int Index = 0; Index < profile::cGameProfileCount; ++Index) {
    if (AReload && Module.ProfileSettingGroup().ProfileSettingList[Index].nStorage ==
                       profile::cStorageRegistry) {
      // A value that cannot be read keeps the list the stream had.
      try {
        Module.LoadProfileInfoFromRegistry(Index);
      } catch (const std::exception& AError) {
        FPlatform.Debug.DebugOutput(std::string("Application list: ") + AError.what());
      }
    }
    Module.ReadProfileInfo(*Record, Index);
    FApplicationSwitches[static_cast<std::size_t>(Index)] =
        profile::ApplicationSwitch(Record->ConfigInfo);
  }
  const bool Wanted = std::any_of(FApplicationSwitches.begin(), FApplicationSwitches.end(),
                                  [](const profile::TApplicationSwitch& A) { return A.On; });
  if (Wanted && !FWatchingForeground) {
    FWatchingForeground = FDesktop.Foreground.WatchForeground([this] {
      if (!FTearingDown) {
        RestartTimer(cTimerForegroundSettle, cForegroundSettleMs);
      }
    });
  } else if (!Wanted && FWatchingForeground) {
    FDesktop.Foreground.StopWatchingForeground();
    FDesktop.Windows.StopTimer(FWindowHandle, cTimerForegroundSettle);
    FWatchingForeground = false;
  }
}

int TTARNMONMAIN::GameInFront() {
  if (!FWatchingForeground) {
    return FStoredGame;
  }
  return profile::ProfileForApplication(FApplicationSwitches,
                                        FDesktop.Foreground.ForegroundProgram())
      .value_or(FStoredGame);
}

void TTARNMONMAIN::ApplyGameInFront(bool ASend) {
  // With every switch off the monitor keeps to the store's profile as it always has; only a
  // profile the switch chose is given back.
  if (FTearingDown || (!FWatchingForeground && !FChosenByForeground)) {
    return;
  }
  profile::TDM& Module = *profile::DM();
  const int Game = GameInFront();
  FChosenByForeground = Game != FStoredGame;
  if (Game == Module.ProfileIndex() || !Module.SwitchToProfile(Game)) {
    return;
  }
  // In memory only: the configuration program owns the stored current profile.
  if (ASend && ReadAndSendCpiTable()) {
    InstallWheelHookRules();
  }
}

void TTARNMONMAIN::ApplyLanguageAndCaptions() {
  const int Current = uiLanguage1->GetLanguageIndexByShortID(uiLanguage1->Lang());
  const int Stored = profile::DM()->AllProfileSettingInfo().CurrentLanguage;
  if (Current != Stored) {
    uiLanguage1->SetLang(uiLanguage1->GetLanguageShortIDByIndex(Stored));
  }
  if (TrayIcon1) {
    TrayIcon1->SetMenuCaption(cConfig1, lang::TranslateText("Config"));
    TrayIcon1->SetMenuCaption(cAbout1, lang::TranslateText("About"));
    TrayIcon1->SetMenuCaption(cExit1, lang::TranslateText("Exit"));
    TrayIcon1->SetHint(lang::TranslateText(cTrayHint));
  }
  FDesktop.Session.SetApplicationTitle(lang::TranslateText(cApplicationTitle));
  FDesktop.TrayAndPage.SetInfoPageTexts(FWindowHandle, InfoPageTexts());
}

platform::TInfoPageTexts TTARNMONMAIN::InfoPageTexts() const {
  platform::TInfoPageTexts Texts;
  for (const char* Line : cInfoLines) {
    Texts.Lines.push_back(lang::TranslateText(Line));
  }
  Texts.WebAddress = FWebAddress;
  Texts.OkCaption = lang::TranslateText(cOkCaption);
  Texts.WebCaption = lang::TranslateText(cGoWebCaption);
  return Texts;
}

// ---- device reports ----

void TTARNMONMAIN::uiHIDData1Data(const std::string&, const std::string&, uint8_t ReportID,
                                  const void* Data, uint16_t Size) {
  if (Size != cReportPayloadSize || Data == nullptr || FTearingDown) {
    return;
  }
  const auto* Payload = static_cast<const uint8_t*>(Data);
  if (ReportID == cButtonReportID) {
    for (std::size_t J = 0; J < KeyReportTable.size(); ++J) {
      if (std::equal(KeyReportTable[J].begin() + 1, KeyReportTable[J].end(), Payload)) {
        FPlatform.Debug.DebugOutput("KeyIndex = " + std::to_string(J) + " postmessage record!");
        FDesktop.Windows.PostWindowMessage(FWindowHandle, WM_MONITOR_DEVICE_EVENT, J,
                                           cButtonEventParam);
        return;
      }
    }
    return;
  }
  if (ReportID != cStatusReportID) {
    return;
  }
  const uint8_t Value = Payload[1];
  switch (Payload[0]) {
  case cStatusProfileSwitched:
    if (cFirstProfileEvent + Value <= cLastProfileEvent) {
      FDesktop.Windows.PostWindowMessage(FWindowHandle, WM_MONITOR_DEVICE_EVENT,
                                         cFirstProfileEvent + Value, 0);
    }
    break;
  case cStatusCpiChanged:
    PostToConfigWindow(WM_CONFIG_CPI_CHANGED, Value);
    ShowLevelNotice(Value);
    // The driver's table has no level beyond it: a level it does not have keeps the last one.
    if (Value <= device::cMaxCpiIndex) {
      FCPIUNIT.CurrentCpi = Value;
      RestartTimer(cTimerToSetCurrentCpi, cSetCurrentCpiIntervalMs);
    }
    break;
  case cStatusDeviceEvent6:
    PostToConfigWindow(WM_CONFIG_DEVICE_EVENT_6, Value);
    break;
  case cStatusDeviceEvent7:
    PostToConfigWindow(WM_CONFIG_DEVICE_EVENT_7, Value);
    break;
  default:
    break;
  }
}

bool TTARNMONMAIN::NoticeWanted() {
  return CurrentProfile().ConfigInfo.UseCPIOnScreenFlyShow != 0 &&
         FDesktop.Session.FindTopLevelWindow(cConfigWindowClass) == 0;
}

void TTARNMONMAIN::ShowLevelNotice(uint8_t ALevel) {
  if (!NoticeWanted()) {
    return;
  }
  const profile::TMOUSECONFIGINFO& Config = CurrentProfile().ConfigInfo;
  // A level the profile's table does not have shows nothing.
  if (ALevel >= profile::cCPILevelCount || ALevel >= Config.CPILevel ||
      Config.CPIState[ALevel].Enabled == 0) {
    return;
  }
  const profile::TCPISTATEITEM& Level = Config.CPIState[ALevel];
  FDesktop.Notice.ShowNotice(
      std::to_string(Level.CPIX) +
          (Level.CPIX != Level.CPIY ? " x " + std::to_string(Level.CPIY) : "") + " CPI\n" +
          std::to_string(ALevel + 1) + " / " + std::to_string(Config.CPILevel),
      cNoticeMs);
}

void TTARNMONMAIN::ShowProfileNotice(uintptr_t AProfile) {
  if (NoticeWanted()) {
    FDesktop.Notice.ShowNotice(lang::TranslateText("Profile") + " " + std::to_string(AProfile + 1),
                               cNoticeMs);
  }
}

void TTARNMONMAIN::PostToConfigWindow(uint32_t AMsg, uintptr_t AWParam) {
  const platform::TWindowHandle Config = FDesktop.Session.FindTopLevelWindow(cConfigWindowClass);
  if (Config != 0) {
    FDesktop.Windows.PostWindowMessage(Config, AMsg, AWParam, 0);
  }
}

void TTARNMONMAIN::ExecuteKeyFunction(uint8_t, uint16_t AFunctionIndex, uint8_t) {
  if (AFunctionIndex == cMicrophoneMuteFunction) {
    MicrophoneMute();
  }
}

// ---- timers and the device's arrival ----

void TTARNMONMAIN::RestartTimer(uintptr_t ATimer, uint32_t AIntervalMs) {
  FDesktop.Windows.StopTimer(FWindowHandle, ATimer);
  FDesktop.Windows.StartTimer(FWindowHandle, ATimer, AIntervalMs);
}

void TTARNMONMAIN::TimerToSetCurrentCpiTimer(rtl::TComponent*) {
  FDesktop.Windows.StopTimer(FWindowHandle, cTimerToSetCurrentCpi);
  device::SetCurrentCpi(*uiSTDCommand1, FCPIUNIT.CurrentCpi);
}

void TTARNMONMAIN::uiHIDEvent1DeviceArrival(rtl::TComponent*) {
  if (FTearingDown) {
    return;
  }
  RestartTimer(cTimerDeviceArrial, cDeviceArrialIntervalMs);
}

void TTARNMONMAIN::TimerDeviceArrialTimer(rtl::TComponent*) {
  FDesktop.Windows.StopTimer(FWindowHandle, cTimerDeviceArrial);
  CheckDeviceAndStart();
}

void TTARNMONMAIN::CheckDeviceAndStart() {
  FDesktop.Windows.StopTimer(FWindowHandle, cTimerDeviceArrial);
  hid::THIDDataParam Param;
  Param.UsageAndPage = hid::DeviceUsageAndPage();
  if (!uiHIDData1->IsDeviceExist(Param)) {
    return;
  }
  profile::TDM& Module = *profile::DM();
  Module.LoadAllProfileInfoFromRegistry();
  Module.LoadCurrentProfileInfoFromRegistry();
  InstallWheelHookRules();
  RestartDeviceReading();
  ReadAndSendCpiTable();
}

void TTARNMONMAIN::RestartDeviceReading() {
  uiHIDData1->HidStopRead();
  // The end of the session may be among the messages handled here.
  ProcessMessagesAndSleep50ms(FDesktop.MainThread, FPlatform.Clock);
  if (!FTearingDown) {
    uiHIDData1->HidFindAndReadDevice(hid::DeviceUsageAndPage(), hid::cAnyListedDevice);
  }
}

bool TTARNMONMAIN::ReadAndSendCpiTable() {
  if (!FTearingDown) {
    device::ReadCurrentCpiFromDevice(CpiTarget(), FCurrentcpiindex, CurrentProfile());
  }
  if (FTearingDown) {
    return false;
  }
  device::BuildAndSendCpiUnit(CpiTarget(), FCPIUNIT, FCurrentcpiindex, CurrentProfile());
  return true;
}

void TTARNMONMAIN::InstallWheelHookRules() {
  uiHook1->StopHookMouse();
  uiHook1->RemoveAllMouseHookObject();
  const profile::TMOUSECONFIGINFO& Config = CurrentProfile().ConfigInfo;
  // A wheel direction left at its standard function needs no rule.
  const auto AddRule = [&](hook::TMouseButtons AButton, int ADirection, uint16_t AStandard) {
    const profile::TBUTTONFUNCINFO& Function = Config.VWheelButtonFuncInfo[ADirection];
    if (Function.nFunctionType == 1 && Function.nFunctionIndex == AStandard) {
      return false;
    }
    hook::TMouseHookDetail Detail;
    Detail.MouseButton = AButton;
    Detail.MouseStateSet = hook::StateBit(hook::MOUSEWHEEL);
    Detail.MouseStateToHook = hook::HOOK_DOWN;
    Detail.ModifiedFunction = hook::BUTTON_NONE;
    uiHook1->AddMouseHookObject(std::make_unique<hook::TMouseHookDetailObject>(Detail));
    return true;
  };
  const bool Up = AddRule(hook::WHEELUP, 0, 0);
  const bool Down = AddRule(hook::WHEELDOWN, 1, 1);
  if (Up || Down) {
    uiHook1->StartHookMouse();
  }
}

// ---- tray, menu and the information page ----

void TTARNMONMAIN::ShowConfigProgram() {
  if (FTearingDown) {
    return;
  }
  const platform::TWindowHandle Config = FDesktop.Session.FindTopLevelWindow(cConfigWindowClass);
  if (Config != 0) {
    // Never waits on the other program: a hung one would stop the monitor, its readers and the
    // mute button with it.
    FDesktop.Session.PostShowCommand(Config, platform::SW_SHOW_VALUE);
    FDesktop.Session.BringToForeground(Config);
    return;
  }
  const std::string Folder = FPlatform.Environment.ModuleFolder();
  FPlatform.Shell.Open(0, Folder + cConfigProgramFile, Folder, platform::SW_SHOW_VALUE);
}

void TTARNMONMAIN::TrayIconDblClick(rtl::TComponent*) {
  ShowConfigProgram();
}

void TTARNMONMAIN::Config1Click(rtl::TComponent*) {
  ShowConfigProgram();
}

void TTARNMONMAIN::Exit1Click(rtl::TComponent*) {
  if (FTearingDown) {
    return;
  }
  PostToConfigWindow(WM_CONFIG_EXIT, 0);
  FTearingDown = true;
  FDesktop.Loop.Quit(0);
}

void TTARNMONMAIN::About1Click(rtl::TComponent*) {
  FDesktop.Session.ShowWindowCommand(FWindowHandle, platform::SW_SHOW_VALUE);
  ProcessMessagesAndSleep50ms(FDesktop.MainThread, FPlatform.Clock);
  FDesktop.Session.BringToForeground(FWindowHandle);
}

void TTARNMONMAIN::BtnOKClick(rtl::TComponent*) {
  FDesktop.Session.ShowWindowCommand(FWindowHandle, platform::SW_HIDE_VALUE);
}

void TTARNMONMAIN::BtnCloseClick(rtl::TComponent*) {
  FDesktop.Session.ShowWindowCommand(FWindowHandle, platform::SW_HIDE_VALUE);
}

void TTARNMONMAIN::BtnGoWebClick(rtl::TComponent*) {
  FPlatform.Shell.Open(FWindowHandle, FWebAddress, "", platform::SW_SHOWNORMAL_VALUE);
}

void TTARNMONMAIN::ProcessMessageAndSleep10ms() {
  constexpr uint32_t cSleepMs = 10;
  FDesktop.MainThread.ProcessMessages();
  FPlatform.Clock.SleepMs(cSleepMs);
}

// ---- microphone mute ----

void TTARNMONMAIN::MicrophoneMute() {
  if (static_cast<int32_t>(FPlatform.Environment.OsVersion().Major) < cNtFamilyAudioEndpointMajor) {
    const bool Muted = MixerGetMute(cMixerMicrophone);
    MixerSetMute(cMixerMicrophone, !Muted);
    return;
  }
  try {
    // Since the last press the headset may have gone and come back, or the user may have
    // chosen another recording device: the press is for the one in use now.
    if (!FEndpoint || !FEndpoint->IsDefault()) {
      InitAudioEndpoint();
    }
    if (!FEndpoint) {
      return;
    }
    // An endpoint that fails (invalidated, or the audio service restarted) is opened afresh
    // once; what still cannot be read counts as not muted, so that the press mutes.
    bool Muted = false;
    if (FEndpoint->GetMute(Muted) != platform::S_OK_VALUE) {
      InitAudioEndpoint();
      if (!FEndpoint) {
        return;
      }
      Muted = false;
      FEndpoint->GetMute(Muted);
    }
    FEndpoint->SetMute(!Muted);
  } catch (...) {
    // A failing endpoint leaves the microphone as it was.
  }
}

void TTARNMONMAIN::InitAudioEndpoint() {
  try {
    ReleaseAudioEndpoint();
    uint32_t Error = 0;
    std::unique_ptr<platform::ICaptureEndpoint> Endpoint =
        FPlatform.Audio.OpenDefaultCaptureEndpoint(Error);
    if (!Endpoint) {
      return;
    }
    Endpoint->RegisterChangeNotify([this](bool) { FEndpointCallback.OnNotify(); });
    FEndpoint = std::move(Endpoint);
  } catch (...) {
    // No recording device, or the audio service refused: the next press tries again.
  }
}

void TTARNMONMAIN::ReleaseAudioEndpoint() {
  if (FEndpoint) {
    FEndpoint->UnregisterChangeNotify();
    FEndpoint.reset();
  }
}

std::unique_ptr<platform::IMixer> TTARNMONMAIN::OpenMixerMuteControl(uint8_t ASelector,
                                                                     uint32_t& AControl) {
  if (ASelector >= cMixerComponentTypes.size() || FPlatform.Audio.MixerDeviceCount() < 1) {
    return nullptr;
  }
  uint32_t Error = 0;
  std::unique_ptr<platform::IMixer> Mixer = FPlatform.Audio.OpenMixer(0, Error);
  uint32_t Line = 0;
  if (!Mixer || Mixer->GetLineByComponentType(cMixerComponentTypes[ASelector], Line) != 0) {
    return nullptr;
  }
  if (Mixer->GetLineControlByType(Line, cMixerMuteControlType, AControl) != 0) {
    ShowMixerError("GetLineInfo Error");
    return nullptr;
  }
  return Mixer;
}

void TTARNMONMAIN::ShowMixerError(const std::string& AText) {
  FPlatform.Dialogs.ShowMessageBox(AText, lang::TranslateText(cApplicationTitle),
                                   platform::TMessageBoxIcon::None);
}

bool TTARNMONMAIN::MixerGetMute(uint8_t ASelector) {
  // What cannot be read counts as not muted, so that the press mutes: a microphone left open
  // by a failed read is the worse outcome for the user.
  uint32_t Control = 0;
  const std::unique_ptr<platform::IMixer> Mixer = OpenMixerMuteControl(ASelector, Control);
  uint32_t Value = 0;
  return Mixer && Mixer->GetControlValue(Control, Value) == 0 && Value != 0;
}

void TTARNMONMAIN::MixerSetMute(uint8_t ASelector, bool AMute) {
  uint32_t Control = 0;
  const std::unique_ptr<platform::IMixer> Mixer = OpenMixerMuteControl(ASelector, Control);
  if (Mixer && Mixer->SetControlValue(Control, AMute ? 1 : 0) != 0) {
    ShowMixerError("SetControlDetails Error");
  }
}

// ---- helpers ----

device::TCpiTarget TTARNMONMAIN::CpiTarget() {
  return {*uiHIDData1, *uiSTDCommand1, FDesktop.MainThread, FPlatform.Clock};
}

profile::TMouseProfileInfo& TTARNMONMAIN::CurrentProfile() {
  return profile::DM()->CurrentProfileInfo();
}

// ---- the process ----

int32_t MonitorMain(const platform::TPlatform& APlatform) {
  platform::TPlatform Platform = APlatform;
  platform::INamedMutexes& Mutexes = Platform.Desktop;
  platform::IMessageLoop& Loop = Platform.Desktop;
  // A monitor already runs: end at once, silently.
  if (Mutexes.NamedMutexExists(cMutexName)) {
    return 0;
  }
  // Another start may have created it since the check: the one that created it runs.
  bool AlreadyExisted = false;
  const std::unique_ptr<platform::INamedMutex> Mutex =
      Mutexes.CreateNamedMutex(cMutexName, AlreadyExisted);
  if (AlreadyExisted) {
    return 0;
  }
  int32_t ExitCode = 0;
  platform::Guarded(Platform.Debug, "TARNMON", [&] {
    profile::TDM DataModule(nullptr, {Platform.Registry, Platform.Files, Platform.Environment,
                                      Platform.Clock, Platform.Locale, Platform.Dialogs});
    TTARNMONMAIN MainWindow(Platform);
    ExitCode = Loop.RunMessageLoop();
  });
  return ExitCode;
}

} // namespace app
