// The default recording device's mute state: the audio endpoint on newer systems, and the
// legacy mixer. Errors are the platform's own numbers (HRESULTs for the endpoint, 0 or an
// MMSYSERR code for the mixer).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

inline constexpr uint32_t E_NOTFOUND_VALUE = 0x80070490; // no recording device

class ICaptureEndpoint {
public:
  // Withdraws a change registration still held.
  virtual ~ICaptureEndpoint() = default;
  virtual bool GetMute(bool& AMuted) = 0;
  // Sets the mute state with no event context.
  virtual bool SetMute(bool AMuted) = 0;
  // ANotify runs on a thread of the audio service whenever the volume or mute state changes
  // (also after this process's own SetMute). One registration at a time.
  virtual bool RegisterChangeNotify(std::function<void()> ANotify) = 0;
  // When this returns, ANotify is not running and will not run again.
  virtual void UnregisterChangeNotify() = 0;
};

// One open mixer device; closed when destroyed. Component types, control types and the
// query flags are the platform's (MIXERLINE_COMPONENTTYPE_*, MIXERCONTROL_CONTROLTYPE_*).
class IMixer {
public:
  virtual ~IMixer() = default;
  // The line of a component type (query by component type).
  virtual uint32_t GetLineByComponentType(uint32_t AComponentType, uint32_t& ALineID) = 0;
  // The one control of a type on the line (query one by type).
  virtual uint32_t GetLineControlByType(uint32_t ALineID, uint32_t AControlType,
                                        uint32_t& AControlID) = 0;
  // The control's value: one channel, one 32-bit value.
  virtual uint32_t GetControlValue(uint32_t AControlID, uint32_t& AValue) = 0;
  virtual uint32_t SetControlValue(uint32_t AControlID, uint32_t AValue) = 0;
};

class IAudio {
public:
  virtual ~IAudio() = default;
  // Main thread: initialises the platform's component library for this thread as a single-
  // threaded apartment, then opens the default capture endpoint (capture, multimedia) and
  // its endpoint volume interface. Null with AError on failure (E_NOTFOUND_VALUE when there
  // is no recording device).
  virtual std::unique_ptr<ICaptureEndpoint> OpenDefaultCaptureEndpoint(uint32_t& AError) = 0;
  virtual uint32_t MixerDeviceCount() = 0;
  virtual std::unique_ptr<IMixer> OpenMixer(uint32_t ADevice, uint32_t& AError) = 0;
};

} // namespace platform
