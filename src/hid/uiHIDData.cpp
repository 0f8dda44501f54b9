#include "hid/uiHIDData.h"

#include <algorithm>

#include "platform/ConfigFile.h"
#include "platform/Guarded.h"
#include "platform/SysError.h"
#include "platform/WindowMessages.h"

namespace hid {

namespace {

constexpr const char* cReaderStartText = "TuiHidDeviceReadThread start ++++++++++++++++";
constexpr const char* cDeviceNotConnectedText = "ERROR_DEVICE_NOT_CONNECTED++++++++++++++++";
constexpr const char* cReaderExceptionText = "TuiHidDeviceReadThread";
constexpr std::size_t cReportBufferSize = 65536;
// A read that fails at once with an unexpected error is retried after this pause, so that a
// persistent failure cannot spin the reader.
constexpr uint32_t cRetryPauseMs = 10;

// The usages of the previous report, shared by every reader of the process.
struct TPreviousUsages {
  rtl::TMutex Lock;
  uint16_t List[cUsageListSize] MONITOR_GUARDED_BY(Lock) = {};
};

TPreviousUsages& PreviousUsageList() {
  static TPreviousUsages Instance;
  return Instance;
}

bool Contains(const uint16_t* AList, uint32_t ALength, uint16_t AUsage) {
  for (uint32_t I = 0; I < ALength && AList[I] != 0; ++I) {
    if (AList[I] == AUsage) {
      return true;
    }
  }
  return false;
}

// Appends the usages of AFrom missing from AOther to AOut.
void Missing(const uint16_t* AFrom, const uint16_t* AOther, uint16_t* AOut, uint32_t ALength) {
  uint32_t Out = 0;
  for (uint32_t I = 0; I < ALength && AFrom[I] != 0; ++I) {
    if (!Contains(AOther, ALength, AFrom[I])) {
      AOut[Out++] = AFrom[I];
    }
  }
}

} // namespace

rtl::TManualResetEvent& DeviceStopEvent() {
  static rtl::TManualResetEvent Event;
  return Event;
}

void UsageListDifference(const uint16_t* APrevious, const uint16_t* ACurrent, uint16_t* ABreak,
                         uint16_t* AMake, uint32_t ALength) {
  std::fill(ABreak, ABreak + ALength, uint16_t{0});
  std::fill(AMake, AMake + ALength, uint16_t{0});
  Missing(APrevious, ACurrent, ABreak, ALength);
  Missing(ACurrent, APrevious, AMake, ALength);
}

// ---- TuiHIDData ----

TuiHIDData::TuiHIDData(rtl::TComponent* AOwner, const THidServices& AServices)
    : rtl::TComponent(AOwner), FServices(AServices) {
  DeviceStopEvent().Reset();
  FHidGuid = FServices.Hid.HidGuid();
  FHidDeviceList = platform::LoadConfigFile(FServices.Files, FServices.Environment)
                       .ReadIdList(cIncludeHIDDeviceListSection);
  FFastOnData = false;
  FWindow = FServices.Windows.CreateHiddenWindow(
      [this](platform::TWindowMessage& AMessage) { return WndProc(AMessage); });
}

TuiHIDData::~TuiHIDData() {
  HidStopRead();
  {
    rtl::TLockGuard Guard(FReadersLock);
    while (!FRemovalWatches.empty()) {
      ForgetWatch(FRemovalWatches.size() - 1);
    }
  }
  if (FWindow != 0) {
    FServices.Windows.DestroyHiddenWindow(FWindow);
  }
}

bool TuiHIDData::Selected(const platform::THidInterfaceInfo& AInfo, const std::string& ADeviceID,
                          TSelectionRule ARule) const {
  const auto Has = [&AInfo](const std::string& AId) {
    return std::any_of(
        AInfo.HardwareIds.begin(), AInfo.HardwareIds.end(),
        [&AId](const std::string& AHardwareId) { return rtl::SameText(AHardwareId, AId); });
  };
  const bool Listed = std::any_of(FHidDeviceList.begin(), FHidDeviceList.end(), Has);
  const bool Named = !ADeviceID.empty() && Has(ADeviceID);
  switch (ARule) {
  case TSelectionRule::Transfers:
    if (!ADeviceID.empty() && ADeviceID != cAnyListedDevice) {
      return Named;
    }
    return FHidDeviceList.empty() || Listed;
  case TSelectionRule::Reading:
    if (FHidDeviceList.empty()) {
      return true;
    }
    return ADeviceID == cAnyListedDevice ? Listed : Named;
  case TSelectionRule::ByUsage:
    return true;
  }
  return false;
}

void TuiHIDData::EnumerateMatchingInterfaces(USAGE_AND_PAGE AUsageAndPage,
                                             const std::string& ADeviceID, TSelectionRule ARule,
                                             bool AOverlapped, const TAccept& AAccept,
                                             const TAct& AAct) {
  for (const platform::THidInterfaceInfo& Info : FServices.Hid.EnumerateInterfaces(FHidGuid)) {
    if (!Selected(Info, ADeviceID, ARule)) {
      continue;
    }
    uint32_t Error = 0;
    const std::unique_ptr<platform::IHidDevice> Device =
        FServices.Hid.Open(Info.DevicePath, AOverlapped, Error);
    platform::THidAttributes Attributes;
    platform::THidCaps Caps;
    if (!Device || !Device->GetAttributes(Attributes) || !Device->GetCaps(Caps) ||
        Caps.UsagePage != AUsageAndPage.UsagePage || Caps.Usage != AUsageAndPage.Usage ||
        (AAccept && !AAccept(Caps))) {
      continue;
    }
    AAct(*Device, Info);
  }
}

bool TuiHIDData::IsDeviceExist(const THIDDataParam& ReportData) {
  bool Exists = false;
  EnumerateMatchingInterfaces(
      ReportData.UsageAndPage, ReportData.DeviceID, TSelectionRule::Transfers, false, nullptr,
      [&Exists](platform::IHidDevice&, const platform::THidInterfaceInfo&) { Exists = true; });
  return Exists;
}

bool TuiHIDData::HidFindAndWriteDevice(const THIDDataParam& ReportData) {
  bool Written = false;
  const uint32_t Size = ReportData.Data.DATASIZE;
  EnumerateMatchingInterfaces(
      ReportData.UsageAndPage, ReportData.DeviceID, TSelectionRule::Transfers, false,
      [Size](const platform::THidCaps& ACaps) { return ACaps.OutputReportByteLength >= Size; },
      [&](platform::IHidDevice& ADevice, const platform::THidInterfaceInfo&) {
        if (ADevice.Write(&ReportData.Data.ReportID, Size + 1) == platform::SysError::Success) {
          Written = true;
        }
      });
  return Written;
}

bool TuiHIDData::HidFindAndWriteDeviceBYHID(const THIDDataParam& ReportData) {
  bool Written = false;
  const uint32_t Size = ReportData.Data.DATASIZE;
  EnumerateMatchingInterfaces(
      ReportData.UsageAndPage, ReportData.DeviceID, TSelectionRule::ByUsage, false,
      [Size](const platform::THidCaps& ACaps) { return ACaps.OutputReportByteLength >= Size; },
      [&](platform::IHidDevice& ADevice, const platform::THidInterfaceInfo&) {
        if (ADevice.Write(&ReportData.Data.ReportID, Size) == platform::SysError::Success) {
          Written = true;
        }
      });
  return Written;
}

uint32_t TuiHIDData::HidFindAndGetFeatureReport(THIDDataParam& ReportData) {
  uint32_t Result = platform::SysError::DeviceNotConnected;
  const uint32_t Size = ReportData.Data.DATASIZE;
  std::vector<uint8_t> Buffer;
  EnumerateMatchingInterfaces(
      ReportData.UsageAndPage, ReportData.DeviceID, TSelectionRule::Transfers, false,
      [Size](const platform::THidCaps& ACaps) { return ACaps.FeatureReportByteLength >= Size; },
      [&](platform::IHidDevice& ADevice, const platform::THidInterfaceInfo&) {
        Buffer.assign(cReportBufferSize, 0);
        Buffer[0] = ReportData.Data.ReportID;
        Result = ADevice.GetFeature(Buffer.data(), Size);
        if (Result == platform::SysError::Success && Size > 0) {
          ReportData.Data.ReportID = Buffer[0];
          std::copy_n(Buffer.begin() + 1, Size - 1, ReportData.Data.DATAReally);
        }
      });
  return Result;
}

uint32_t TuiHIDData::HidFindAndSetFeatureReport(THIDDataParam& ReportData) {
  uint32_t Result = platform::SysError::DeviceNotConnected;
  const uint32_t Size = ReportData.Data.DATASIZE;
  EnumerateMatchingInterfaces(
      ReportData.UsageAndPage, ReportData.DeviceID, TSelectionRule::Transfers, false,
      [Size](const platform::THidCaps& ACaps) { return ACaps.FeatureReportByteLength >= Size; },
      [&](platform::IHidDevice& ADevice, const platform::THidInterfaceInfo&) {
        ReportData.DeviceHandle = ADevice.HandleValue();
        Result = ADevice.SetFeature(&ReportData.Data.ReportID, Size);
      });
  return Result;
}

void TuiHIDData::ReclaimFinishedReaders() {
  std::vector<std::unique_ptr<TuiHidDeviceReadThread>> Ended;
  {
    rtl::TLockGuard Guard(FReadersLock);
    std::vector<std::unique_ptr<TuiHidDeviceReadThread>> Running;
    for (auto& Reader : FReaders) {
      (Reader->Finished() ? Ended : Running).push_back(std::move(Reader));
    }
    FReaders = std::move(Running);
    // A reader stopped for a removal keeps its notification, to hear whether the removal
    // failed; any other ended reader's notification is of no more use.
    for (std::size_t I = FRemovalWatches.size(); I-- > 0;) {
      TRemovalWatch& Watch = FRemovalWatches[I];
      if (Watch.Reader != nullptr && !ReaderRunning(Watch.Reader)) {
        Watch.Reader = nullptr;
        if (!Watch.Removing) {
          ForgetWatch(I);
        }
      }
    }
  }
  // Joined outside the lock; each has left its loop, so the joins return at once.
  Ended.clear();
}

void TuiHIDData::HidFindAndReadDevice(USAGE_AND_PAGE UsageAndPage, const std::string& HIDID) {
  ReclaimFinishedReaders();
  EnumerateMatchingInterfaces(
      UsageAndPage, HIDID, TSelectionRule::Reading, true, nullptr,
      [this](platform::IHidDevice&, const platform::THidInterfaceInfo& AInfo) {
        StartReader(AInfo.HardwareIds.empty() ? std::string() : AInfo.HardwareIds[0],
                    AInfo.DevicePath);
      });
}

void TuiHIDData::StartReader(const std::string& ADeviceID, const std::string& ADevicePath) {
  uintptr_t Registration = 0;
  auto Reader = std::make_unique<TuiHidDeviceReadThread>(
      this, ADeviceID, ADevicePath, [this, &Registration](platform::IHidDevice& ADevice) {
        if (FWindow != 0) {
          Registration = FServices.Hid.RegisterRemovalNotification(FWindow, ADevice);
        }
      });
  rtl::TLockGuard Guard(FReadersLock);
  if (Registration != 0) {
    FRemovalWatches.push_back({Registration, ADeviceID, ADevicePath, Reader.get(), false});
  }
  FReaders.push_back(std::move(Reader));
}

bool TuiHIDData::ReaderRunning(const TuiHidDeviceReadThread* AReader) const {
  return std::any_of(FReaders.begin(), FReaders.end(), [AReader](const auto& AItem) {
    return AItem.get() == AReader && !AItem->Finished();
  });
}

void TuiHIDData::ForgetWatch(std::size_t AIndex) {
  FServices.Hid.UnregisterRemovalNotification(FRemovalWatches[AIndex].Registration);
  FRemovalWatches.erase(FRemovalWatches.begin() + static_cast<std::ptrdiff_t>(AIndex));
}

bool TuiHIDData::WndProc(platform::TWindowMessage& AMessage) {
  if (AMessage.Msg != platform::WM_DEVICECHANGE_MESSAGE || AMessage.LParam == 0 ||
      AMessage.LParam == -1) {
    return false;
  }
  const auto* Header = reinterpret_cast<const platform::TDevBroadcastHeader*>(AMessage.LParam);
  if (Header->dbch_devicetype != platform::DBT_DEVTYP_HANDLE_VALUE) {
    return false;
  }
  const uintptr_t Registration =
      reinterpret_cast<const platform::TDevBroadcastHandle*>(AMessage.LParam)->dbch_hdevnotify;
  AMessage.Result = 1;
  // A failing step must not unwind through the platform's window procedure; a query is then
  // answered as far as the handle is concerned.
  platform::Guarded(FServices.Debug, "TuiHIDData",
                    [&] { AMessage.Result = RemovalEvent(AMessage.WParam, Registration); });
  return true;
}

intptr_t TuiHIDData::RemovalEvent(uintptr_t AEvent, uintptr_t ARegistration) {
  const auto Find = [this, ARegistration]() MONITOR_REQUIRES(FReadersLock) -> TRemovalWatch* {
    for (TRemovalWatch& Watch : FRemovalWatches) {
      if (Watch.Registration == ARegistration) {
        return &Watch;
      }
    }
    return nullptr;
  };
  constexpr intptr_t Allow = 1;
  switch (AEvent) {
  case platform::DBT_DEVICEQUERYREMOVE_VALUE: {
    // The handle must be closed before this returns. A reader whose delivery is on this
    // thread's stack cannot end now: it keeps its handle and reads on, and the removal is
    // refused.
    platform::IMainThread& MainThread = FServices.MainThread;
    const TuiHidDeviceReadThread* Reader = nullptr;
    {
      rtl::TLockGuard Guard(FReadersLock);
      TRemovalWatch* Watch = Find();
      if (Watch == nullptr || Watch->Reader == nullptr) {
        return Allow;
      }
      for (const auto& Item : FReaders) {
        if (Item.get() == Watch->Reader) {
          if (MainThread.RunningHandOverFrom(Item->ThreadId())) {
            return platform::BROADCAST_QUERY_DENY_VALUE;
          }
          Item->Terminate();
        }
      }
      Watch->Removing = true;
      Reader = Watch->Reader;
    }
    platform::WaitServingHandOvers(MainThread, [&] {
      rtl::TLockGuard Guard(FReadersLock);
      return !ReaderRunning(Reader);
    });
    ReclaimFinishedReaders();
    return Allow;
  }
  case platform::DBT_DEVICEQUERYREMOVEFAILED_VALUE: {
    std::string DeviceID;
    std::string DevicePath;
    {
      rtl::TLockGuard Guard(FReadersLock);
      TRemovalWatch* Watch = Find();
      if (Watch == nullptr || !Watch->Removing) {
        return Allow;
      }
      DeviceID = Watch->DeviceID;
      DevicePath = Watch->DevicePath;
      ForgetWatch(static_cast<std::size_t>(Watch - FRemovalWatches.data()));
    }
    // The device stays: read it again, on a handle of its own.
    StartReader(DeviceID, DevicePath);
    return Allow;
  }
  case platform::DBT_DEVICEREMOVEPENDING_VALUE:
  case platform::DBT_DEVICEREMOVECOMPLETE_VALUE: {
    // The device went. A reader still on it sees its reads fail and reports the loss.
    rtl::TLockGuard Guard(FReadersLock);
    if (TRemovalWatch* Watch = Find()) {
      ForgetWatch(static_cast<std::size_t>(Watch - FRemovalWatches.data()));
    }
    return Allow;
  }
  default:
    return Allow;
  }
}

void TuiHIDData::HidStopRead() {
  platform::IMainThread& MainThread = FServices.MainThread;
  DeviceStopEvent().Set();
  {
    rtl::TLockGuard Guard(FReadersLock);
    for (const auto& Reader : FReaders) {
      Reader->Terminate();
    }
    // Nothing reads again when a removal fails after a stop.
    for (std::size_t I = FRemovalWatches.size(); I-- > 0;) {
      FRemovalWatches[I].Removing = false;
      if (FRemovalWatches[I].Reader == nullptr) {
        ForgetWatch(I);
      }
    }
  }
  if (MainThread.IsMainThread()) {
    // A reader waiting for this thread to run its delivery is never waited for.
    platform::WaitServingHandOvers(MainThread, [this, &MainThread] {
      rtl::TLockGuard Guard(FReadersLock);
      return std::none_of(FReaders.begin(), FReaders.end(), [&MainThread](const auto& AReader) {
        return !AReader->Finished() && !MainThread.RunningHandOverFrom(AReader->ThreadId());
      });
    });
    ReclaimFinishedReaders();
  }
  DeviceStopEvent().Reset();
}

int TuiHIDData::WatchedHandles() const {
  rtl::TLockGuard Guard(FReadersLock);
  return static_cast<int>(FRemovalWatches.size());
}

int TuiHIDData::RunningReaders() const {
  rtl::TLockGuard Guard(FReadersLock);
  return static_cast<int>(std::count_if(FReaders.begin(), FReaders.end(),
                                        [](const auto& AReader) { return !AReader->Finished(); }));
}

// ---- TuiHidDeviceReadThread ----

TuiHidDeviceReadThread::TuiHidDeviceReadThread(
    TuiHIDData* AHIDData, const std::string& ADeviceID, const std::string& ADevicePath,
    const std::function<void(platform::IHidDevice&)>& AOpened)
    : FHIDData(AHIDData), FDeviceID(ADeviceID), FDevicePath(ADevicePath) {
  uint32_t Error = 0;
  FDevice = FHIDData->FServices.Hid.Open(FDevicePath, true, Error);
  platform::THidCaps Caps;
  if (FDevice && FDevice->GetCaps(Caps)) {
    FInputReportLength = Caps.InputReportByteLength;
    FOutputReportLength = Caps.OutputReportByteLength;
  }
  if (FDevice) {
    // Reports keep coming while a delivery waits for the main thread: the larger the ring,
    // the longer a wait that loses none of them. Platforms differ in the largest they take.
    for (uint32_t Count = platform::cMaxInputBuffers;
         Count > platform::cDefaultInputBuffers && FInputBuffers == 0; Count /= 2) {
      if (FDevice->SetInputBufferCount(Count)) {
        FInputBuffers = Count;
      }
    }
    if (AOpened) {
      AOpened(*FDevice);
    }
  }
  FReport.assign(static_cast<std::size_t>(std::max<int32_t>(FInputReportLength, 1)), 0);
  rtl::TManualResetEvent& Shared = DeviceStopEvent();
  FStopListener = Shared.AddSetListener([this] { FStop.Set(); });
  if (Shared.IsSet()) {
    FStop.Set();
  }
  try {
    FThread = std::thread([this] { Execute(); });
  } catch (...) {
    Shared.RemoveSetListener(FStopListener);
    throw;
  }
}

TuiHidDeviceReadThread::~TuiHidDeviceReadThread() {
  Terminate();
  WaitFor();
  DeviceStopEvent().RemoveSetListener(FStopListener);
}

void TuiHidDeviceReadThread::Terminate() {
  FTerminated = true;
  FStop.Set();
}

void TuiHidDeviceReadThread::WaitFor() {
  if (FThread.joinable()) {
    FThread.join();
  }
}

void TuiHidDeviceReadThread::Execute() {
  // Whatever escapes the loop ends the reader, never the process.
  platform::Guarded(FHIDData->FServices.Debug, cReaderExceptionText, [this] { ReadLoop(); });
  FDevice.reset();
  FFinished = true;
}

void TuiHidDeviceReadThread::ReadLoop() {
  platform::IDebugOutput& Debug = FHIDData->FServices.Debug;
  Debug.DebugOutput(cReaderStartText);
  if (FDevice && FInputReportLength <= 0) {
    // Nothing can be read from a collection without input reports: wait for the stop.
    FStop.WaitFor();
    FTerminated = true;
  }
  while (FDevice && !FTerminated) {
    std::fill(FReport.begin(), FReport.end(), uint8_t{0});
    const platform::THidReadResult Read =
        FDevice->ReadReport(FReport.data(), static_cast<uint32_t>(FInputReportLength), FStop);
    if (Read.Stopped || FTerminated) {
      break;
    }
    const bool DeviceGone = Read.Error == platform::SysError::OperationAborted ||
                            Read.Error == platform::SysError::DeviceNotConnected;
    if (Read.StartFailed && (DeviceGone || Read.Error == platform::SysError::InvalidHandle)) {
      // Nothing was outstanding: the reader ends quietly.
      FTerminated = true;
    } else if (Read.Error == platform::SysError::Success) {
      NumBytesRead = Read.BytesRead;
      if (NumBytesRead > 0) {
        Deliver();
      }
    } else if (DeviceGone) {
      FTerminated = true;
      Debug.DebugOutput(cDeviceNotConnectedText);
      if (FHIDData->FOnDeviceNotConnected.Assigned()) {
        platform::Guarded(Debug, cReaderExceptionText,
                          [this] { FHIDData->FOnDeviceNotConnected(FDeviceID, FDevicePath); });
      }
    } else {
      FStop.WaitFor(cRetryPauseMs);
    }
  }
}

void TuiHidDeviceReadThread::Deliver() {
  // A failing handler loses its report, not the reader: the loop reads on.
  platform::Guarded(FHIDData->FServices.Debug, cReaderExceptionText, [this] {
    if (FHIDData->FastOnData()) {
      DoData();
    } else {
      FHIDData->FServices.MainThread.Synchronize([this] { DoData(); });
    }
  });
}

void TuiHidDeviceReadThread::DoData() {
  if (FHIDData->FOnData.Assigned()) {
    const auto Size = static_cast<uint16_t>(NumBytesRead & 0xFFFF);
    FHIDData->FOnData(FDeviceID, FDevicePath, FReport[0], FReport.data() + 1,
                      static_cast<uint16_t>(Size == 0 ? 0 : Size - 1));
  }
  if (FHIDData->FOnParsedData.Assigned()) {
    FHIDData->FOnParsedData(FDeviceID, FDevicePath, FReport[0], ParseButtons());
  }
}

uint32_t TuiHidDeviceReadThread::ParseButtons() {
  if (!FDevice) {
    return 0;
  }
  // The lists hold 100 entries; a longer usage list is cut to them.
  const uint32_t Length = std::min<uint32_t>(FDevice->MaxUsageListLength(), cUsageListSize);
  if (Length == 0) {
    return 0;
  }
  std::vector<platform::THidUsageAndPage> Usages;
  if (!FDevice->GetUsages(FReport.data(), static_cast<uint32_t>(FInputReportLength), Usages,
                          cUsageListSize)) {
    return 0;
  }
  uint16_t Current[cUsageListSize] = {};
  uint16_t Released[cUsageListSize] = {};
  uint16_t Pressed[cUsageListSize] = {};
  for (std::size_t I = 0; I < Usages.size() && I < cUsageListSize; ++I) {
    Current[I] = Usages[I].Usage;
  }
  TPreviousUsages& Previous = PreviousUsageList();
  {
    rtl::TLockGuard Guard(Previous.Lock);
    UsageListDifference(Previous.List, Current, Released, Pressed, Length);
    std::copy_n(Current, Length, Previous.List);
  }
  if (Released[0] != 0) {
    return Released[0];
  }
  return Pressed[0] != 0 ? static_cast<uint32_t>(Pressed[0]) << 16 : 0;
}

} // namespace hid
