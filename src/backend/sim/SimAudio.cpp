#include "backend/sim/SimAudio.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <stdexcept>

#include "platform/Guarded.h"
#include "rtl/Mutex.h"

namespace platform::sim {

namespace {

constexpr uint32_t cFirstEndpointVersion = 6;

// Line identifiers as the platform forms them: a destination's high word is 0xFFFF, a
// source's is its index below the destination.
constexpr uint32_t cSpeakersLine = 0xFFFF0000;
constexpr uint32_t cMicrophoneLine = 0x00010000;

enum TControl : uint32_t {
  cSpeakersVolume,
  cSpeakersMute,
  cMicrophoneVolume,
  cMicrophoneMute,
  cControlCount
};
constexpr uint32_t cInitialVolume = 0x8000;

struct TRegistration {
  TEndpointNotify Notify;
  uint64_t Device;
  uint64_t Generation;
  bool Active = true;
};

} // namespace

struct TSimAudio::TState {
  explicit TState(IDebugOutput& ADebug) : Debug(ADebug) {}

  IDebugOutput& Debug;
  mutable rtl::TMutex Lock;
  std::condition_variable Changed;

  // The default microphone; a removal starts a new generation, and endpoints of an older one
  // are invalid even when the same device comes back. Devices that were the default before
  // and are still there keep their endpoints and their own mute state.
  bool MicrophonePresent MONITOR_GUARDED_BY(Lock) = true;
  uint64_t Device MONITOR_GUARDED_BY(Lock) = 0;
  uint64_t Generation MONITOR_GUARDED_BY(Lock) = 0;
  bool Muted MONITOR_GUARDED_BY(Lock) = false;
  struct TFormerDefault {
    uint64_t Generation;
    bool Muted;
  };
  std::map<uint64_t, TFormerDefault> FormerDefaults MONITOR_GUARDED_BY(Lock);
  uint64_t NextDevice MONITOR_GUARDED_BY(Lock) = 1;
  std::map<TSimEndpointOp, uint32_t> EndpointFaults MONITOR_GUARDED_BY(Lock);
  int Opens MONITOR_GUARDED_BY(Lock) = 0;
  int MuteSets MONITOR_GUARDED_BY(Lock) = 0;

  // Notifications, delivered in order on the notifier thread.
  std::vector<std::shared_ptr<TRegistration>> Registrations MONITOR_GUARDED_BY(Lock);
  std::deque<std::pair<std::shared_ptr<TRegistration>, bool>> Queue MONITOR_GUARDED_BY(Lock);
  std::shared_ptr<TRegistration> InFlight MONITOR_GUARDED_BY(Lock);
  // Not under the lock: started under it, and joined by StopNotifier once Stopping keeps
  // another from starting.
  std::thread Notifier;
  std::thread::id NotifierId MONITOR_GUARDED_BY(Lock);
  bool Stopping MONITOR_GUARDED_BY(Lock) = false;

  // The mixer.
  uint32_t MixerDevices MONITOR_GUARDED_BY(Lock) = 1;
  bool MicrophoneLine MONITOR_GUARDED_BY(Lock) = true;
  bool MicrophoneMuteControl MONITOR_GUARDED_BY(Lock) = true;
  std::map<TSimMixerOp, uint32_t> MixerFaults MONITOR_GUARDED_BY(Lock);
  std::vector<TSimMixerCall> Calls MONITOR_GUARDED_BY(Lock);
  std::map<uint32_t, std::array<uint32_t, cControlCount>>
      Values MONITOR_GUARDED_BY(Lock); // by device
  int OpenMixers MONITOR_GUARDED_BY(Lock) = 0;

  uint32_t Fault(const std::map<TSimEndpointOp, uint32_t>& AFaults, TSimEndpointOp AOp) const {
    const auto Found = AFaults.find(AOp);
    return Found == AFaults.end() ? S_OK_VALUE : Found->second;
  }

  // The mute state of an endpoint's device, null once the endpoint is invalid.
  bool* MutedOf(uint64_t ADevice, uint64_t AGeneration) MONITOR_REQUIRES(Lock) {
    if (MicrophonePresent && ADevice == Device && AGeneration == Generation) {
      return &Muted;
    }
    const auto Former = FormerDefaults.find(ADevice);
    return Former != FormerDefaults.end() && Former->second.Generation == AGeneration
               ? &Former->second.Muted
               : nullptr;
  }

  void SetMutedLocked(uint64_t ADevice, uint64_t AGeneration, bool AMuted) MONITOR_REQUIRES(Lock) {
    bool* State = MutedOf(ADevice, AGeneration);
    if (State == nullptr || *State == AMuted) {
      return;
    }
    *State = AMuted;
    for (const auto& Registration : Registrations) {
      if (Registration->Device == ADevice && Registration->Generation == AGeneration) {
        Queue.emplace_back(Registration, AMuted);
      }
    }
    Changed.notify_all();
  }

  void StartNotifierLocked() MONITOR_REQUIRES(Lock) {
    if (Notifier.joinable() || Stopping) {
      return;
    }
    Notifier = std::thread([this] { RunNotifier(); });
    NotifierId = Notifier.get_id();
  }

  void RunNotifier() {
    rtl::TUniqueLock Guard(Lock);
    for (;;) {
      while (!Stopping && Queue.empty()) {
        Guard.Wait(Changed);
      }
      if (Stopping) {
        return;
      }
      const std::shared_ptr<TRegistration> Registration = std::move(Queue.front().first);
      const bool NowMuted = Queue.front().second;
      Queue.pop_front();
      if (Registration->Active) {
        InFlight = Registration;
        Guard.Unlock();
        platform::Guarded(Debug, "Audio change notification",
                          [&] { Registration->Notify(NowMuted); });
        Guard.Lock();
        InFlight.reset();
      }
      Changed.notify_all();
    }
  }

  void Withdraw(const std::shared_ptr<TRegistration>& ARegistration) {
    rtl::TUniqueLock Guard(Lock);
    ARegistration->Active = false;
    std::erase(Registrations, ARegistration);
    // From inside a handler the call in flight is the caller's own: it ends when it returns.
    if (std::this_thread::get_id() == NotifierId) {
      return;
    }
    while (InFlight == ARegistration) {
      Guard.Wait(Changed);
    }
  }

  void StopNotifier() {
    {
      rtl::TLockGuard Guard(Lock);
      Stopping = true;
      Changed.notify_all();
    }
    if (Notifier.joinable()) {
      Notifier.join();
    }
  }

  uint32_t MixerFault(TSimMixerOp AOp) const MONITOR_REQUIRES(Lock) {
    const auto Found = MixerFaults.find(AOp);
    return Found == MixerFaults.end() ? MMSYSERR_NOERROR_VALUE : Found->second;
  }

  bool ControlExists(uint32_t AControl) const MONITOR_REQUIRES(Lock) {
    switch (AControl) {
    case cSpeakersVolume:
    case cSpeakersMute:
      return true;
    case cMicrophoneVolume:
      return MicrophoneLine;
    case cMicrophoneMute:
      return MicrophoneLine && MicrophoneMuteControl;
    default:
      return false;
    }
  }

  uint32_t Record(TSimMixerCall ACall) MONITOR_REQUIRES(Lock) {
    Calls.push_back(ACall);
    return ACall.Result;
  }
};

namespace {

class TSimCaptureEndpoint : public ICaptureEndpoint {
public:
  TSimCaptureEndpoint(std::shared_ptr<TSimAudio::TState> AState, uint64_t ADevice,
                      uint64_t AGeneration)
      : FState(std::move(AState)), FDevice(ADevice), FGeneration(AGeneration) {}
  ~TSimCaptureEndpoint() override { UnregisterChangeNotify(); }

  uint32_t GetMute(bool& AMuted) override {
    rtl::TLockGuard Guard(FState->Lock);
    if (const uint32_t Error = Refusal(TSimEndpointOp::GetMute)) {
      return Error;
    }
    AMuted = *FState->MutedOf(FDevice, FGeneration);
    return S_OK_VALUE;
  }

  uint32_t SetMute(bool AMuted) override {
    rtl::TLockGuard Guard(FState->Lock);
    ++FState->MuteSets;
    if (const uint32_t Error = Refusal(TSimEndpointOp::SetMute)) {
      return Error;
    }
    const bool Changes = *FState->MutedOf(FDevice, FGeneration) != AMuted;
    FState->SetMutedLocked(FDevice, FGeneration, AMuted);
    return Changes ? S_OK_VALUE : S_FALSE_VALUE;
  }

  // Compared by device, as the platform compares endpoint identifiers: the same device plugged
  // back is the default again, though this endpoint of it is no longer valid.
  bool IsDefault() override {
    rtl::TLockGuard Guard(FState->Lock);
    return FState->MicrophonePresent && FState->Device == FDevice;
  }

  uint32_t RegisterChangeNotify(TEndpointNotify ANotify) override {
    if (!ANotify) {
      return E_POINTER_VALUE;
    }
    if (FRegistration) {
      return E_ILLEGAL_METHOD_CALL_VALUE;
    }
    rtl::TLockGuard Guard(FState->Lock);
    if (const uint32_t Error = Refusal(TSimEndpointOp::Register)) {
      return Error;
    }
    FRegistration =
        std::make_shared<TRegistration>(TRegistration{std::move(ANotify), FDevice, FGeneration});
    FState->Registrations.push_back(FRegistration);
    FState->StartNotifierLocked();
    return S_OK_VALUE;
  }

  void UnregisterChangeNotify() override {
    if (FRegistration) {
      FState->Withdraw(FRegistration);
      FRegistration.reset();
    }
  }

private:
  uint32_t Refusal(TSimEndpointOp AOp) const MONITOR_REQUIRES(FState->Lock) {
    if (const uint32_t Error = FState->Fault(FState->EndpointFaults, AOp)) {
      return Error;
    }
    return FState->MutedOf(FDevice, FGeneration) == nullptr ? AUDCLNT_E_DEVICE_INVALIDATED_VALUE
                                                            : S_OK_VALUE;
  }

  std::shared_ptr<TSimAudio::TState> FState;
  uint64_t FDevice;
  uint64_t FGeneration;
  std::shared_ptr<TRegistration> FRegistration;
};

class TSimMixer : public IMixer {
public:
  TSimMixer(std::shared_ptr<TSimAudio::TState> AState, uint32_t ADevice)
      : FState(std::move(AState)), FDevice(ADevice) {}
  ~TSimMixer() override {
    rtl::TLockGuard Guard(FState->Lock);
    --FState->OpenMixers;
  }

  uint32_t GetLineByComponentType(uint32_t AComponentType, uint32_t& ALineID) override {
    rtl::TLockGuard Guard(FState->Lock);
    TSimMixerCall Call{TSimMixerOp::GetLine};
    Call.ComponentType = AComponentType;
    Call.Result = FState->MixerFault(Call.Op);
    if (Call.Result == MMSYSERR_NOERROR_VALUE) {
      if (AComponentType == MIXERLINE_COMPONENTTYPE_DST_SPEAKERS_VALUE) {
        ALineID = cSpeakersLine;
      } else if (AComponentType == MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE_VALUE &&
                 FState->MicrophoneLine) {
        ALineID = cMicrophoneLine;
      } else {
        Call.Result = MIXERR_INVALLINE_VALUE;
      }
    }
    return FState->Record(Call);
  }

  uint32_t GetLineControlByType(uint32_t ALineID, uint32_t AControlType,
                                uint32_t& AControlID) override {
    rtl::TLockGuard Guard(FState->Lock);
    TSimMixerCall Call{TSimMixerOp::GetControl};
    Call.LineID = ALineID;
    Call.ControlType = AControlType;
    Call.Result = FState->MixerFault(Call.Op);
    if (Call.Result == MMSYSERR_NOERROR_VALUE) {
      uint32_t Volume = cSpeakersVolume;
      uint32_t Mute = cSpeakersMute;
      if (ALineID == cMicrophoneLine && FState->MicrophoneLine) {
        Volume = cMicrophoneVolume;
        Mute = cMicrophoneMute;
      } else if (ALineID != cSpeakersLine) {
        Call.Result = MIXERR_INVALLINE_VALUE;
        return FState->Record(Call);
      }
      const uint32_t Control = AControlType == MIXERCONTROL_CONTROLTYPE_VOLUME_VALUE ? Volume
                               : AControlType == MIXERCONTROL_CONTROLTYPE_MUTE_VALUE
                                   ? Mute
                                   : cControlCount;
      if (FState->ControlExists(Control)) {
        AControlID = Control;
      } else {
        Call.Result = MIXERR_INVALCONTROL_VALUE;
      }
    }
    return FState->Record(Call);
  }

  uint32_t GetControlValue(uint32_t AControlID, uint32_t& AValue) override {
    rtl::TLockGuard Guard(FState->Lock);
    TSimMixerCall Call{TSimMixerOp::GetValue};
    Call.ControlID = AControlID;
    Call.Result = Refusal(Call.Op, AControlID);
    if (Call.Result == MMSYSERR_NOERROR_VALUE) {
      AValue = AControlID == cMicrophoneMute ? (FState->Muted ? 1 : 0) : Values()[AControlID];
    }
    return FState->Record(Call);
  }

  uint32_t SetControlValue(uint32_t AControlID, uint32_t AValue) override {
    rtl::TLockGuard Guard(FState->Lock);
    TSimMixerCall Call{TSimMixerOp::SetValue};
    Call.ControlID = AControlID;
    Call.Value = AValue;
    Call.Result = Refusal(Call.Op, AControlID);
    if (Call.Result == MMSYSERR_NOERROR_VALUE) {
      if (AControlID == cMicrophoneMute) {
        if (FState->MicrophonePresent) {
          FState->SetMutedLocked(FState->Device, FState->Generation, AValue != 0);
        } else {
          FState->Muted = AValue != 0; // no endpoint to tell
        }
      } else {
        Values()[AControlID] = AValue;
      }
    }
    return FState->Record(Call);
  }

private:
  uint32_t Refusal(TSimMixerOp AOp, uint32_t AControlID) const MONITOR_REQUIRES(FState->Lock) {
    if (const uint32_t Error = FState->MixerFault(AOp)) {
      return Error;
    }
    return FState->ControlExists(AControlID) ? MMSYSERR_NOERROR_VALUE : MIXERR_INVALCONTROL_VALUE;
  }

  std::array<uint32_t, cControlCount>& Values() MONITOR_REQUIRES(FState->Lock) {
    auto Found = FState->Values.find(FDevice);
    if (Found == FState->Values.end()) {
      Found = FState->Values.emplace(FDevice, std::array<uint32_t, cControlCount>{}).first;
      Found->second[cSpeakersVolume] = cInitialVolume;
      Found->second[cMicrophoneVolume] = cInitialVolume;
    }
    return Found->second;
  }

  std::shared_ptr<TSimAudio::TState> FState;
  uint32_t FDevice;
};

} // namespace

TSimAudio::TSimAudio(IMainThread& AMainThread, IEnvironment& AEnvironment, IDebugOutput& ADebug)
    : FMainThread(AMainThread), FEnvironment(AEnvironment),
      FState(std::make_shared<TState>(ADebug)) {}

TSimAudio::~TSimAudio() {
  FState->StopNotifier();
}

std::unique_ptr<ICaptureEndpoint> TSimAudio::OpenDefaultCaptureEndpoint(uint32_t& AError) {
  if (!FMainThread.IsMainThread()) {
    throw std::logic_error("the capture endpoint is opened on the main thread only");
  }
  const bool HasEndpoints = FEnvironment.OsVersion().Major >= cFirstEndpointVersion;
  rtl::TLockGuard Guard(FState->Lock);
  ++FState->Opens;
  AError = !HasEndpoints ? REGDB_E_CLASSNOTREG_VALUE
           : !FState->MicrophonePresent
               ? E_NOTFOUND_VALUE
               : FState->Fault(FState->EndpointFaults, TSimEndpointOp::Open);
  if (AError != S_OK_VALUE) {
    return nullptr;
  }
  return std::make_unique<TSimCaptureEndpoint>(FState, FState->Device, FState->Generation);
}

uint32_t TSimAudio::MixerDeviceCount() {
  rtl::TLockGuard Guard(FState->Lock);
  return FState->MixerDevices;
}

std::unique_ptr<IMixer> TSimAudio::OpenMixer(uint32_t ADevice, uint32_t& AError) {
  rtl::TLockGuard Guard(FState->Lock);
  TSimMixerCall Call{TSimMixerOp::Open};
  Call.Device = ADevice;
  Call.Result = FState->MixerFault(Call.Op);
  if (Call.Result == MMSYSERR_NOERROR_VALUE && ADevice >= FState->MixerDevices) {
    Call.Result = MMSYSERR_BADDEVICEID_VALUE;
  }
  AError = FState->Record(Call);
  if (AError != MMSYSERR_NOERROR_VALUE) {
    return nullptr;
  }
  ++FState->OpenMixers;
  return std::make_unique<TSimMixer>(FState, ADevice);
}

void TSimAudio::SetMicrophonePresent(bool APresent) {
  rtl::TLockGuard Guard(FState->Lock);
  if (FState->MicrophonePresent && !APresent) {
    ++FState->Generation;
  }
  FState->MicrophonePresent = APresent;
}

void TSimAudio::ReplaceDefaultMicrophone() {
  rtl::TLockGuard Guard(FState->Lock);
  if (FState->MicrophonePresent) {
    FState->FormerDefaults[FState->Device] = {FState->Generation, FState->Muted};
  }
  FState->Device = FState->NextDevice++;
  ++FState->Generation;
  FState->Muted = false;
  FState->MicrophonePresent = true;
}

bool TSimAudio::Muted() const {
  rtl::TLockGuard Guard(FState->Lock);
  return FState->Muted;
}

void TSimAudio::SetMutedElsewhere(bool AMuted) {
  rtl::TLockGuard Guard(FState->Lock);
  FState->SetMutedLocked(FState->Device, FState->Generation, AMuted);
}

void TSimAudio::FailEndpoint(TSimEndpointOp AOp, uint32_t AResult) {
  rtl::TLockGuard Guard(FState->Lock);
  if (AResult == S_OK_VALUE) {
    FState->EndpointFaults.erase(AOp);
  } else {
    FState->EndpointFaults[AOp] = AResult;
  }
}

int TSimAudio::EndpointOpens() const {
  rtl::TLockGuard Guard(FState->Lock);
  return FState->Opens;
}

int TSimAudio::MuteSets() const {
  rtl::TLockGuard Guard(FState->Lock);
  return FState->MuteSets;
}

int TSimAudio::Registrations() const {
  rtl::TLockGuard Guard(FState->Lock);
  return static_cast<int>(FState->Registrations.size());
}

void TSimAudio::WaitForNotifications() {
  rtl::TUniqueLock Guard(FState->Lock);
  if (std::this_thread::get_id() == FState->NotifierId) {
    throw std::logic_error("a change handler cannot wait for the notifications it is part of");
  }
  while (!FState->Queue.empty() || FState->InFlight) {
    Guard.Wait(FState->Changed);
  }
}

void TSimAudio::SetMixerDevices(uint32_t ACount) {
  rtl::TLockGuard Guard(FState->Lock);
  FState->MixerDevices = ACount;
}

void TSimAudio::SetMicrophoneLine(bool APresent) {
  rtl::TLockGuard Guard(FState->Lock);
  FState->MicrophoneLine = APresent;
}

void TSimAudio::SetMicrophoneMuteControl(bool APresent) {
  rtl::TLockGuard Guard(FState->Lock);
  FState->MicrophoneMuteControl = APresent;
}

void TSimAudio::FailMixer(TSimMixerOp AOp, uint32_t ACode) {
  rtl::TLockGuard Guard(FState->Lock);
  if (ACode == MMSYSERR_NOERROR_VALUE) {
    FState->MixerFaults.erase(AOp);
  } else {
    FState->MixerFaults[AOp] = ACode;
  }
}

std::vector<TSimMixerCall> TSimAudio::MixerCalls() const {
  rtl::TLockGuard Guard(FState->Lock);
  return FState->Calls;
}

int TSimAudio::OpenMixers() const {
  rtl::TLockGuard Guard(FState->Lock);
  return FState->OpenMixers;
}

} // namespace platform::sim
