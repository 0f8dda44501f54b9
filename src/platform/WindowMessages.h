// The platform's window message protocol: the numbers of the messages the system uses, the
// values their parameters take, and the records a device broadcast points to. The numbers
// are the platform's own, so that a message from another process means the same here.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/Guid.h"

namespace platform {

// Message numbers the system uses.
inline constexpr uint32_t WM_CLOSE_MESSAGE = 0x0010;
inline constexpr uint32_t WM_QUERYENDSESSION_MESSAGE = 0x0011;
inline constexpr uint32_t WM_ENDSESSION_MESSAGE = 0x0016;
inline constexpr uint32_t WM_TIMER_MESSAGE = 0x0113;
inline constexpr uint32_t WM_POWERBROADCAST_MESSAGE = 0x0218;
inline constexpr uint32_t WM_WTSSESSION_CHANGE_MESSAGE = 0x02B1;
inline constexpr uint32_t WM_DEVICECHANGE_MESSAGE = 0x0219;
inline constexpr uint32_t WM_USER_MESSAGE = 0x0400;

// wParam values of the device-change message.
inline constexpr uintptr_t DBT_DEVNODES_CHANGED_VALUE = 0x0007;
inline constexpr uintptr_t DBT_DEVICEARRIVAL_VALUE = 0x8000;
inline constexpr uintptr_t DBT_DEVICEQUERYREMOVE_VALUE = 0x8001;
inline constexpr uintptr_t DBT_DEVICEQUERYREMOVEFAILED_VALUE = 0x8002;
inline constexpr uintptr_t DBT_DEVICEREMOVEPENDING_VALUE = 0x8003;
inline constexpr uintptr_t DBT_DEVICEREMOVECOMPLETE_VALUE = 0x8004;
inline constexpr uint32_t DBT_DEVTYP_DEVICEINTERFACE_VALUE = 5;
inline constexpr uint32_t DBT_DEVTYP_HANDLE_VALUE = 6;
// The answer to a query that refuses it; any other answer allows it.
inline constexpr intptr_t BROADCAST_QUERY_DENY_VALUE = 0x424D5144;

// wParam values of the power broadcast and of the session change message.
inline constexpr uintptr_t PBT_APMRESUMESUSPEND_VALUE = 0x0007;
inline constexpr uintptr_t PBT_APMRESUMEAUTOMATIC_VALUE = 0x0012;
inline constexpr uintptr_t WTS_SESSION_UNLOCK_VALUE = 0x0008;

// Show commands.
inline constexpr int32_t SW_HIDE_VALUE = 0;
inline constexpr int32_t SW_SHOWNORMAL_VALUE = 1;
inline constexpr int32_t SW_SHOW_VALUE = 5;

// The header every device broadcast starts with (lParam of arrival and removal).
struct TDevBroadcastHeader {
  uint32_t dbch_size;
  uint32_t dbch_devicetype;
  uint32_t dbch_reserved;
};
static_assert(sizeof(TDevBroadcastHeader) == 12);

// The broadcast of a handle notification (lParam of the query to remove a device, of its
// failure and of the removal): the handle it was registered for and the registration.
struct TDevBroadcastHandle {
  uint32_t dbch_size;
  uint32_t dbch_devicetype;
  uint32_t dbch_reserved;
  uintptr_t dbch_handle;
  uintptr_t dbch_hdevnotify;
  TGuid dbch_eventguid;
  int32_t dbch_nameoffset;
  uint8_t dbch_data[1];
};
static_assert(sizeof(void*) != 8 || sizeof(TDevBroadcastHandle) == 56);
static_assert(sizeof(void*) != 8 || offsetof(TDevBroadcastHandle, dbch_handle) == 16);
static_assert(sizeof(void*) != 8 || offsetof(TDevBroadcastHandle, dbch_hdevnotify) == 24);
static_assert(sizeof(void*) != 8 || offsetof(TDevBroadcastHandle, dbch_nameoffset) == 48);

} // namespace platform
