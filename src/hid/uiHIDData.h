// TuiHIDData: finds the mouse among the present HID interfaces and talks to it: one-shot
// report transfers, and reader threads that deliver input reports to the main thread. Every
// operation finds its device afresh; only readers hold a handle for longer.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "hid/UsageAndPage.h"
#include "platform/Dialogs.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/Hid.h"
#include "platform/MainThread.h"
#include "platform/MessageWindows.h"
#include "rtl/Component.h"
#include "rtl/Events.h"
#include "rtl/ManualResetEvent.h"
#include "rtl/Mutex.h"

namespace hid {

inline constexpr const char* cIncludeHIDDeviceListSection = "IncludeHIDDeviceList";
inline constexpr const char* cAnyListedDevice = "*";
inline constexpr int cUsageListSize = 100;

// One report as it travels to or from the device: ReportID and DATAReally form one
// 65536-byte buffer whose first byte is the report identifier.
struct THidReallyData {
  uint8_t ReportID;
  uint8_t DATAReally[65535];
  uint32_t DATASIZE;
};
static_assert(offsetof(THidReallyData, DATAReally) == 1);
static_assert(offsetof(THidReallyData, DATASIZE) == 65536);
static_assert(sizeof(THidReallyData) == 65540);

struct THIDDataParam {
  USAGE_AND_PAGE UsageAndPage{0, 0};
  std::string DeviceID;
  THidReallyData Data{};
  // The interface the last set-feature transfer used (closed by then); 0 when none.
  uint32_t DeviceHandle = 0;
};

using TuiHIDDataReceived =
    rtl::TMethodEvent<void(const std::string& ADeviceID, const std::string& ADevicePath,
                           uint8_t ReportID, const void* Data, uint16_t Size)>;
using TuiHIDParsedDataReceived =
    rtl::TMethodEvent<void(const std::string& ADeviceID, const std::string& ADevicePath,
                           uint8_t ReportID, uint32_t ButtonData)>;
using TuiHIDDeviceNotConnected =
    rtl::TMethodEvent<void(const std::string& ADeviceID, const std::string& ADevicePath)>;

// The stop signal of every reader of the process.
rtl::TManualResetEvent& DeviceStopEvent();

// Usages in APrevious but not in ACurrent go to ABreak, usages in ACurrent but not in
// APrevious to AMake; each list ends at its first zero or after ALength entries.
void UsageListDifference(const uint16_t* APrevious, const uint16_t* ACurrent, uint16_t* ABreak,
                         uint16_t* AMake, uint32_t ALength);

struct THidServices {
  platform::IHid& Hid;
  // Its hidden window, for the removal queries of the interfaces it reads.
  platform::IMessageWindows& Windows;
  // Readers hand their reports over to the main thread; a stop serves hand-overs meanwhile.
  platform::IMainThread& MainThread;
  platform::IFileSystem& Files;
  platform::IEnvironment& Environment;
  platform::IDebugOutput& Debug;
};

class TuiHIDData;

class TuiHidDeviceReadThread {
public:
  // Opens the interface, asks for the largest input report ring the platform keeps, and
  // starts reading at once (a failed open ends the reader quietly). AOpened sees the open
  // interface before the reading starts.
  TuiHidDeviceReadThread(TuiHIDData* AHIDData, const std::string& ADeviceID,
                         const std::string& ADevicePath,
                         const std::function<void(platform::IHidDevice&)>& AOpened = {});
  ~TuiHidDeviceReadThread();
  TuiHidDeviceReadThread(const TuiHidDeviceReadThread&) = delete;
  TuiHidDeviceReadThread& operator=(const TuiHidDeviceReadThread&) = delete;

  // Marks the reader and ends its wait; it leaves its loop after a delivery in progress.
  void Terminate();
  bool Finished() const { return FFinished; }
  std::thread::id ThreadId() const { return FThread.get_id(); }
  void WaitFor();
  const std::string& DevicePath() const { return FDevicePath; }
  int32_t InputReportLength() const { return FInputReportLength; }
  // The input report ring the platform granted; 0 when it kept its own.
  uint32_t InputBuffers() const { return FInputBuffers; }

  // Delivers the report just read to the owner's events.
  void DoData();
  // The first released button usage in the low half, else the first pressed one in the high
  // half, else 0.
  uint32_t ParseButtons();

private:
  void Execute();
  void ReadLoop();
  void Deliver();

  TuiHIDData* FHIDData;
  std::string FDeviceID;
  std::string FDevicePath;
  std::unique_ptr<platform::IHidDevice> FDevice;
  int32_t FInputReportLength = 0;
  int32_t FOutputReportLength = 0;
  uint32_t FInputBuffers = 0;
  uint32_t NumBytesRead = 0;
  std::vector<uint8_t> FReport;
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FFinished{false};
  // The reader's own stop: set by Terminate and whenever DeviceStopEvent is set, so that a
  // stop cannot be missed however briefly the shared event stays set.
  rtl::TManualResetEvent FStop;
  int FStopListener = 0;
  std::thread FThread;
};

class TuiHIDData : public rtl::TComponent {
public:
  TuiHIDData(rtl::TComponent* AOwner, const THidServices& AServices);
  ~TuiHIDData() override;
  std::string ClassName() const override { return "TuiHIDData"; }

  const std::vector<std::string>& GetHIDDeviceList() const { return FHidDeviceList; }
  void SetUsageAndPage(USAGE_AND_PAGE AUsageAndPage) { FUsageAndPage = AUsageAndPage; }
  USAGE_AND_PAGE GetUsageAndPage() const { return FUsageAndPage; }
  const std::string& DeviceID() const { return FDeviceID; }
  void SetDeviceID(const std::string& AValue) { FDeviceID = AValue; }
  const platform::TGuid& HidGuid() const { return FHidGuid; }

  bool FastOnData() const { return FFastOnData; }
  void SetFastOnData(bool AValue) { FFastOnData = AValue; }
  void SetOnData(TuiHIDDataReceived AValue) { FOnData = std::move(AValue); }
  void SetOnParsedData(TuiHIDParsedDataReceived AValue) { FOnParsedData = std::move(AValue); }
  void SetOnDeviceNotConnected(TuiHIDDeviceNotConnected AValue) {
    FOnDeviceNotConnected = std::move(AValue);
  }

  bool IsDeviceExist(const THIDDataParam& ReportData);
  bool HidFindAndWriteDevice(const THIDDataParam& ReportData);
  bool HidFindAndWriteDeviceBYHID(const THIDDataParam& ReportData);
  // 0 on success, else the platform's error; 1167 when no interface was served.
  uint32_t HidFindAndGetFeatureReport(THIDDataParam& ReportData);
  uint32_t HidFindAndSetFeatureReport(THIDDataParam& ReportData);

  // Starts a reader on every interface the reading rule selects.
  void HidFindAndReadDevice(USAGE_AND_PAGE UsageAndPage, const std::string& HIDID);
  // Stops every reader. On the main thread it returns when each has ended (hand-overs keep
  // being served while it waits, so a reader in the middle of a delivery finishes it first),
  // except a reader whose delivery is on this thread's stack: that one is marked, ends when
  // its handler returns, and is reclaimed later. Off the main thread (a handler running on a
  // reader) it marks every reader and returns; the readers end on their own.
  void HidStopRead();
  int RunningReaders() const;
  // Readers' handles the platform tells about before their device goes.
  int WatchedHandles() const;

private:
  friend class TuiHidDeviceReadThread;
  enum class TSelectionRule { Transfers, Reading, ByUsage };
  using TAccept = std::function<bool(const platform::THidCaps&)>;
  using TAct = std::function<void(platform::IHidDevice&, const platform::THidInterfaceInfo&)>;
  void EnumerateMatchingInterfaces(USAGE_AND_PAGE AUsageAndPage, const std::string& ADeviceID,
                                   TSelectionRule ARule, bool AOverlapped, const TAccept& AAccept,
                                   const TAct& AAct);
  bool Selected(const platform::THidInterfaceInfo& AInfo, const std::string& ADeviceID,
                TSelectionRule ARule) const;
  // Main thread: joins and frees the readers that have ended, keeping the others in order.
  void ReclaimFinishedReaders();
  // Starts a reader on the interface and asks to be told before its device goes.
  void StartReader(const std::string& ADeviceID, const std::string& ADevicePath);
  bool WndProc(platform::TWindowMessage& AMessage);
  // A handle notification: the answer to the device-change message.
  intptr_t RemovalEvent(uintptr_t AEvent, uintptr_t ARegistration);
  bool ReaderRunning(const TuiHidDeviceReadThread* AReader) const MONITOR_REQUIRES(FReadersLock);
  void ForgetWatch(std::size_t AIndex) MONITOR_REQUIRES(FReadersLock);

  THidServices FServices;
  USAGE_AND_PAGE FUsageAndPage{0, 0};
  std::string FDeviceID;
  platform::TGuid FHidGuid;
  std::vector<std::string> FHidDeviceList;
  TuiHIDDataReceived FOnData;
  TuiHIDParsedDataReceived FOnParsedData;
  TuiHIDDeviceNotConnected FOnDeviceNotConnected;
  TuiHIDDataReceived FOnFastData;
  std::atomic<bool> FFastOnData{false};
  // Guards the list itself: a handler on a reader may stop the readers too.
  mutable rtl::TMutex FReadersLock;
  std::vector<std::unique_ptr<TuiHidDeviceReadThread>> FReaders MONITOR_GUARDED_BY(FReadersLock);
  // A reader's handle notification. The platform asks before the device goes (a device
  // manager's disable, a driver update): the reader is stopped and its handle closed, so that
  // the removal is not refused; it reads again on the interface when the removal fails, and
  // the notification is forgotten once the device went.
  struct TRemovalWatch {
    uintptr_t Registration = 0;
    std::string DeviceID;
    std::string DevicePath;
    // The reader on the registered handle; null once it was stopped for a removal.
    const TuiHidDeviceReadThread* Reader = nullptr;
    bool Removing = false;
  };
  std::vector<TRemovalWatch> FRemovalWatches MONITOR_GUARDED_BY(FReadersLock);
  platform::TWindowHandle FWindow = 0;
};

} // namespace hid
