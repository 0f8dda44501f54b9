// TTARNMONMAIN: the monitor's main window. It has no face of its own: a hidden top-level
// window that the configuration program finds by its class, a tray icon with its menu, and
// an information page shown on demand. It reads the mouse's vendor reports and turns them
// into actions (microphone mute, hardware profile switches, resolution changes), keeps the
// filter driver's resolution table in step with the current profile, and answers the
// configuration program's reload messages.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/ConfigProgramProtocol.h"
#include "device/CpiUnit.h"
#include "device/uiStdCmd.h"
#include "hid/uiHIDData.h"
#include "hid/uiHIDEvent.h"
#include "hook/uiHook.h"
#include "lang/uiLanguage.h"
#include "platform/Platform.h"
#include "profile/ApplicationList.h"
#include "profile/ProfileRecords.h"
#include "rtl/Component.h"

namespace app {

// The window's own message: a button or a hardware profile switch the mouse reported.
inline constexpr uint32_t WM_MONITOR_DEVICE_EVENT = 7524;

inline constexpr const char* cApplicationTitle = "GAMING MOUSE MONITOR";
inline constexpr const char* cTrayHint = "GAMING MOUSE DRIVER";
// Below the executable's folder.
inline constexpr const char* cTrayIconFile = "images\\0409\\icons\\logo.ico";
// Shown on the information page when "config.ini" names no update or product website.
inline constexpr const char* cDefaultWebAddress = "http://www.gaming-mouse.example/";

// The tray menu's items, in menu order.
inline constexpr uint32_t cConfig1 = 1;
inline constexpr uint32_t cAbout1 = 2;
inline constexpr uint32_t cExit1 = 3;

// The window's timers.
inline constexpr uintptr_t cTimerDeviceArrial = 1;
inline constexpr uintptr_t cTimerToSetCurrentCpi = 2;
// Retries what the shell or the session services refused early at logon (the tray icon, the
// session notifications), waiting twice as long each time up to a minute.
inline constexpr uintptr_t cTimerShellRetry = 3;
// The program in front has stayed there long enough to switch to its game profile (passing
// through windows with Alt+Tab switches nothing).
inline constexpr uintptr_t cTimerForegroundSettle = 4;
inline constexpr uint32_t cForegroundSettleMs = 300;
// How long a new level or hardware profile stays on screen (when the profile asks for it).
inline constexpr uint32_t cNoticeMs = 1500;
inline constexpr uint32_t cDeviceArrialIntervalMs = 1500;
inline constexpr uint32_t cSetCurrentCpiIntervalMs = 100;
inline constexpr uint32_t cFirstShellRetryMs = 1000;
inline constexpr uint32_t cLastShellRetryMs = 60000;

// Device reports: identifiers, the payload length handled, and the status codes.
inline constexpr uint8_t cButtonReportID = 7;
inline constexpr uint8_t cStatusReportID = 8;
inline constexpr uint16_t cReportPayloadSize = 7;
inline constexpr uint8_t cStatusProfileSwitched = 1;
inline constexpr uint8_t cStatusCpiChanged = 2;
inline constexpr uint8_t cStatusDeviceEvent6 = 6;
inline constexpr uint8_t cStatusDeviceEvent7 = 7;
// wParam of the window's own device event: buttons 0..20, hardware profiles 21..25.
inline constexpr uintptr_t cLastButtonEvent = 20;
inline constexpr uintptr_t cFirstProfileEvent = 21;
inline constexpr uintptr_t cLastProfileEvent = 25;

// The mixer line of each selector, and the mute control's type.
inline constexpr std::array<uint32_t, 4> cMixerComponentTypes = {0x0004, 0x1003, 0x1008, 0x1004};
inline constexpr uint8_t cMixerMicrophone = 1;
inline constexpr uint32_t cMixerMuteControlType = 0x20010002;

// Entry j: report identifier 7, then the 24-bit mask 2^j, least significant byte first.
using TKeyReportEntry = std::array<uint8_t, 4>;
extern const std::array<TKeyReportEntry, 24> KeyReportTable;

struct TMonitorServices {
  platform::TPlatform Platform;
};

// The parts of the desktop the main window calls: all but the named mutexes, which only
// MonitorMain uses.
struct TMonitorDesktop {
  platform::IMessageWindows& Windows;
  platform::IMainThread& MainThread;
  platform::ISessionWindows& Session;
  platform::IMessageLoop& Loop;
  platform::ITrayAndInfoPage& TrayAndPage;
  platform::IForeground& Foreground;
  platform::INotice& Notice;

  static TMonitorDesktop Of(platform::IDesktop& ADesktop) {
    return {ADesktop, ADesktop, ADesktop, ADesktop, ADesktop, ADesktop, ADesktop};
  }
};

class TTARNMONMAIN;
// The process-wide main window; null before it is created and once it is going.
TTARNMONMAIN* TARNMONMAIN();

// The audio service's notification of a volume or mute change, raised on its own thread.
class TMyEndpointVolumeCallback {
public:
  int32_t OnNotify();
};

class TTARNMONMAIN : public rtl::TComponent {
public:
  // Creates the components in their order, then runs FormCreate.
  explicit TTARNMONMAIN(const platform::TPlatform& APlatform);
  // Runs FormDestroy (unless the end of the session ran it already).
  ~TTARNMONMAIN() override;
  TTARNMONMAIN(const TTARNMONMAIN&) = delete;
  TTARNMONMAIN& operator=(const TTARNMONMAIN&) = delete;
  std::string ClassName() const override { return "TTARNMONMAIN"; }
  rtl::TComponentRole Role() const override { return rtl::TComponentRole::Form; }

  // ---- published handlers ----
  void TrayIconDblClick(rtl::TComponent* Sender);
  void Config1Click(rtl::TComponent* Sender);
  void Exit1Click(rtl::TComponent* Sender);
  void About1Click(rtl::TComponent* Sender);
  void BtnOKClick(rtl::TComponent* Sender);
  void BtnCloseClick(rtl::TComponent* Sender);
  void BtnGoWebClick(rtl::TComponent* Sender);
  void FormCreate(rtl::TComponent* Sender);
  void FormDestroy(rtl::TComponent* Sender);
  void TimerDeviceArrialTimer(rtl::TComponent* Sender);
  void TimerToSetCurrentCpiTimer(rtl::TComponent* Sender);
  void uiHIDEvent1DeviceArrival(rtl::TComponent* Sender);
  void uiHIDData1Data(const std::string& ADeviceID, const std::string& ADevicePath,
                      uint8_t ReportID, const void* Data, uint16_t Size);
  // Handles every pending message of the main thread, then sleeps 10 ms.
  void ProcessMessageAndSleep10ms();
  void MicrophoneMute();
  bool VolumeUpdating() const { return FVolumeUpdating; }
  // From EXIT, a close request or the end of the session on: nothing starts reading, sends the
  // driver a table or tells the configuration program anything; the release is the last packet.
  bool TearingDown() const { return FTearingDown; }

  // ---- what the rest of the program and the tests look at ----
  platform::TWindowHandle WindowHandle() const { return FWindowHandle; }
  hid::TuiHIDData& HIDData() { return *uiHIDData1; }
  hid::TuiHIDEvent& HIDEvent() { return *uiHIDEvent1; }
  device::TuiSTDCommand& STDCommand() { return *uiSTDCommand1; }
  hook::TuiHook& Hook() { return *uiHook1; }
  lang::TuiLanguage& Language() { return *uiLanguage1; }
  const std::vector<std::string>& IncludeHidDeviceList() const { return FIncludeHidDeviceList; }
  int32_t CurrentCpiIndex() const { return FCurrentcpiindex; }
  const device::CPI_UNIT& CpiUnit() const { return FCPIUNIT; }
  bool EndpointPrepared() const { return FEndpoint != nullptr; }
  const std::string& WebAddress() const { return FWebAddress; }
  // Whether the monitor watches the window in front (some profile's switch is on).
  bool WatchingForeground() const { return FWatchingForeground; }

private:
  friend class TMyEndpointVolumeCallback;
  bool WndProc(platform::TWindowMessage& AMessage);
  void WMMonitorDeviceEvent(uintptr_t AWParam, intptr_t ALParam);
  void WMMonitorReloadProfiles();
  void WMMonitorReloadSettings();
  void ApplyLanguageAndCaptions();
  void ShowConfigProgram();
  void CheckDeviceAndStart();
  void RestartDeviceReading();
  // Reads the device's level and sends the current profile's table, unless the teardown began
  // while the read let messages through. False once it has.
  bool ReadAndSendCpiTable();
  void InstallWheelHookRules();
  // Shows the tray icon and registers for session changes; what the shell or the session
  // services refused is tried again on cTimerShellRetry.
  void ConnectToShell();
  void ExecuteKeyFunction(uint8_t AKeyIndex, uint16_t AFunctionIndex, uint8_t AParam);
  void InitAudioEndpoint();
  void ReleaseAudioEndpoint();
  // The first mixer device, open, with the mute control of the selector's line; null (and
  // the message for a line without a mute control) when there is none.
  std::unique_ptr<platform::IMixer> OpenMixerMuteControl(uint8_t ASelector, uint32_t& AControl);
  void ShowMixerError(const std::string& AText);
  bool MixerGetMute(uint8_t ASelector);
  void MixerSetMute(uint8_t ASelector, bool AMute);
  void RestartTimer(uintptr_t ATimer, uint32_t AIntervalMs);
  // The game profiles' application lists and switches, from the profile streams (read again
  // from the store first with AReload), and the foreground watched while any switch is on.
  void ReloadApplicationSwitches(bool AReload);
  // The game profile for the program in front: its list's, or the stored current one.
  int GameInFront();
  // Makes GameInFront current where the switch decides it (a switch on, or a profile chosen
  // by it before); with ASend the table and the wheel rules follow, as 7035 does.
  void ApplyGameInFront(bool ASend);
  // The new level or hardware profile on screen, where the current profile asks for it and
  // the configuration program is not open to show its own.
  void ShowLevelNotice(uint8_t ALevel);
  void ShowProfileNotice(uintptr_t AProfile);
  bool NoticeWanted();
  void PostToConfigWindow(uint32_t AMsg, uintptr_t AWParam);
  platform::TInfoPageTexts InfoPageTexts() const;
  device::TCpiTarget CpiTarget();
  profile::TMouseProfileInfo& CurrentProfile();

  // The main window calls the desktop through FDesktop only.
  platform::TPlatform FPlatform;
  TMonitorDesktop FDesktop;
  platform::TWindowHandle FWindowHandle = 0;
  bool FDestroyed = false;
  bool FTearingDown = false;
  bool FTrayShown = false;
  bool FSessionNotification = false;
  uint32_t FShellRetryMs = cFirstShellRetryMs;

  // ---- components, in their order ----
  lang::TuiLanguage* uiLanguage1 = nullptr;
  std::unique_ptr<platform::ITrayIcon> TrayIcon1;
  hid::TuiHIDData* uiHIDData1 = nullptr;
  hid::TuiHIDEvent* uiHIDEvent1 = nullptr;
  device::TuiSTDCommand* uiSTDCommand1 = nullptr;
  hook::TuiHook* uiHook1 = nullptr;

  // ---- fields ----
  std::vector<std::string> FIncludeHidDeviceList;
  int32_t FCurrentcpiindex = 0;
  device::CPI_UNIT FCPIUNIT{};
  std::unique_ptr<platform::ICaptureEndpoint> FEndpoint;
  TMyEndpointVolumeCallback FEndpointCallback;
  std::atomic<bool> FVolumeUpdating{false};
  std::string FWebAddress;
  // The store's current game profile, as last read; the switch by application goes back to it.
  int FStoredGame = 0;
  std::array<profile::TApplicationSwitch, profile::cGameProfileCount> FApplicationSwitches;
  bool FWatchingForeground = false;
  // The current profile was chosen by the program in front.
  bool FChosenByForeground = false;
};

// The process: a single instance, the data module before the main window, the message loop,
// and the mutex released at the end. The exit code of the loop (0 for a second instance).
int32_t MonitorMain(const platform::TPlatform& APlatform);

} // namespace app
