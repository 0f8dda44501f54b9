#include "device/uiStdCmd.h"

#include <algorithm>
#include <cstring>

#include "platform/ConfigFile.h"
#include "platform/Guarded.h"
#include "platform/SysError.h"
#include "platform/WindowMessages.h"
#include "rtl/Paths.h"

namespace device {

namespace {
constexpr uintptr_t cRestartTimerId = 1;
// A restart asked for where it cannot run at once, carried to the main thread (wParam 1
// starts the monitor again, 0 only stops it).
constexpr uint32_t cDeferredRestartMessage = platform::WM_USER_MESSAGE + 1;
constexpr const char* cExceptionText = "TuiSTDCommand";
constexpr const char* cDevicePrefix = "\\\\.\\";

char FoldedChar(char AChar) {
  return AChar >= 'a' && AChar <= 'z' ? static_cast<char>(AChar - ('a' - 'A')) : AChar;
}

bool LessText(const std::string& ALeft, const std::string& ARight) {
  return std::lexicographical_compare(
      ALeft.begin(), ALeft.end(), ARight.begin(), ARight.end(),
      [](char AX, char AY) { return FoldedChar(AX) < FoldedChar(AY); });
}

std::string UpperCase(std::string AText) {
  std::transform(AText.begin(), AText.end(), AText.begin(), FoldedChar);
  return AText;
}

// The configured list is sorted without regard to case, then searched for each id in turn.
bool InSortedList(std::vector<std::string>& AList, const std::vector<std::string>& AIds) {
  std::sort(AList.begin(), AList.end(), LessText);
  return std::any_of(AIds.begin(), AIds.end(), [&](const std::string& AId) {
    return std::binary_search(AList.begin(), AList.end(), AId, LessText);
  });
}

bool HoldsName(const std::vector<std::string>& AList, const std::string& AName) {
  return std::any_of(AList.begin(), AList.end(),
                     [&](const std::string& AEntry) { return rtl::SameText(AEntry, AName); });
}

// A relative path of the system's own ("DRIVERX64\") in the platform's delimiters.
std::string LocalPath(std::string APath) {
  std::replace(APath.begin(), APath.end(), '\\', rtl::PathDelim);
  return APath;
}

constexpr const char* cInstallParameters = "/i ";
constexpr const char* cRemoveParameters = "/u ";
constexpr const char* cInstallFlags = " DRIVER_PACKAGE_SILENT DRIVER_PACKAGE_FORCE";
constexpr const char* cRemoveFlags =
    " DRIVER_PACKAGE_SILENT DRIVER_PACKAGE_FORCE DRIVER_PACKAGE_DELETE_FILES";
constexpr const char* cDisplaySuffix = "_Display";
constexpr const char* cDisplayChangeSuffix = "_DisplayChange";
constexpr int32_t cUpperFilterOn = 1;
constexpr uint32_t cWindowsXPMajor = 5;
constexpr uint32_t cWindowsXPMinor = 2;
} // namespace

TWorkerThread::~TWorkerThread() {
  FTerminated = true;
  if (FThread.joinable()) {
    FThread.join();
  }
}

void TWorkerThread::Start(std::function<void(TWorkerThread&)> ARun) {
  if (FThread.joinable()) {
    FThread.join();
  }
  FTerminated = false;
  FFinished = false;
  try {
    FThread = std::thread([this, Run = std::move(ARun)] {
      Run(*this);
      FFinished = true;
    });
  } catch (...) {
    FTerminated = true;
    FFinished = true;
    throw;
  }
}

bool TWorkerThread::WaitsForThisThread(platform::IMainThread& AMainThread) const {
  return !FFinished && AMainThread.RunningHandOverFrom(FThread.get_id());
}

void TWorkerThread::TerminateAndWaitFor(platform::IMainThread& AMainThread) {
  FTerminated = true;
  if (WaitsForThisThread(AMainThread)) {
    return;
  }
  platform::WaitServingHandOvers(AMainThread, [this] { return FFinished.load(); });
  if (FThread.joinable()) {
    FThread.join();
  }
}

TuiSTDCommand::TuiSTDCommand(rtl::TComponent* AOwner, const TStdCommandServices& AServices)
    : rtl::TComponent(AOwner), FServices(AServices) {
  FActive = false;
  FTimerWindow = FServices.Windows.CreateHiddenWindow(
      [this](platform::TWindowMessage& AMessage) { return TimerWindowProc(AMessage); });
  const rtl::TIniFile Ini = platform::LoadConfigFile(FServices.Files, FServices.Environment);
  FHidDeviceList = Ini.ReadIdList("devicelist");
  FUsbDeviceList = Ini.ReadIdList("usbdevicelist");
  const TDriverInfo Defaults;
  FDriverInfo.InfFileName = Ini.ReadString("DEVICE", "InfFileName", Defaults.InfFileName);
  FDriverInfo.FileName = Ini.ReadString("DEVICE", "FileName", Defaults.FileName);
  FDriverInfo.ServiceName = Ini.ReadString("DEVICE", "ServiceName", Defaults.ServiceName);
  FDriverInfo.ServiceNamex86 = Ini.ReadString("DEVICE", "ServiceNamex86", Defaults.ServiceNamex86);
  FDriverInfo.ServiceNamex64 = Ini.ReadString("DEVICE", "ServiceNamex64", Defaults.ServiceNamex64);
  FDriverInfo.DeviceName = Ini.ReadString("DEVICE", "DeviceName", Defaults.DeviceName);
  FDriverInfo.WHQL = Ini.ReadInteger("DEVICE", "WHQL", 0);
  FDriverInfo.X32WHQL = Ini.ReadInteger("DEVICE", "X32WHQL", 0);
  FDriverInfo.UpperFilter = Ini.ReadInteger("DEVICE", "UpperFilter", 0);
  FDevicePath = cDevicePrefix + FDriverInfo.DeviceName;
  FHIDEvent = new hid::TuiHIDEvent(this, FServices.Windows, FServices.Debug);
  FHIDEvent->SetOnDeviceArrival({this, &TuiSTDCommand::HIDEventDeviceArrival});
  FHIDEvent->SetOnDeviceRemove({this, &TuiSTDCommand::HIDEventDeviceRemove});
}

TuiSTDCommand::~TuiSTDCommand() {
  // The workers end before anything they use goes: the stop wakes every wait and cancels the
  // outstanding read, and both are joined.
  FGlobalEvent.Set();
  StopWorkers();
  CloseReadSide();
  if (FTimerWindow != 0) {
    FServices.Windows.DestroyHiddenWindow(FTimerWindow);
  }
}

void TuiSTDCommand::StopWorkers() {
  FIdThreadComponentGetData1.TerminateAndWaitFor(FServices.MainThread);
  FIdThreadComponentGetData2.TerminateAndWaitFor(FServices.MainThread);
}

bool TuiSTDCommand::WorkerRunning(int AWorker) const {
  return !(AWorker == 1 ? FIdThreadComponentGetData1 : FIdThreadComponentGetData2).Terminated();
}

uint32_t TuiSTDCommand::DeviceRW(void* Buffer, int32_t Count, uint32_t IoControlCode) {
  uint32_t Result = 0;
  try {
    uint32_t Error = 0;
    auto WriteSide = FServices.Drivers.OpenDeviceObject(FDevicePath, false, Error);
    if (!WriteSide) {
      return cDeviceNotOpened;
    }
    uint32_t Returned = 0;
    Result = WriteSide->Control(IoControlCode, Buffer, static_cast<uint32_t>(std::max(Count, 0)),
                                Returned);
  } catch (...) {
    // A failing exchange is reported by its result alone.
  }
  return Result;
}

bool TuiSTDCommand::IsDeviceExist() {
  try {
    uint32_t Error = 0;
    return FServices.Drivers.OpenDeviceObject(FDevicePath, false, Error) != nullptr;
  } catch (...) {
    return false;
  }
}

bool TuiSTDCommand::HardwareIdsInConfigUsbList(const std::vector<std::string>& strHardwareIDs) {
  return InSortedList(FUsbDeviceList, strHardwareIDs);
}

bool TuiSTDCommand::HardwareIdsInConfigHidList(const std::vector<std::string>& strHardwareIDs) {
  return InSortedList(FHidDeviceList, strHardwareIDs);
}

template <class TMatch> bool TuiSTDCommand::AnyPresentNode(TMatch AMatch) {
  uint32_t Error = 0;
  const std::unique_ptr<platform::IDeviceNodeList> Nodes =
      FServices.Devices.OpenPresentNodes(FUSBGuid, Error);
  if (!Nodes) {
    return false;
  }
  for (uint32_t Node = 0; Nodes->HasNode(Node); ++Node) {
    if (AMatch(GetDeviceRegistryStrings(*Nodes, Node, platform::TDeviceProperty::HardwareId))) {
      return true;
    }
  }
  return false;
}

bool TuiSTDCommand::IsHIDDeviceExist() {
  return AnyPresentNode(
      [this](const std::vector<std::string>& AIds) { return HardwareIdsInConfigHidList(AIds); });
}

bool TuiSTDCommand::ISHIDDeviceExist(const std::string& VidPid) {
  const std::string Wanted = UpperCase(VidPid);
  return AnyPresentNode([&](const std::vector<std::string>& AIds) {
    return std::any_of(AIds.begin(), AIds.end(),
                       [&](const std::string& AId) { return UpperCase(AId) == Wanted; });
  });
}

void TuiSTDCommand::HidInstallDriver(bool Install) {
  using platform::TDeviceProperty;
  uint32_t Error = 0;
  const std::unique_ptr<platform::IDeviceNodeList> Nodes =
      FServices.Devices.OpenPresentNodes(FUSBGuid, Error);
  if (!Nodes) {
    return;
  }
  // Every matching node is handled: the package tool runs once for each.
  for (uint32_t Node = 0; Nodes->HasNode(Node); ++Node) {
    const std::vector<std::string> HardwareIds =
        GetDeviceRegistryStrings(*Nodes, Node, TDeviceProperty::HardwareId);
    const std::vector<std::string> Filters =
        GetDeviceRegistryStrings(*Nodes, Node, FilterProperty());
    if (!HardwareIdsInConfigUsbList(HardwareIds)) {
      continue;
    }
    const bool Installed = HoldsName(Filters, FDriverInfo.ServiceName);
    const bool Problem = Installed && DeviceHasProblem(*Nodes, Node);
    const bool SignedRoute =
        FDriverInfo.WHQL != 0 && (FDriverInfo.X32WHQL != 0 || Is64BitWindows());
    if (Install && (!Installed || Problem)) {
      if (SignedRoute) {
        RunDriverPackageTool(true);
      } else {
        InstallDriverByCopy(*Nodes, Node);
      }
    }
    if (!Install && Installed) {
      if (SignedRoute) {
        RunDriverPackageTool(false);
      } else {
        UninstallDriverByService(*Nodes, Node);
      }
    }
  }
}

bool TuiSTDCommand::Is64BitWindows() {
  const platform::TSystemFacts Facts = FServices.System.Facts();
  // A 64-bit build runs only on 64-bit Windows, and never under the emulation layer.
  if (Facts.Process64Bit) {
    return true;
  }
  return Facts.IsWow64ProcessBound && Facts.NativeSystemInfoBound && Facts.UnderWow64 &&
         (Facts.NativeArchitecture == platform::cProcessorArchitectureAmd64 ||
          Facts.NativeArchitecture == platform::cProcessorArchitectureIa64);
}

bool TuiSTDCommand::IsWindowsXP64() {
  const platform::TSystemFacts Facts = FServices.System.Facts();
  return Facts.NtFamily && Facts.Version.Major == cWindowsXPMajor &&
         Facts.Version.Minor == cWindowsXPMinor && Facts.ServerR2 == 0 &&
         Facts.NativeArchitecture != platform::cProcessorArchitectureIntel &&
         Facts.ProductType == platform::cProductWorkstation;
}

bool TuiSTDCommand::DeviceHasProblem(platform::IDeviceNodeList& ANodes, uint32_t ANode) {
  uint32_t Status = 0;
  uint32_t Problem = 0;
  return ANodes.ReadStatus(ANode, Status, Problem) &&
         (Status & platform::cDeviceNodeHasProblem) != 0;
}

std::vector<std::string>
TuiSTDCommand::GetDeviceRegistryStrings(platform::IDeviceNodeList& ANodes, uint32_t ANode,
                                        platform::TDeviceProperty AProperty) {
  std::vector<std::string> Strings;
  ANodes.ReadStrings(ANode, AProperty, Strings);
  return Strings;
}

platform::TDeviceProperty TuiSTDCommand::FilterProperty() const {
  return FDriverInfo.UpperFilter == cUpperFilterOn ? platform::TDeviceProperty::UpperFilters
                                                   : platform::TDeviceProperty::LowerFilters;
}

std::string TuiSTDCommand::DriverTarget() {
  return FServices.System.WindowsFolder() + LocalPath(cDriverFolder) + FDriverInfo.FileName;
}

void TuiSTDCommand::RunDriverPackageTool(bool Install) {
  const bool XP64 = IsWindowsXP64();
  const char* Package =
      Is64BitWindows() ? (XP64 ? cPackageFolderXP64 : cPackageFolder64) : cPackageFolder32;
  const std::string Folder = FServices.Environment.ModuleFolder() + LocalPath(Package);
  std::string Parameters =
      std::string(Install ? cInstallParameters : cRemoveParameters) + FDriverInfo.InfFileName;
  // The tool of Windows XP Professional x64 takes no flags.
  if (!XP64) {
    Parameters += Install ? cInstallFlags : cRemoveFlags;
  }
  // The tool's own result is not examined: the node's state tells.
  FServices.Shell.RunAndWait(Folder + cPackageTool, Parameters, Folder, platform::cShowHidden);
}

bool TuiSTDCommand::InstallDriverByCopy(platform::IDeviceNodeList& ANodes, uint32_t ANode) {
  const std::string Source = FServices.Environment.ModuleFolder() +
                             LocalPath(Is64BitWindows() ? cPackageFolder64 : cPackageFolder32) +
                             FDriverInfo.FileName;
  const std::string Target = DriverTarget();
  // Other mice's stacks load the file already there: it is replaced in one step, never
  // deleted first, so a copy that fails leaves them their driver.
  if (FServices.Files.DuplicateFile(Source, Target) != 0 ||
      !ConfigureDriverService(true, FDriverInfo.ServiceName, Target)) {
    return false;
  }
  // Our service joins the filters the node has, once; other vendors' filters stay, in their
  // order. A list that cannot be read is not replaced by a guess.
  std::vector<std::string> Filters;
  const uint32_t ReadError = ANodes.ReadStrings(ANode, FilterProperty(), Filters);
  bool Written = false;
  if (ReadError == platform::SysError::Success || ReadError == platform::SysError::InvalidData) {
    if (!HoldsName(Filters, FDriverInfo.ServiceName)) {
      Filters.push_back(FDriverInfo.ServiceName);
    }
    Written = ANodes.WriteStrings(ANode, FilterProperty(), Filters) == 0;
  }
  // The node restarts so that its stack is built with the new list.
  RestartDeviceNode(ANodes, ANode);
  return Written;
}

bool TuiSTDCommand::UninstallDriverByService(platform::IDeviceNodeList& ANodes, uint32_t ANode) {
  // Our entry leaves the list before the service goes, and the service goes before the node
  // restarts: a stack that names a filter without a service does not start, and the user would
  // be left without a mouse. A step that fails leaves the node as it was and running.
  std::vector<std::string> Filters;
  if (ANodes.ReadStrings(ANode, FilterProperty(), Filters) != platform::SysError::Success) {
    return false;
  }
  std::vector<std::string> Others = Filters;
  Others.erase(std::remove_if(Others.begin(), Others.end(),
                              [&](const std::string& AEntry) {
                                return rtl::SameText(AEntry, FDriverInfo.ServiceName);
                              }),
               Others.end());
  if (ANodes.WriteStrings(ANode, FilterProperty(), Others) != 0) {
    return false;
  }
  // A service that is gone or going already: our entry, left alone, would keep the node from
  // starting, so it goes all the same.
  if (!ConfigureDriverService(false, FDriverInfo.ServiceName, DriverTarget()) &&
      !DriverServiceGoing()) {
    ANodes.WriteStrings(ANode, FilterProperty(), Filters);
    return false;
  }
  // The driver file stays in the driver folder.
  RestartDeviceNode(ANodes, ANode);
  return true;
}

bool TuiSTDCommand::ConfigureDriverService(bool Install, const std::string& ServiceName,
                                           const std::string& BinaryPath) {
  uint32_t Error = 0;
  const std::unique_ptr<platform::IServiceManager> Manager =
      FServices.Services.OpenManager(platform::cScManagerAllAccess, Error);
  if (!Manager) {
    return false;
  }
  const std::unique_ptr<platform::IService> Service =
      Manager->OpenExisting(ServiceName, platform::cServiceAllAccess, Error);
  if (!Install) {
    // The service is not stopped first: a loaded driver's service goes when it stops.
    return Service && Service->Delete() == 0;
  }
  platform::TServiceConfig Config;
  Config.ServiceType = platform::cServiceKernelDriver;
  Config.StartType = platform::cServiceDemandStart;
  Config.ErrorControl = platform::cServiceErrorNormal;
  Config.BinaryPath = BinaryPath;
  if (Service) {
    Config.DisplayName = ServiceName + cDisplayChangeSuffix;
    return Service->ChangeConfig(Config) == 0;
  }
  Config.DisplayName = ServiceName + cDisplaySuffix;
  const std::unique_ptr<platform::IService> Created =
      Manager->Create(ServiceName, Config, platform::cServiceAllAccess, Error);
  return Created != nullptr || Error == platform::SysError::ServiceExists;
}

bool TuiSTDCommand::DriverServiceGoing() {
  uint32_t Error = 0;
  const std::unique_ptr<platform::IServiceManager> Manager =
      FServices.Services.OpenManager(platform::cScManagerConnect, Error);
  if (!Manager) {
    return false;
  }
  const std::unique_ptr<platform::IService> Service =
      Manager->OpenExisting(FDriverInfo.ServiceName, platform::cServiceDeleteAccess, Error);
  if (!Service) {
    return Error == platform::SysError::ServiceDoesNotExist;
  }
  const uint32_t Deleted = Service->Delete();
  return Deleted == platform::SysError::Success ||
         Deleted == platform::SysError::ServiceMarkedForDelete;
}

void TuiSTDCommand::RestartDeviceNode(platform::IDeviceNodeList& ANodes, uint32_t ANode) {
  // One restart in place of a disable and an enable: a disable is stored with the node, and a
  // process that ended, or an enable that failed, in between would leave the mouse off across
  // boots. The outcome is not used: a vetoed restart waits for the next restart of the system.
  ANodes.ChangeState(ANode, platform::TDeviceStateChange::PropertyChange);
}

void TuiSTDCommand::SetDeviceInitData(const void* DeviceInitData, uint32_t DeviceInitDataSize,
                                      uint32_t DeviceInitIoControlCode, uint32_t ReadIoControlCode,
                                      int32_t AInputReportLength, int32_t AOutputReportLength) {
  if (DeviceInitDataSize == 0 || DeviceInitData == nullptr) {
    return;
  }
  const auto* Bytes = static_cast<const uint8_t*>(DeviceInitData);
  FDeviceInitData.assign(Bytes, Bytes + DeviceInitDataSize);
  FDeviceDataInitIOCode = DeviceInitIoControlCode;
  FReadIOCode = ReadIoControlCode;
  FInputReportLength = std::clamp<int32_t>(AInputReportLength, 0, cMonitorBufferSize);
  FOutputReportLength = std::clamp<int32_t>(AOutputReportLength, 0, cMonitorBufferSize);
}

void TuiSTDCommand::SetMonitorData() {
  if (!FDeviceInitData.empty()) {
    DeviceRW(FDeviceInitData.data(), static_cast<int32_t>(FDeviceInitData.size()),
             FDeviceDataInitIOCode);
  }
}

void TuiSTDCommand::SetMonitorData(const void* DeviceInitData, uint32_t DeviceInitDataSize,
                                   uint32_t DeviceInitIoControlCode, uint32_t ReadIoControlCode,
                                   int32_t AInputReportLength, int32_t AOutputReportLength) {
  if (DeviceInitDataSize == 0 || DeviceInitData == nullptr) {
    return;
  }
  SetDeviceInitData(DeviceInitData, DeviceInitDataSize, DeviceInitIoControlCode, ReadIoControlCode,
                    AInputReportLength, AOutputReportLength);
  DeviceRW(FDeviceInitData.data(), static_cast<int32_t>(FDeviceInitData.size()),
           DeviceInitIoControlCode);
}

bool TuiSTDCommand::OpenReadSide() {
  rtl::TLockGuard Guard(FReadSideLock);
  if (!FHidOverlappedRead) {
    uint32_t Error = 0;
    FHidOverlappedRead = FServices.Drivers.OpenDeviceObject(FDevicePath, true, Error);
  }
  return FHidOverlappedRead != nullptr;
}

void TuiSTDCommand::CloseReadSide() {
  std::shared_ptr<platform::IDriverHandle> Closing;
  {
    rtl::TLockGuard Guard(FReadSideLock);
    Closing = std::move(FHidOverlappedRead);
  }
  // A worker still in a read keeps the handle alive until its read has ended.
  if (Closing) {
    Closing->Cancel();
  }
}

std::shared_ptr<platform::IDriverHandle> TuiSTDCommand::ReadSide() {
  rtl::TLockGuard Guard(FReadSideLock);
  return FHidOverlappedRead;
}

void TuiSTDCommand::RestartMonitor(bool AStart) {
  platform::IMainThread& MainThread = FServices.MainThread;
  if (!MainThread.IsMainThread() || FIdThreadComponentGetData1.WaitsForThisThread(MainThread) ||
      FIdThreadComponentGetData2.WaitsForThisThread(MainThread)) {
    // Asked from a worker's own handler (or another thread): a worker cannot be waited for
    // from inside its delivery. The workers are told to stop now; the main thread does the
    // rest once the delivery has returned.
    FGlobalEvent.Set();
    FServices.Windows.PostWindowMessage(FTimerWindow, cDeferredRestartMessage, AStart ? 1 : 0, 0);
    return;
  }
  RestartMonitorNow(AStart);
}

void TuiSTDCommand::RestartMonitorNow(bool AStart) {
  if (FDeviceInitData.empty()) {
    return;
  }
  if (FActive) {
    CloseReadSide();
    FGlobalEvent.Set();
    FActive = false;
  }
  // Workers that ended on their own are joined too, before either is started again.
  FGlobalEvent.Set();
  StopWorkers();
  if (!AStart || !OpenReadSide()) {
    return;
  }
  FActive = true;
  try {
    DeviceRW(FDeviceInitData.data(), static_cast<int32_t>(FDeviceInitData.size()),
             FDeviceDataInitIOCode);
    FGlobalDataEvent1.Reset();
    FGlobalDataEvent2.Reset();
    FGlobalEvent.Reset();
    FGlobalDataEvent1.Set();
    FIdThreadComponentGetData1.Start([this](TWorkerThread& AThread) { RunWorker(1, AThread); });
    FIdThreadComponentGetData2.Start([this](TWorkerThread& AThread) { RunWorker(2, AThread); });
  } catch (...) {
    // A worker that cannot start leaves the monitor stopped, not half running.
    FGlobalEvent.Set();
    StopWorkers();
    CloseReadSide();
    FActive = false;
    throw;
  }
}

void TuiSTDCommand::RunWorker(int AWorker, TWorkerThread& AThread) {
  // Whatever escapes the loop ends this worker, never the process.
  platform::Guarded(FServices.Debug, cExceptionText, [&] { MonitorRun(AWorker, AThread); });
  AThread.Terminate();
}

void TuiSTDCommand::MonitorRun(int AWorker, TWorkerThread& AThread) {
  rtl::TManualResetEvent& Own = AWorker == 1 ? FGlobalDataEvent1 : FGlobalDataEvent2;
  rtl::TManualResetEvent& Other = AWorker == 1 ? FGlobalDataEvent2 : FGlobalDataEvent1;
  // The worker's own buffers; the driver never gets more than they hold.
  std::vector<uint8_t> Input(cMonitorBufferSize, 0);
  std::vector<uint8_t> Output(cMonitorBufferSize, 0);
  while (!AThread.Terminated()) {
    rtl::WaitForAnyEvent({&FGlobalEvent, &Own});
    if (FGlobalEvent.IsSet()) {
      AThread.Terminate();
      return;
    }
    Own.Reset();
    uint32_t Bytes = 0;
    if (ControlReadCycle(Input, Output, Bytes) != 0) {
      AThread.Terminate();
      return;
    }
    // The other worker issues the next read while this one delivers.
    Other.Set();
    if (Bytes > 0 && FDataReceivedEvent.Assigned()) {
      // A failing handler loses this answer; the worker goes on with its turns.
      platform::Guarded(FServices.Debug, cExceptionText,
                        [&] { FDataReceivedEvent(Output.data(), Bytes); });
    }
  }
}

uint32_t TuiSTDCommand::ControlReadCycle(std::vector<uint8_t>& AInput,
                                         std::vector<uint8_t>& AOutput, uint32_t& ABytes) {
  ABytes = 0;
  const std::shared_ptr<platform::IDriverHandle> Handle = ReadSide();
  if (!Handle) {
    return platform::SysError::InvalidHandle;
  }
  const platform::TControlReadResult Result =
      Handle->ControlRead(FReadIOCode, AInput.data(), static_cast<uint32_t>(FInputReportLength),
                          AOutput.data(), static_cast<uint32_t>(FOutputReportLength), FGlobalEvent);
  if (Result.Stopped) {
    return 1;
  }
  // A read that failed ends the worker, whatever the failure: counting it as an empty answer
  // would let a failing driver spin both workers.
  ABytes = Result.BytesReturned;
  return Result.Error;
}

void TuiSTDCommand::RestartTimer() {
  FServices.Windows.StopTimer(FTimerWindow, cRestartTimerId);
  FServices.Windows.StartTimer(FTimerWindow, cRestartTimerId, cRestartMonitorDelayMs);
}

bool TuiSTDCommand::TimerWindowProc(platform::TWindowMessage& AMessage) {
  const bool Timer =
      AMessage.Msg == platform::WM_TIMER_MESSAGE && AMessage.WParam == cRestartTimerId;
  if (!Timer && AMessage.Msg != cDeferredRestartMessage) {
    return false;
  }
  // Nothing may unwind through the platform's window procedure (a thread may fail to start).
  platform::Guarded(FServices.Debug, cExceptionText, [&] {
    if (Timer) {
      FServices.Windows.StopTimer(FTimerWindow, cRestartTimerId);
    }
    RestartMonitor(Timer || AMessage.WParam != 0);
  });
  return true;
}

void TuiSTDCommand::HIDEventDeviceArrival(rtl::TComponent* Sender) {
  if (FOnDeviceArrial.Assigned()) {
    FOnDeviceArrial(Sender);
  }
  RestartTimer();
}

void TuiSTDCommand::HIDEventDeviceRemove(rtl::TComponent* Sender) {
  if (FOnDeviceRemoval.Assigned()) {
    FOnDeviceRemoval(Sender);
  }
  FGlobalEvent.Set();
  CloseReadSide();
  RestartTimer();
}

} // namespace device
