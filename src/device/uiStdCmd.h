// TuiSTDCommand: the control path to the mouse's filter driver through its device object:
// a synchronous control exchange (DeviceRW), a monitor of two workers that keep one control
// read outstanding and hand each answer to OnDataReceived, an automatic restart 1500 ms
// after the device arrives or goes, and the driver description from "config.ini"; with it,
// the presence of configured HID devices and the filter driver's installation on the
// mouse's device node and its removal.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "hid/uiHIDEvent.h"
#include "platform/Clock.h"
#include "platform/DeviceSetup.h"
#include "platform/Dialogs.h"
#include "platform/Driver.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/Guid.h"
#include "platform/MainThread.h"
#include "platform/MessageWindows.h"
#include "platform/Platform.h"
#include "platform/Services.h"
#include "platform/Shell.h"
#include "platform/SystemInfo.h"
#include "rtl/Component.h"
#include "rtl/Events.h"
#include "rtl/ManualResetEvent.h"
#include "rtl/Mutex.h"

namespace device {

// The driver description, section "DEVICE" of "config.ini".
struct TDriverInfo {
  std::string InfFileName = "usbkmfx00001.inf";
  std::string FileName = "usbkmfx00001.sys";
  std::string ServiceName = "usbkmfx00001";
  std::string ServiceNamex86 = "usbkmfx00001";
  std::string ServiceNamex64 = "usbkmfx00001";
  std::string DeviceName = "usbkmfx00001";
  int32_t WHQL = 0;
  int32_t X32WHQL = 0;
  int32_t UpperFilter = 0;
};

inline constexpr uint32_t cDeviceNotOpened = 21;
inline constexpr int32_t cMonitorBufferSize = 10241;
inline constexpr uint32_t cRestartMonitorDelayMs = 1500;
// The driver packages beside the executable, and the tool that installs them.
inline constexpr const char* cPackageFolder64 = "DRIVERX64\\";
inline constexpr const char* cPackageFolder32 = "DRIVERX86\\";
inline constexpr const char* cPackageFolderXP64 = "XP64\\";
inline constexpr const char* cPackageTool = "DIFxCmd.exe";
inline constexpr const char* cDriverFolder = "\\System32\\Drivers\\";
// The HID device setup class.
inline constexpr platform::TGuid cHidSetupClass{
    0x745A17A0, 0x74D3, 0x11D0, {0xB6, 0xFE, 0x00, 0xA0, 0xC9, 0x0F, 0x57, 0xDA}};

using TDataReceivedEvent = rtl::TMethodEvent<void(const void* Buffer, uint32_t BufferSize)>;

struct TStdCommandServices {
  platform::IDriverDevices& Drivers;
  // Its hidden windows: the deferred restarts with their timer, and the arrival notifier.
  platform::IMessageWindows& Windows;
  // The main thread, whose hand-overs are served while a worker is waited for.
  platform::IMainThread& MainThread;
  platform::IFileSystem& Files;
  platform::IEnvironment& Environment;
  platform::IDebugOutput& Debug;
  // Device presence and the driver's installation.
  platform::IDeviceSetup& Devices;
  platform::IServiceControl& Services;
  platform::IShell& Shell;
  platform::ISystemInfo& System;
  platform::IClock& Clock;

  // The ones of a process's platform.
  static TStdCommandServices Of(const platform::TPlatform& APlatform) {
    return {APlatform.Drivers,     APlatform.Desktop, APlatform.Desktop, APlatform.Files,
            APlatform.Environment, APlatform.Debug,   APlatform.Devices, APlatform.Services,
            APlatform.Shell,       APlatform.System,  APlatform.Clock};
  }
};

// A restartable worker thread: terminated until started, and after Terminate.
class TWorkerThread {
public:
  ~TWorkerThread();
  // Main thread; a previous run must have ended or be ending.
  void Start(std::function<void(TWorkerThread&)> ARun);
  void Terminate() { FTerminated = true; }
  bool Terminated() const { return FTerminated; }
  // Main thread: true while the worker waits for a hand-over running on this thread's stack.
  bool WaitsForThisThread(platform::IMainThread& AMainThread) const;
  // Main thread: marks the worker and waits for it, serving hand-overs meanwhile; a worker
  // that waits for this thread is only marked and ends after its handler returns.
  void TerminateAndWaitFor(platform::IMainThread& AMainThread);

private:
  std::atomic<bool> FTerminated{true};
  std::atomic<bool> FFinished{true};
  std::thread FThread;
};

class TuiSTDCommand : public rtl::TComponent {
public:
  TuiSTDCommand(rtl::TComponent* AOwner, const TStdCommandServices& AServices);
  ~TuiSTDCommand() override;
  std::string ClassName() const override { return "TuiSTDCommand"; }

  const std::vector<std::string>& GetHIDDeviceList() const { return FHidDeviceList; }
  const std::vector<std::string>& GetUSBDeviceList() const { return FUsbDeviceList; }
  const TDriverInfo& DriverInfo() const { return FDriverInfo; }
  const std::string& DevicePath() const { return FDevicePath; }

  // ABuffer goes to the driver and comes back; 21 when the device object cannot be opened.
  uint32_t DeviceRW(void* Buffer, int32_t Count, uint32_t IoControlCode);

  // Hardware-id matching against the configured lists, without regard to case and whole
  // ids only. Each call sorts its list in place.
  bool HardwareIdsInConfigUsbList(const std::vector<std::string>& strHardwareIDs);
  bool HardwareIdsInConfigHidList(const std::vector<std::string>& strHardwareIDs);
  // A present node of the HID setup class has a hardware id of "devicelist".
  bool IsHIDDeviceExist();
  // A present node of the HID setup class has this hardware id, without regard to case.
  bool ISHIDDeviceExist(const std::string& VidPid);
  // Installs the filter driver on every present node with a hardware id of "usbdevicelist"
  // (Install), or removes it; blocks while the package tool runs. Other filters of the node
  // stay as they are.
  void HidInstallDriver(bool Install);

  // The report lengths are bounded by the workers' 10241-byte buffers: larger values are
  // clamped to them, negative ones to 0.
  void SetDeviceInitData(const void* DeviceInitData, uint32_t DeviceInitDataSize,
                         uint32_t DeviceInitIoControlCode, uint32_t ReadIoControlCode,
                         int32_t AInputReportLength, int32_t AOutputReportLength);
  void SetMonitorData();
  void SetMonitorData(const void* DeviceInitData, uint32_t DeviceInitDataSize,
                      uint32_t DeviceInitIoControlCode, uint32_t ReadIoControlCode,
                      int32_t AInputReportLength, int32_t AOutputReportLength);
  void StartMonitorDevice() { RestartMonitor(true); }
  void StopMonitorDevice() { RestartMonitor(false); }
  bool Active() const { return FActive; }

  bool IsDeviceExist();

  void SetOnDeviceArrialEvent(rtl::TNotifyEvent AValue) { FOnDeviceArrial = std::move(AValue); }
  void SetOnDeviceRemovalEvent(rtl::TNotifyEvent AValue) { FOnDeviceRemoval = std::move(AValue); }
  void SetOnDataReceived(TDataReceivedEvent AValue) { FDataReceivedEvent = std::move(AValue); }
  uint32_t ReadIOCode() const { return FReadIOCode; }
  void SetReadIOCode(uint32_t AValue) { FReadIOCode = AValue; }
  uint32_t WriteIOCode() const { return FWriteIOCode; }
  void SetWriteIOCode(uint32_t AValue) { FWriteIOCode = AValue; }
  uint32_t DeviceDataInitIOCode() const { return FDeviceDataInitIOCode; }
  void SetDeviceDataInitIOCode(uint32_t AValue) { FDeviceDataInitIOCode = AValue; }
  int32_t InputReportLength() const { return FInputReportLength; }
  int32_t OutputReportLength() const { return FOutputReportLength; }

  hid::TuiHIDEvent& HIDEvent() { return *FHIDEvent; }
  bool WorkerRunning(int AWorker) const;

private:
  bool Is64BitWindows();
  bool IsWindowsXP64();
  bool DeviceHasProblem(platform::IDeviceNodeList& ANodes, uint32_t ANode);
  std::vector<std::string> GetDeviceRegistryStrings(platform::IDeviceNodeList& ANodes,
                                                    uint32_t ANode,
                                                    platform::TDeviceProperty AProperty);
  void RunDriverPackageTool(bool Install);
  bool InstallDriverByCopy(platform::IDeviceNodeList& ANodes, uint32_t ANode);
  bool UninstallDriverByService(platform::IDeviceNodeList& ANodes, uint32_t ANode);
  bool ConfigureDriverService(bool Install, const std::string& ServiceName,
                              const std::string& BinaryPath);
  // The driver's service does not exist (1060), or its deletion is under way (1072): only what
  // the service manager says counts.
  bool DriverServiceGoing();
  // Restarts the node's stack so that it is built with its lists as they are now.
  void RestartDeviceNode(platform::IDeviceNodeList& ANodes, uint32_t ANode);
  // The node's filter list that holds the driver, and the whole path of the driver file.
  platform::TDeviceProperty FilterProperty() const;
  std::string DriverTarget();
  // Calls AMatch with the hardware ids of each present node of the HID setup class until it
  // answers true; false when none does or the nodes cannot be listed.
  template <class TMatch> bool AnyPresentNode(TMatch AMatch);

  void RestartMonitor(bool AStart);
  // The restart proper, on the main thread with neither worker waiting for it.
  void RestartMonitorNow(bool AStart);
  void RunWorker(int AWorker, TWorkerThread& AThread);
  void MonitorRun(int AWorker, TWorkerThread& AThread);
  // 0, or the failure that ends the worker; ABytes is what the driver returned.
  uint32_t ControlReadCycle(std::vector<uint8_t>& AInput, std::vector<uint8_t>& AOutput,
                            uint32_t& ABytes);
  bool OpenReadSide() MONITOR_EXCLUDES(FReadSideLock);
  void CloseReadSide() MONITOR_EXCLUDES(FReadSideLock);
  std::shared_ptr<platform::IDriverHandle> ReadSide() MONITOR_EXCLUDES(FReadSideLock);
  void HIDEventDeviceArrival(rtl::TComponent* Sender);
  void HIDEventDeviceRemove(rtl::TComponent* Sender);
  void RestartTimer();
  bool TimerWindowProc(platform::TWindowMessage& AMessage);
  void StopWorkers();

  TStdCommandServices FServices;
  rtl::TMutex FReadSideLock;
  std::shared_ptr<platform::IDriverHandle> FHidOverlappedRead MONITOR_GUARDED_BY(FReadSideLock);
  std::string FDevicePath;
  int32_t FInputReportLength = 0;
  int32_t FOutputReportLength = 0;
  std::atomic<bool> FActive{false};
  std::vector<std::string> FHidDeviceList;
  std::vector<std::string> FUsbDeviceList;
  uint32_t FReadIOCode = 0;
  uint32_t FWriteIOCode = 0;
  uint32_t FDeviceDataInitIOCode = 0;
  rtl::TManualResetEvent FGlobalEvent;
  rtl::TManualResetEvent FGlobalDataEvent1;
  rtl::TManualResetEvent FGlobalDataEvent2;
  std::vector<uint8_t> FDeviceInitData;
  platform::TWindowHandle FTimerWindow = 0;
  platform::TGuid FUSBGuid = cHidSetupClass;
  TDriverInfo FDriverInfo;
  TWorkerThread FIdThreadComponentGetData1;
  TWorkerThread FIdThreadComponentGetData2;
  hid::TuiHIDEvent* FHIDEvent = nullptr;
  rtl::TNotifyEvent FOnDeviceArrial;
  rtl::TNotifyEvent FOnDeviceRemoval;
  TDataReceivedEvent FDataReceivedEvent;
};

} // namespace device
