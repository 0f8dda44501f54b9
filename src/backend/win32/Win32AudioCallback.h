// The endpoint volume callback the audio service calls on a thread of its own. The platform's
// unregistration does not wait for a call already in flight, so the callback keeps its own
// account of the calls running the handler: once withdrawn, no call reaches the handler, and
// the withdrawal waits for those that already did.
#pragma once

#include <windows.h>

#include <endpointvolume.h>

#include <atomic>
#include <condition_variable>
#include <vector>

#include "platform/Audio.h"
#include "platform/Dialogs.h"
#include "rtl/Mutex.h"

namespace platform::win32 {

// {657804FA-D6AD-4496-8A60-352752AF4F89}
inline constexpr GUID cIID_IAudioEndpointVolumeCallback = {
    0x657804FA, 0xD6AD, 0x4496, {0x8A, 0x60, 0x35, 0x27, 0x52, 0xAF, 0x4F, 0x89}};

class TWin32VolumeCallback final : public IAudioEndpointVolumeCallback {
public:
  // With one reference, the caller's.
  TWin32VolumeCallback(TEndpointNotify ANotify, IDebugOutput& ADebug);
  TWin32VolumeCallback(const TWin32VolumeCallback&) = delete;
  TWin32VolumeCallback& operator=(const TWin32VolumeCallback&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID AIid, void** AObject) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // Runs the handler unless withdrawn; always S_OK, whatever the handler throws.
  HRESULT STDMETHODCALLTYPE OnNotify(PAUDIO_VOLUME_NOTIFICATION_DATA ANotify) override;

  // When this returns, the handler runs nowhere but possibly further up this very thread's
  // stack, and is never called again.
  void Withdraw() MONITOR_EXCLUDES(FLock);

private:
  ~TWin32VolumeCallback() = default;

  std::atomic<ULONG> FReferences{1};
  TEndpointNotify FNotify;
  IDebugOutput& FDebug;
  rtl::TMutex FLock;
  std::condition_variable FIdle;
  bool FWithdrawn MONITOR_GUARDED_BY(FLock) = false;
  // The threads inside the handler now, one entry per call.
  std::vector<DWORD> FRunning MONITOR_GUARDED_BY(FLock);
};

} // namespace platform::win32
