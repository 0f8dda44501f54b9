#include <windows.h>

#include <endpointvolume.h>
#include <mmdeviceapi.h>
#include <mmsystem.h>

#include <algorithm>

#include "backend/win32/Win32AudioCallback.h"
#include "backend/win32/Win32Platform.h"
#include "platform/Guarded.h"

namespace platform::win32 {

namespace {

// {BCDE0395-E52F-467C-8E3D-C4579291692E}
constexpr GUID cCLSID_MMDeviceEnumerator = {
    0xBCDE0395, 0xE52F, 0x467C, {0x8E, 0x3D, 0xC4, 0x57, 0x92, 0x91, 0x69, 0x2E}};
// {A95664D2-9614-4F35-A746-DE8DB63617E6}
constexpr GUID cIID_IMMDeviceEnumerator = {
    0xA95664D2, 0x9614, 0x4F35, {0xA7, 0x46, 0xDE, 0x8D, 0xB6, 0x36, 0x17, 0xE6}};
// {5CDF2C82-841E-4546-9722-0CF74078229A}
constexpr GUID cIID_IAudioEndpointVolume = {
    0x5CDF2C82, 0x841E, 0x4546, {0x97, 0x22, 0x0C, 0xF7, 0x40, 0x78, 0x22, 0x9A}};

// The mixer queries exactly as the monitor has always made them.
constexpr DWORD cGetLineByComponentType = MIXER_GETLINEINFOF_COMPONENTTYPE;
constexpr DWORD cGetOneControlByType = MIXER_GETLINECONTROLSF_ONEBYTYPE;
constexpr DWORD cGetValue = MIXER_GETCONTROLDETAILSF_VALUE;
constexpr DWORD cSetValue = MIXER_SETCONTROLDETAILSF_VALUE;
static_assert(cGetLineByComponentType == 3 && cGetOneControlByType == 2 && cGetValue == 0 &&
              cSetValue == 0);

// The component library on the thread that opened the first endpoint, balanced when the
// service and every endpoint it opened have gone, and only on that thread: another thread
// cannot end it, and it then ends with its thread.
class TComApartment {
public:
  TComApartment()
      : FThread(GetCurrentThreadId()),
        FInitialised(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~TComApartment() {
    if (FInitialised && GetCurrentThreadId() == FThread) {
      CoUninitialize();
    }
  }
  TComApartment(const TComApartment&) = delete;
  TComApartment& operator=(const TComApartment&) = delete;

private:
  DWORD FThread;
  bool FInitialised;
};

template <class T> class TComRef {
public:
  TComRef() = default;
  ~TComRef() { Reset(); }
  TComRef(const TComRef&) = delete;
  TComRef& operator=(const TComRef&) = delete;
  T* operator->() const { return FObject; }
  T* Get() const { return FObject; }
  // For a call that hands back a new reference.
  T** Put() {
    Reset();
    return &FObject;
  }
  void Reset() {
    if (FObject != nullptr) {
      FObject->Release();
      FObject = nullptr;
    }
  }

private:
  T* FObject = nullptr;
};

uint32_t Code(HRESULT AResult) {
  return static_cast<uint32_t>(AResult);
}

class TWin32CaptureEndpoint : public ICaptureEndpoint {
public:
  TWin32CaptureEndpoint(std::shared_ptr<TComApartment> AApartment, IDebugOutput& ADebug)
      : FApartment(std::move(AApartment)), FDebug(ADebug) {}

  ~TWin32CaptureEndpoint() override { UnregisterChangeNotify(); }

  uint32_t Open() {
    HRESULT Result =
        CoCreateInstance(cCLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, cIID_IMMDeviceEnumerator,
                         reinterpret_cast<void**>(FEnumerator.Put()));
    if (SUCCEEDED(Result)) {
      Result = FEnumerator->GetDefaultAudioEndpoint(eCapture, eMultimedia, FDevice.Put());
    }
    if (SUCCEEDED(Result)) {
      Result = FDevice->Activate(cIID_IAudioEndpointVolume, CLSCTX_ALL, nullptr,
                                 reinterpret_cast<void**>(FVolume.Put()));
    }
    return Code(Result);
  }

  uint32_t GetMute(bool& AMuted) override {
    BOOL Muted = FALSE;
    const HRESULT Result = FVolume->GetMute(&Muted);
    if (SUCCEEDED(Result)) {
      AMuted = Muted != FALSE;
    }
    return Code(Result);
  }

  uint32_t SetMute(bool AMuted) override {
    return Code(FVolume->SetMute(AMuted ? TRUE : FALSE, nullptr));
  }

  // Endpoint identifiers stay the same across a device's removal and return, as they do across
  // restarts: the same headset plugged back compares equal.
  bool IsDefault() override {
    TComRef<IMMDevice> Default;
    if (FAILED(FEnumerator->GetDefaultAudioEndpoint(eCapture, eMultimedia, Default.Put()))) {
      return false;
    }
    LPWSTR Mine = nullptr;
    LPWSTR Current = nullptr;
    const bool Same = SUCCEEDED(FDevice->GetId(&Mine)) && SUCCEEDED(Default->GetId(&Current)) &&
                      wcscmp(Mine, Current) == 0;
    CoTaskMemFree(Mine);
    CoTaskMemFree(Current);
    return Same;
  }

  uint32_t RegisterChangeNotify(TEndpointNotify ANotify) override {
    if (!ANotify) {
      return E_POINTER_VALUE;
    }
    if (FCallback != nullptr) {
      return E_ILLEGAL_METHOD_CALL_VALUE;
    }
    auto* Callback = new TWin32VolumeCallback(std::move(ANotify), FDebug);
    const HRESULT Result = FVolume->RegisterControlChangeNotify(Callback);
    if (FAILED(Result)) {
      Callback->Release();
      return Code(Result);
    }
    FCallback = Callback;
    return Code(Result);
  }

  void UnregisterChangeNotify() override {
    if (FCallback == nullptr) {
      return;
    }
    // Withdrawn first: a call the platform starts while it unregisters finds the handler gone.
    FCallback->Withdraw();
    FVolume->UnregisterControlChangeNotify(FCallback);
    FCallback->Release();
    FCallback = nullptr;
  }

private:
  // Declared first, so that it ends after every reference below is released.
  std::shared_ptr<TComApartment> FApartment;
  IDebugOutput& FDebug;
  TComRef<IMMDeviceEnumerator> FEnumerator;
  TComRef<IMMDevice> FDevice;
  TComRef<IAudioEndpointVolume> FVolume;
  TWin32VolumeCallback* FCallback = nullptr;
};

HMIXEROBJ MixerObject(HMIXER AMixer) {
  return reinterpret_cast<HMIXEROBJ>(AMixer);
}

class TWin32Mixer : public IMixer {
public:
  explicit TWin32Mixer(HMIXER AMixer) : FMixer(AMixer) {}
  ~TWin32Mixer() override { mixerClose(FMixer); }
  TWin32Mixer(const TWin32Mixer&) = delete;
  TWin32Mixer& operator=(const TWin32Mixer&) = delete;

  uint32_t GetLineByComponentType(uint32_t AComponentType, uint32_t& ALineID) override {
    MIXERLINEW Line{};
    Line.cbStruct = sizeof(Line);
    Line.dwComponentType = AComponentType;
    const MMRESULT Result = mixerGetLineInfoW(MixerObject(FMixer), &Line, cGetLineByComponentType);
    if (Result == MMSYSERR_NOERROR) {
      ALineID = Line.dwLineID;
    }
    return Result;
  }

  uint32_t GetLineControlByType(uint32_t ALineID, uint32_t AControlType,
                                uint32_t& AControlID) override {
    MIXERCONTROLW Control{};
    Control.cbStruct = sizeof(Control);
    MIXERLINECONTROLSW Controls{};
    Controls.cbStruct = sizeof(Controls);
    Controls.dwLineID = ALineID;
    Controls.dwControlType = AControlType;
    Controls.cControls = 1;
    Controls.cbmxctrl = sizeof(Control);
    Controls.pamxctrl = &Control;
    const MMRESULT Result =
        mixerGetLineControlsW(MixerObject(FMixer), &Controls, cGetOneControlByType);
    if (Result == MMSYSERR_NOERROR) {
      AControlID = Control.dwControlID;
    }
    return Result;
  }

  uint32_t GetControlValue(uint32_t AControlID, uint32_t& AValue) override {
    // Some drivers report success for a control without writing its value: it then reads 0.
    DWORD Value = 0;
    MIXERCONTROLDETAILS Details = OneValue(AControlID, Value);
    const MMRESULT Result = mixerGetControlDetailsW(MixerObject(FMixer), &Details, cGetValue);
    if (Result == MMSYSERR_NOERROR) {
      AValue = Value;
    }
    return Result;
  }

  uint32_t SetControlValue(uint32_t AControlID, uint32_t AValue) override {
    DWORD Value = AValue;
    MIXERCONTROLDETAILS Details = OneValue(AControlID, Value);
    return mixerSetControlDetails(MixerObject(FMixer), &Details, cSetValue);
  }

private:
  static MIXERCONTROLDETAILS OneValue(uint32_t AControlID, DWORD& AValue) {
    static_assert(sizeof(AValue) == sizeof(uint32_t));
    MIXERCONTROLDETAILS Details{};
    Details.cbStruct = sizeof(Details);
    Details.dwControlID = AControlID;
    Details.cChannels = 1;
    Details.cbDetails = sizeof(AValue);
    Details.paDetails = &AValue;
    return Details;
  }

  HMIXER FMixer;
};

class TWin32Audio : public IAudio {
public:
  explicit TWin32Audio(IDebugOutput& ADebug) : FDebug(ADebug) {}

  std::unique_ptr<ICaptureEndpoint> OpenDefaultCaptureEndpoint(uint32_t& AError) override {
    if (!FApartment) {
      FApartment = std::make_shared<TComApartment>();
    }
    auto Endpoint = std::make_unique<TWin32CaptureEndpoint>(FApartment, FDebug);
    AError = Endpoint->Open();
    if (AError != S_OK_VALUE) {
      return nullptr;
    }
    return Endpoint;
  }

  uint32_t MixerDeviceCount() override { return mixerGetNumDevs(); }

  std::unique_ptr<IMixer> OpenMixer(uint32_t ADevice, uint32_t& AError) override {
    HMIXER Mixer = nullptr;
    AError = mixerOpen(&Mixer, ADevice, 0, 0, CALLBACK_NULL);
    if (AError != MMSYSERR_NOERROR) {
      return nullptr;
    }
    return std::make_unique<TWin32Mixer>(Mixer);
  }

private:
  IDebugOutput& FDebug;
  std::shared_ptr<TComApartment> FApartment;
};

} // namespace

TWin32VolumeCallback::TWin32VolumeCallback(TEndpointNotify ANotify, IDebugOutput& ADebug)
    : FNotify(std::move(ANotify)), FDebug(ADebug) {}

HRESULT STDMETHODCALLTYPE TWin32VolumeCallback::QueryInterface(REFIID AIid, void** AObject) {
  if (AObject == nullptr) {
    return E_POINTER;
  }
  if (IsEqualIID(AIid, IID_IUnknown) || IsEqualIID(AIid, cIID_IAudioEndpointVolumeCallback)) {
    *AObject = static_cast<IAudioEndpointVolumeCallback*>(this);
    AddRef();
    return S_OK;
  }
  *AObject = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE TWin32VolumeCallback::AddRef() {
  return ++FReferences;
}

ULONG STDMETHODCALLTYPE TWin32VolumeCallback::Release() {
  const ULONG Left = --FReferences;
  if (Left == 0) {
    delete this;
  }
  return Left;
}

HRESULT STDMETHODCALLTYPE TWin32VolumeCallback::OnNotify(PAUDIO_VOLUME_NOTIFICATION_DATA ANotify) {
  // Nothing may unwind into the audio service's thread.
  platform::Guarded(FDebug, "Audio change notification", [&] {
    if (ANotify == nullptr) {
      return;
    }
    const DWORD Self = GetCurrentThreadId();
    {
      rtl::TLockGuard Guard(FLock);
      if (FWithdrawn) {
        return;
      }
      FRunning.push_back(Self);
    }
    platform::Guarded(FDebug, "Audio change notification",
                      [&] { FNotify(ANotify->bMuted != FALSE); });
    rtl::TLockGuard Guard(FLock);
    FRunning.erase(std::find(FRunning.begin(), FRunning.end(), Self));
    FIdle.notify_all();
  });
  return S_OK;
}

void TWin32VolumeCallback::Withdraw() {
  const DWORD Self = GetCurrentThreadId();
  rtl::TUniqueLock Guard(FLock);
  FWithdrawn = true;
  while (!std::all_of(FRunning.begin(), FRunning.end(),
                      [&](DWORD AThread) { return AThread == Self; })) {
    Guard.Wait(FIdle);
  }
}

std::unique_ptr<IAudio> CreateAudio(IDebugOutput& ADebug) {
  return std::make_unique<TWin32Audio>(ADebug);
}

} // namespace platform::win32
