// TuiHIDEvent: tells its owner when an interface of the HID class arrives or is removed and
// when the device tree changed, through a hidden window registered for device notifications;
// and raises one arrival by itself 1500 ms after creation, so that a device plugged in before
// start-up is treated like one plugged in later.
#pragma once

#include <string>
#include <utility>

#include "platform/Dialogs.h"
#include "platform/MessageWindows.h"
#include "rtl/Component.h"
#include "rtl/Events.h"

namespace hid {

inline constexpr uint32_t cStartMonitorDelayMs = 1500;
inline constexpr uintptr_t cStartMonitorTimerId = 1;
inline constexpr const char* cHidInterfaceClassText = "{4d1e55b2-f16f-11cf-88cb-001111000030}";

class TuiHIDEvent : public rtl::TComponent {
public:
  TuiHIDEvent(rtl::TComponent* AOwner, platform::IMessageWindows& AWindows,
              platform::IDebugOutput& ADebug);
  ~TuiHIDEvent() override;
  std::string ClassName() const override { return "TuiHIDEvent"; }

  void SetOnDeviceArrival(rtl::TNotifyEvent AValue) { FOnDeviceArrival = std::move(AValue); }
  void SetOnDeviceRemove(rtl::TNotifyEvent AValue) { FOnDeviceRemove = std::move(AValue); }
  void SetOnDeviceChange(rtl::TNotifyEvent AValue) { FOnDeviceChange = std::move(AValue); }
  platform::TWindowHandle WindowHandle() const { return FWindowHandle; }
  bool Registered() const { return FRegistered; }

private:
  bool WndProc(platform::TWindowMessage& AMessage);
  void DeviceChange(const platform::TWindowMessage& AMessage);
  void Raise(const rtl::TNotifyEvent& AEvent);

  platform::IMessageWindows& FWindows;
  platform::IDebugOutput& FDebug;
  platform::TWindowHandle FWindowHandle = 0;
  bool FRegistered = false;
  rtl::TNotifyEvent FOnDeviceArrival;
  rtl::TNotifyEvent FOnDeviceRemove;
  std::string FUsbGuid;
  rtl::TNotifyEvent FOnDeviceChange;
};

} // namespace hid
