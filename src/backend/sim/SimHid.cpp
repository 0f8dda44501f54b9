#include "backend/sim/SimHid.h"

#include <algorithm>
#include <deque>
#include <stdexcept>

#include "platform/SysError.h"
#include "platform/WindowMessages.h"
#include "rtl/Component.h"
#include "rtl/Mutex.h"

namespace platform::sim {

class TSimHidDevice;

struct TSimHid::TState {
  rtl::TMutex Lock;
  std::condition_variable Changed;
  std::vector<TSimHidInterface> Interfaces;
  std::vector<TSimHidDevice*> Handles;
  TSimHidFirmware Firmware;
  uint32_t RefuseCode = 0;
  std::vector<TSimHidTransfer> Transfers;
  uint64_t Dropped = 0;
  uint64_t Wakeups = 0;
  // Handle values as the system hands them out: small multiples of four.
  uint32_t NextHandleValue = 0x100;
  std::function<void(uintptr_t)> DeviceChangeHook;
  struct TRegistration {
    uintptr_t Id;
    uintptr_t Window;
    std::string Path;
    uintptr_t Handle;
  };
  std::vector<TRegistration> Registrations;
  uintptr_t NextRegistration = 0x5000;
  TSimHandleEventHook HandleEventHook;

  const TSimHidInterface* Find(const std::string& APath) const {
    for (const TSimHidInterface& Interface : Interfaces) {
      if (rtl::SameText(Interface.Path, APath)) {
        return &Interface;
      }
    }
    return nullptr;
  }
};

class TSimHidDevice : public IHidDevice {
public:
  TSimHidDevice(std::shared_ptr<TSimHid::TState> AState, TSimHidInterface AInterface)
      : FState(std::move(AState)), FInterface(std::move(AInterface)) {
    rtl::TLockGuard Guard(FState->Lock);
    FState->Handles.push_back(this);
    FHandleValue = FState->NextHandleValue;
    FState->NextHandleValue += 4;
  }

  ~TSimHidDevice() override {
    rtl::TLockGuard Guard(FState->Lock);
    auto& Handles = FState->Handles;
    Handles.erase(std::remove(Handles.begin(), Handles.end(), this), Handles.end());
  }

  uint32_t HandleValue() override { return FHandleValue; }

  bool SetInputBufferCount(uint32_t ACount) override {
    if (ACount < cMinInputBuffers || ACount > cMaxInputBuffers) {
      return false;
    }
    rtl::TLockGuard Guard(FState->Lock);
    FRingSize = ACount;
    while (FRing.size() > FRingSize) {
      FRing.pop_front();
      ++FState->Dropped;
    }
    return true;
  }

  bool GetAttributes(THidAttributes& AAttributes) override {
    AAttributes = FInterface.Attributes;
    return !Gone();
  }

  bool GetCaps(THidCaps& ACaps) override {
    if (!FInterface.CapsReadable) {
      return false;
    }
    ACaps = FInterface.Caps;
    return true;
  }

  uint32_t GetFeature(uint8_t* ABuffer, uint32_t ALength) override {
    return Transfer(TSimHidOp::GetFeature, ABuffer, ALength);
  }
  uint32_t SetFeature(const uint8_t* ABuffer, uint32_t ALength) override {
    return Transfer(TSimHidOp::SetFeature, const_cast<uint8_t*>(ABuffer), ALength);
  }
  uint32_t Write(const uint8_t* ABuffer, uint32_t ALength) override {
    return Transfer(TSimHidOp::Write, const_cast<uint8_t*>(ABuffer), ALength);
  }

  THidReadResult ReadReport(uint8_t* ABuffer, uint32_t ALength,
                            const rtl::TManualResetEvent& AStop) override {
    THidReadResult Result;
    const uint32_t ReportLength = FInterface.Caps.InputReportByteLength;
    {
      // The class driver refuses a buffer that cannot take a whole report, and a handle of a
      // removed device, before anything is outstanding.
      rtl::TLockGuard Guard(FState->Lock);
      if (ReportLength == 0 || ALength < ReportLength || FGone) {
        Result.StartFailed = true;
        Result.Error = FGone ? SysError::DeviceNotConnected : SysError::InvalidUserBuffer;
        return Result;
      }
    }
    auto& Stop = const_cast<rtl::TManualResetEvent&>(AStop);
    const int Token = Stop.AddSetListener([this] {
      rtl::TLockGuard Guard(FState->Lock);
      FState->Changed.notify_all();
    });
    {
      rtl::TUniqueLock Guard(FState->Lock);
      ++FWaiting;
      while (!AStop.IsSet() && !FGone && FRing.empty()) {
        Guard.Wait(FState->Changed);
        ++FState->Wakeups;
      }
      --FWaiting;
      if (AStop.IsSet()) {
        Result.Stopped = true;
        Result.Error = SysError::OperationAborted;
      } else if (FGone) {
        Result.Error = SysError::DeviceNotConnected;
      } else {
        const std::vector<uint8_t>& Report = FRing.front();
        Result.BytesRead = ReportLength;
        std::fill_n(ABuffer, ReportLength, uint8_t{0});
        std::copy_n(Report.begin(), std::min<std::size_t>(Report.size(), ReportLength), ABuffer);
        FRing.pop_front();
        ++FTaken;
      }
    }
    Stop.RemoveSetListener(Token);
    return Result;
  }

  uint32_t MaxUsageListLength() override { return FInterface.Buttons.ButtonCount; }

  bool GetUsages(const uint8_t* AReport, uint32_t ALength, std::vector<THidUsageAndPage>& AUsages,
                 uint32_t AMaxUsages) override {
    AUsages.clear();
    const TSimButtonLayout& Layout = FInterface.Buttons;
    // As the parser answers: a report of another length is invalid, and a report whose
    // identifier is not the buttons' report holds none of them.
    if (ALength != FInterface.Caps.InputReportByteLength ||
        (Layout.ReportID != 0 && AReport[0] != Layout.ReportID)) {
      return false;
    }
    for (uint32_t Bit = 0; Bit < Layout.ButtonCount; ++Bit) {
      const uint32_t Byte = Layout.ByteOffset + Bit / 8;
      if (Byte >= ALength) {
        return false;
      }
      if ((AReport[Byte] >> (Bit % 8)) & 1) {
        if (AUsages.size() >= AMaxUsages) {
          return false;
        }
        AUsages.push_back({static_cast<uint16_t>(Layout.FirstUsage + Bit), Layout.UsagePage});
      }
    }
    return true;
  }

  // Called with the state locked.
  void Deliver(const std::vector<uint8_t>& AReport) {
    if (FRing.size() >= FRingSize) {
      FRing.pop_front();
      ++FState->Dropped;
    }
    FRing.push_back(AReport);
  }
  void MarkGone() { FGone = true; }
  // A read on an interface that has gone is about to fail, not waiting.
  int Waiting() const { return FGone ? 0 : FWaiting; }
  uint64_t Taken() const { return FTaken; }
  // Reports waiting in the ring of a handle that reads.
  std::size_t Unread() const { return FWaiting > 0 || FTaken > 0 ? FRing.size() : 0; }

  bool SamePath(const std::string& APath) const { return rtl::SameText(FInterface.Path, APath); }
  const std::string& Path() const { return FInterface.Path; }

private:
  bool Gone() {
    rtl::TLockGuard Guard(FState->Lock);
    return FGone;
  }

  uint32_t Transfer(TSimHidOp AOp, uint8_t* ABuffer, uint32_t ALength) {
    TSimHidFirmware Firmware;
    {
      rtl::TLockGuard Guard(FState->Lock);
      if (FGone) {
        return SysError::DeviceNotConnected;
      }
      FState->Transfers.push_back(
          {AOp, FInterface.Path, std::vector<uint8_t>(ABuffer, ABuffer + ALength)});
      if (FState->RefuseCode != 0) {
        return FState->RefuseCode;
      }
      Firmware = FState->Firmware;
    }
    return Firmware ? Firmware(FInterface.Path, AOp, ABuffer, ALength) : SysError::Success;
  }

  std::shared_ptr<TSimHid::TState> FState;
  TSimHidInterface FInterface;
  std::deque<std::vector<uint8_t>> FRing;
  std::size_t FRingSize = cDefaultInputBuffers;
  uint32_t FHandleValue = 0;
  bool FGone = false;
  int FWaiting = 0;
  uint64_t FTaken = 0;
};

TSimHid::TSimHid() : FState(std::make_shared<TState>()) {}
TSimHid::~TSimHid() = default;

std::vector<THidInterfaceInfo> TSimHid::EnumerateInterfaces(const TGuid& AClass) {
  std::vector<THidInterfaceInfo> Result;
  if (!(AClass == cHidInterfaceClass)) {
    return Result;
  }
  rtl::TLockGuard Guard(FState->Lock);
  for (const TSimHidInterface& Interface : FState->Interfaces) {
    Result.push_back({Interface.Path, Interface.HardwareIds});
  }
  return Result;
}

std::unique_ptr<IHidDevice> TSimHid::Open(const std::string& APath, bool AOverlapped,
                                          uint32_t& AError) {
  (void)AOverlapped;
  TSimHidInterface Interface;
  {
    rtl::TLockGuard Guard(FState->Lock);
    const TSimHidInterface* Found = FState->Find(APath);
    if (Found == nullptr) {
      AError = SysError::FileNotFound;
      return nullptr;
    }
    Interface = *Found;
  }
  AError = SysError::Success;
  return std::make_unique<TSimHidDevice>(FState, std::move(Interface));
}

void TSimHid::Plug(const TSimHidInterface& AInterface) {
  std::function<void(uintptr_t)> Hook;
  {
    rtl::TLockGuard Guard(FState->Lock);
    FState->Interfaces.push_back(AInterface);
    Hook = FState->DeviceChangeHook;
  }
  if (Hook) {
    Hook(DBT_DEVICEARRIVAL_VALUE);
  }
}

void TSimHid::Unplug(const std::string& APath) {
  std::function<void(uintptr_t)> Hook;
  {
    rtl::TLockGuard Guard(FState->Lock);
    auto& Interfaces = FState->Interfaces;
    Interfaces.erase(std::remove_if(Interfaces.begin(), Interfaces.end(),
                                    [&](const TSimHidInterface& AItem) {
                                      return rtl::SameText(AItem.Path, APath);
                                    }),
                     Interfaces.end());
    for (TSimHidDevice* Handle : FState->Handles) {
      if (Handle->SamePath(APath)) {
        Handle->MarkGone();
      }
    }
    FState->Changed.notify_all();
    Hook = FState->DeviceChangeHook;
  }
  if (Hook) {
    Hook(DBT_DEVICEREMOVECOMPLETE_VALUE);
  }
}

uintptr_t TSimHid::RegisterRemovalNotification(uintptr_t AWindow, IHidDevice& ADevice) {
  auto& Device = static_cast<TSimHidDevice&>(ADevice);
  rtl::TLockGuard Guard(FState->Lock);
  if (AWindow == 0 || !FState->HandleEventHook) {
    return 0;
  }
  const uintptr_t Id = FState->NextRegistration;
  FState->NextRegistration += 8;
  FState->Registrations.push_back({Id, AWindow, Device.Path(), Device.HandleValue()});
  return Id;
}

void TSimHid::UnregisterRemovalNotification(uintptr_t ARegistration) {
  rtl::TLockGuard Guard(FState->Lock);
  auto& Registrations = FState->Registrations;
  Registrations.erase(std::remove_if(Registrations.begin(), Registrations.end(),
                                     [ARegistration](const TState::TRegistration& AItem) {
                                       return AItem.Id == ARegistration;
                                     }),
                      Registrations.end());
}

int TSimHid::RemovalRegistrations(const std::string& APath) const {
  rtl::TLockGuard Guard(FState->Lock);
  return static_cast<int>(std::count_if(
      FState->Registrations.begin(), FState->Registrations.end(),
      [&](const TState::TRegistration& AItem) { return rtl::SameText(AItem.Path, APath); }));
}

TSimRemoval TSimHid::RequestRemoval(const std::string& APath, bool AVetoedElsewhere) {
  std::vector<TState::TRegistration> Asked;
  TSimHandleEventHook Hook;
  {
    rtl::TLockGuard Guard(FState->Lock);
    if (FState->Find(APath) == nullptr) {
      return TSimRemoval::NoDevice;
    }
    for (const TState::TRegistration& Registration : FState->Registrations) {
      if (rtl::SameText(Registration.Path, APath)) {
        Asked.push_back(Registration);
      }
    }
    Hook = FState->HandleEventHook;
  }
  const auto Tell = [&](const TState::TRegistration& ARegistration, uintptr_t AEvent) {
    TDevBroadcastHandle Broadcast{};
    Broadcast.dbch_size = sizeof(Broadcast);
    Broadcast.dbch_devicetype = DBT_DEVTYP_HANDLE_VALUE;
    Broadcast.dbch_handle = ARegistration.Handle;
    Broadcast.dbch_hdevnotify = ARegistration.Id;
    Broadcast.dbch_nameoffset = -1;
    return Hook ? Hook(ARegistration.Window, AEvent, Broadcast) : intptr_t{1};
  };
  // Only those still registered hear of the outcome.
  const auto TellRegistered = [&](const std::vector<TState::TRegistration>& ATold,
                                  uintptr_t AEvent) {
    for (const TState::TRegistration& Registration : ATold) {
      bool Registered = false;
      {
        rtl::TLockGuard Guard(FState->Lock);
        Registered = std::any_of(
            FState->Registrations.begin(), FState->Registrations.end(),
            [&](const TState::TRegistration& AItem) { return AItem.Id == Registration.Id; });
      }
      if (Registered) {
        Tell(Registration, AEvent);
      }
    }
  };
  std::vector<TState::TRegistration> Told;
  bool Refused = false;
  for (const TState::TRegistration& Registration : Asked) {
    Told.push_back(Registration);
    if (Tell(Registration, DBT_DEVICEQUERYREMOVE_VALUE) == BROADCAST_QUERY_DENY_VALUE) {
      Refused = true;
      break;
    }
  }
  // A handle still open vetoes the removal, whether or not its owner was asked.
  const bool HandlesOpen = OpenHandles(APath) > 0;
  if (Refused || HandlesOpen || AVetoedElsewhere) {
    TellRegistered(Told, DBT_DEVICEQUERYREMOVEFAILED_VALUE);
    return HandlesOpen ? TSimRemoval::VetoedByOpenHandle : TSimRemoval::Vetoed;
  }
  Unplug(APath);
  TellRegistered(Told, DBT_DEVICEREMOVECOMPLETE_VALUE);
  return TSimRemoval::Removed;
}

std::optional<TSimHidInterface> TSimHid::Interface(const std::string& APath) const {
  rtl::TLockGuard Guard(FState->Lock);
  const TSimHidInterface* Found = FState->Find(APath);
  return Found != nullptr ? std::optional<TSimHidInterface>(*Found) : std::nullopt;
}

void TSimHid::SetHandleEventHook(TSimHandleEventHook AHook) {
  rtl::TLockGuard Guard(FState->Lock);
  FState->HandleEventHook = std::move(AHook);
}

void TSimHid::InjectInputReport(const std::string& APath, const std::vector<uint8_t>& AReport) {
  if (AReport.empty()) {
    throw std::invalid_argument("a HID input report holds at least its identifier byte");
  }
  rtl::TLockGuard Guard(FState->Lock);
  for (TSimHidDevice* Handle : FState->Handles) {
    if (Handle->SamePath(APath)) {
      Handle->Deliver(AReport);
    }
  }
  FState->Changed.notify_all();
}

uint64_t TSimHid::DroppedReports() const {
  rtl::TLockGuard Guard(FState->Lock);
  return FState->Dropped;
}

int TSimHid::WaitingReads(const std::string& APath) const {
  rtl::TLockGuard Guard(FState->Lock);
  int Count = 0;
  for (TSimHidDevice* Handle : FState->Handles) {
    Count += Handle->SamePath(APath) ? Handle->Waiting() : 0;
  }
  return Count;
}

std::size_t TSimHid::UnreadReports(const std::string& APath) const {
  rtl::TLockGuard Guard(FState->Lock);
  std::size_t Count = 0;
  for (TSimHidDevice* Handle : FState->Handles) {
    Count += Handle->SamePath(APath) ? Handle->Unread() : 0;
  }
  return Count;
}

uint64_t TSimHid::ReportsTaken(const std::string& APath) const {
  rtl::TLockGuard Guard(FState->Lock);
  uint64_t Count = 0;
  for (TSimHidDevice* Handle : FState->Handles) {
    Count += Handle->SamePath(APath) ? Handle->Taken() : 0;
  }
  return Count;
}

uint64_t TSimHid::ReadWakeups() const {
  rtl::TLockGuard Guard(FState->Lock);
  return FState->Wakeups;
}

int TSimHid::OpenHandles(const std::string& APath) const {
  rtl::TLockGuard Guard(FState->Lock);
  return static_cast<int>(
      std::count_if(FState->Handles.begin(), FState->Handles.end(),
                    [&](TSimHidDevice* AHandle) { return AHandle->SamePath(APath); }));
}

void TSimHid::SetFirmware(TSimHidFirmware AFirmware) {
  rtl::TLockGuard Guard(FState->Lock);
  FState->Firmware = std::move(AFirmware);
}

void TSimHid::RefuseTransfers(uint32_t ACode) {
  rtl::TLockGuard Guard(FState->Lock);
  FState->RefuseCode = ACode;
}

std::vector<TSimHidTransfer> TSimHid::Transfers() const {
  rtl::TLockGuard Guard(FState->Lock);
  return FState->Transfers;
}

void TSimHid::ClearTransfers() {
  rtl::TLockGuard Guard(FState->Lock);
  FState->Transfers.clear();
}

void TSimHid::SetDeviceChangeHook(std::function<void(uintptr_t)> AHook) {
  rtl::TLockGuard Guard(FState->Lock);
  FState->DeviceChangeHook = std::move(AHook);
}

} // namespace platform::sim
