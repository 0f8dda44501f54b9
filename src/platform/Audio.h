// The default recording device's mute state: the audio endpoint on newer systems, and the
// legacy mixer. Errors are the platform's own numbers (HRESULTs for the endpoint, 0 or an
// MMSYSERR code for the mixer).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

// Results of the endpoint path.
inline constexpr uint32_t S_OK_VALUE = 0;
inline constexpr uint32_t S_FALSE_VALUE = 1;             // SetMute: the state already was so
inline constexpr uint32_t E_NOTFOUND_VALUE = 0x80070490; // no recording device
inline constexpr uint32_t E_POINTER_VALUE = 0x80004003;
inline constexpr uint32_t E_ILLEGAL_METHOD_CALL_VALUE = 0x8000000E;
inline constexpr uint32_t REGDB_E_CLASSNOTREG_VALUE = 0x80040154; // no endpoints before NT 6
inline constexpr uint32_t AUDCLNT_E_DEVICE_INVALIDATED_VALUE = 0x88890004; // the device went

// Results of the mixer path.
inline constexpr uint32_t MMSYSERR_NOERROR_VALUE = 0;
inline constexpr uint32_t MMSYSERR_ERROR_VALUE = 1;
inline constexpr uint32_t MMSYSERR_BADDEVICEID_VALUE = 2;
inline constexpr uint32_t MMSYSERR_NODRIVER_VALUE = 6;
inline constexpr uint32_t MIXERR_INVALLINE_VALUE = 1024;
inline constexpr uint32_t MIXERR_INVALCONTROL_VALUE = 1025;

// Mixer line component types and control types.
inline constexpr uint32_t MIXERLINE_COMPONENTTYPE_DST_SPEAKERS_VALUE = 4;
inline constexpr uint32_t MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE_VALUE = 0x1003;
inline constexpr uint32_t MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC_VALUE = 0x1004;
inline constexpr uint32_t MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT_VALUE = 0x1008;
inline constexpr uint32_t MIXERCONTROL_CONTROLTYPE_MUTE_VALUE = 0x20010002;
inline constexpr uint32_t MIXERCONTROL_CONTROLTYPE_VOLUME_VALUE = 0x50030001;
inline constexpr uint32_t MIXERCONTROL_CONTROLTYPE_BASS_VALUE = 0x50030002;

// ANotify(AMuted): the endpoint's volume or mute state changed; AMuted is the mute state the
// change left.
using TEndpointNotify = std::function<void(bool AMuted)>;

// The endpoint volume of the default capture endpoint. The calls may come from any thread
// and block while the audio service answers. The caller owns the object, and it may outlive
// the service that opened it; the component library is balanced only when the last of them
// goes on the opening thread (elsewhere it stays until that thread ends).
class ICaptureEndpoint {
public:
  // Withdraws a change registration still held, as UnregisterChangeNotify does (and so may
  // wait for a handler that is running).
  virtual ~ICaptureEndpoint() = default;
  // HRESULT; AMuted is set on success only. AUDCLNT_E_DEVICE_INVALIDATED_VALUE once the
  // device has gone.
  virtual uint32_t GetMute(bool& AMuted) = 0;
  // Sets the mute state with no event context: S_OK_VALUE when it changed, S_FALSE_VALUE when
  // it already was so; else an HRESULT (AUDCLNT_E_DEVICE_INVALIDATED_VALUE once the device has
  // gone).
  virtual uint32_t SetMute(bool AMuted) = 0;
  // Main thread: whether this endpoint's device is the default capture device now (the user
  // may have chosen another, or unplugged this one). An endpoint of a device that went and came
  // back is its default again, but answers AUDCLNT_E_DEVICE_INVALIDATED_VALUE: open a new one.
  // False when there is no default or it cannot be told.
  virtual bool IsDefault() = 0;
  // ANotify runs on a thread of the audio service whenever the volume or mute state changes
  // (also after this process's own SetMute); it may run on several such threads at once.
  // What it throws is kept inside (one line on the debugger output). It must not wait for a
  // thread that may be unregistering: an unregister waits for it. One registration at a time
  // (E_ILLEGAL_METHOD_CALL_VALUE for a second); E_POINTER_VALUE for an empty ANotify;
  // AUDCLNT_E_DEVICE_INVALIDATED_VALUE once the device has gone. HRESULT. The endpoint keeps
  // ANotify until it is unregistered or the endpoint goes.
  virtual uint32_t RegisterChangeNotify(TEndpointNotify ANotify) = 0;
  // Any thread; blocks until a running ANotify has returned: when this returns, ANotify is
  // not running and will not run again. Called from inside ANotify, it returns at once and
  // ANotify is not called again after it ends. Nothing when none is registered.
  virtual void UnregisterChangeNotify() = 0;
};

// One open mixer device; closed when destroyed, and it may outlive the service that opened it.
// Component types and control types are the platform's (the *_VALUE constants above). Any
// thread, one at a time; every call blocks briefly on the mixer driver. Results are 0 or an
// MMSYSERR code; an out argument is set on success only.
class IMixer {
public:
  virtual ~IMixer() = default;
  // The first line of a component type: MIXERR_INVALLINE_VALUE when the device has none.
  virtual uint32_t GetLineByComponentType(uint32_t AComponentType, uint32_t& ALineID) = 0;
  // The one control of a type on the line: an error when the line has no such control
  // (MIXERR_INVALCONTROL_VALUE on Windows, 8 under Wine); MIXERR_INVALLINE_VALUE for an
  // unknown line.
  virtual uint32_t GetLineControlByType(uint32_t ALineID, uint32_t AControlType,
                                        uint32_t& AControlID) = 0;
  // The control's value: one channel, one 32-bit value; AValue is 0 when the platform reports
  // success without writing it. MIXERR_INVALCONTROL_VALUE for an unknown control.
  virtual uint32_t GetControlValue(uint32_t AControlID, uint32_t& AValue) = 0;
  // MIXERR_INVALCONTROL_VALUE for an unknown control.
  virtual uint32_t SetControlValue(uint32_t AControlID, uint32_t AValue) = 0;
};

class IAudio {
public:
  virtual ~IAudio() = default;
  // Main thread only (the simulated world throws std::logic_error elsewhere): initialises the
  // platform's component library for this thread as a single-threaded apartment (once per
  // service, balanced when the service and its endpoints have gone), then opens the default
  // capture endpoint (capture, multimedia) and its endpoint volume interface; blocks while the
  // audio service answers. Null with an HRESULT in AError on failure: E_NOTFOUND_VALUE when
  // there is no recording device, REGDB_E_CLASSNOTREG_VALUE on systems before NT 6. The caller
  // owns the endpoint.
  virtual std::unique_ptr<ICaptureEndpoint> OpenDefaultCaptureEndpoint(uint32_t& AError) = 0;
  // Any thread: how many mixer devices there are (0 for none); never fails.
  virtual uint32_t MixerDeviceCount() = 0;
  // Any thread. Null with AError on failure: MMSYSERR_BADDEVICEID_VALUE for a device that does
  // not exist. The caller owns the mixer.
  virtual std::unique_ptr<IMixer> OpenMixer(uint32_t ADevice, uint32_t& AError) = 0;
};

} // namespace platform
