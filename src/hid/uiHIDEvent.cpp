#include "hid/uiHIDEvent.h"

#include "platform/Guarded.h"
#include "platform/Guid.h"
#include "platform/WindowMessages.h"

namespace hid {

TuiHIDEvent::TuiHIDEvent(rtl::TComponent* AOwner, platform::IMessageWindows& AWindows,
                         platform::IDebugOutput& ADebug)
    : rtl::TComponent(AOwner), FWindows(AWindows), FDebug(ADebug) {
  FWindowHandle = FWindows.CreateHiddenWindow(
      [this](platform::TWindowMessage& AMessage) { return WndProc(AMessage); });
  if (FUsbGuid.empty()) {
    FUsbGuid = cHidInterfaceClassText;
  }
  if (const auto Class = platform::ParseGuid(FUsbGuid)) {
    FRegistered = FWindows.RegisterDeviceInterfaceNotification(FWindowHandle, *Class);
  }
  FWindows.PostWindowMessage(FWindowHandle, platform::WM_DEVICECHANGE_MESSAGE,
                             platform::DBT_DEVNODES_CHANGED_VALUE, -1);
  FWindows.StartTimer(FWindowHandle, cStartMonitorTimerId, cStartMonitorDelayMs);
}

TuiHIDEvent::~TuiHIDEvent() {
  if (FWindowHandle != 0) {
    FWindows.DestroyHiddenWindow(FWindowHandle);
  }
}

void TuiHIDEvent::Raise(const rtl::TNotifyEvent& AEvent) {
  if (AEvent.Assigned()) {
    AEvent(this);
  }
}

bool TuiHIDEvent::WndProc(platform::TWindowMessage& AMessage) {
  const bool StartTimer =
      AMessage.Msg == platform::WM_TIMER_MESSAGE && AMessage.WParam == cStartMonitorTimerId;
  if (!StartTimer && AMessage.Msg != platform::WM_DEVICECHANGE_MESSAGE) {
    return false;
  }
  // A failing handler must not unwind through the platform's window procedure.
  platform::Guarded(FDebug, "TuiHIDEvent", [&] {
    if (StartTimer) {
      // One-shot: stopped before the handler runs, so a failing handler cannot repeat it.
      FWindows.StopTimer(FWindowHandle, cStartMonitorTimerId);
      Raise(FOnDeviceArrival);
    } else {
      DeviceChange(AMessage);
    }
  });
  if (!StartTimer) {
    AMessage.Result = 1;
  }
  return true;
}

void TuiHIDEvent::DeviceChange(const platform::TWindowMessage& AMessage) {
  const auto* Header = reinterpret_cast<const platform::TDevBroadcastHeader*>(AMessage.LParam);
  const bool Interface = AMessage.LParam != 0 && AMessage.LParam != -1 &&
                         Header->dbch_devicetype == platform::DBT_DEVTYP_DEVICEINTERFACE_VALUE;
  switch (AMessage.WParam) {
  case platform::DBT_DEVICEARRIVAL_VALUE:
    if (Interface) {
      Raise(FOnDeviceArrival);
    }
    break;
  case platform::DBT_DEVICEREMOVECOMPLETE_VALUE:
    if (Interface) {
      Raise(FOnDeviceRemove);
    }
    break;
  case platform::DBT_DEVNODES_CHANGED_VALUE:
    Raise(FOnDeviceChange);
    break;
  default:
    break;
  }
}

} // namespace hid
