// The simulated audio service: a microphone (the default recording device) that can be
// absent, appear later or go, carries a mute state and tells registered handlers of every
// change on a thread of its own, as the platform does; and a legacy mixer with or without
// devices, a microphone line and its mute control, whose reads and writes fail on demand.
// The mixer's microphone mute is the microphone's own mute state, as on systems where the
// mixer is built over the endpoints. Every mixer call is recorded with its arguments.
#pragma once

#include <memory>
#include <vector>

#include "platform/Audio.h"
#include "platform/Dialogs.h"
#include "platform/Environment.h"
#include "platform/MainThread.h"

namespace platform::sim {

enum class TSimEndpointOp { Open, GetMute, SetMute, Register };
enum class TSimMixerOp { Open, GetLine, GetControl, GetValue, SetValue };

struct TSimMixerCall {
  TSimMixerOp Op;
  uint32_t Device = 0;        // Open
  uint32_t ComponentType = 0; // GetLine
  uint32_t LineID = 0;        // GetControl
  uint32_t ControlType = 0;   // GetControl
  uint32_t ControlID = 0;     // GetValue, SetValue
  uint32_t Value = 0;         // SetValue
  uint32_t Result = 0;
};

class TSimAudio : public IAudio {
public:
  // The endpoint is opened on the main thread only (AMainThread says which it is); before NT 6
  // (AEnvironment's version) there are no endpoints; ADebug takes what handlers throw.
  TSimAudio(IMainThread& AMainThread, IEnvironment& AEnvironment, IDebugOutput& ADebug);
  ~TSimAudio() override;
  TSimAudio(const TSimAudio&) = delete;
  TSimAudio& operator=(const TSimAudio&) = delete;

  std::unique_ptr<ICaptureEndpoint> OpenDefaultCaptureEndpoint(uint32_t& AError) override;
  uint32_t MixerDeviceCount() override;
  std::unique_ptr<IMixer> OpenMixer(uint32_t ADevice, uint32_t& AError) override;

  // ---- The microphone ----
  // Present (unmuted) by default. Its going invalidates the endpoints opened for it; when it
  // comes back (the same device, its mute state kept) it needs a new endpoint.
  void SetMicrophonePresent(bool APresent);
  // Another recording device (unmuted) becomes the default, as when the user picks one or
  // plugs in a headset; the former default stays, with its endpoints and its mute state.
  void ReplaceDefaultMicrophone();
  // The default microphone's mute state.
  bool Muted() const;
  // Another program changes the mute state; registered handlers hear of a change.
  void SetMutedElsewhere(bool AMuted);
  // Every later call of that kind fails with AResult (an HRESULT), until cleared with 0.
  void FailEndpoint(TSimEndpointOp AOp, uint32_t AResult);
  int EndpointOpens() const;
  int MuteSets() const;
  int Registrations() const;
  // Blocks until every notification raised so far has been delivered.
  void WaitForNotifications();

  // ---- The legacy mixer ----
  // One device by default, with a speakers line (volume, mute) and a microphone line
  // (volume, mute).
  void SetMixerDevices(uint32_t ACount);
  void SetMicrophoneLine(bool APresent);
  void SetMicrophoneMuteControl(bool APresent);
  // Every later call of that kind fails with ACode (MMSYSERR), until cleared with 0.
  void FailMixer(TSimMixerOp AOp, uint32_t ACode);
  std::vector<TSimMixerCall> MixerCalls() const;
  int OpenMixers() const;

  struct TState;

private:
  IMainThread& FMainThread;
  IEnvironment& FEnvironment;
  std::shared_ptr<TState> FState;
};

} // namespace platform::sim
