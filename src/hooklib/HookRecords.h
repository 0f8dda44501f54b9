// The hook library's interface as the system calls it, and the platform's low-level hook
// records as this build lays them out. The library is loaded through ILibraries by its full
// path beside the program; the four exports are resolved by the names below.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hook {

// The callback the library calls for every low-level event: the context given at enable
// time, the hook code (always 0, an action), the message, the platform's record
// (TMSLLHOOKSTRUCT or TKBDLLHOOKRECORD, valid during the call only) and the blocked flag
// (false when the call starts; true swallows the event). It runs on the library's own thread,
// never the caller's, one event at a time. The system holds the event, for the whole desktop,
// until it returns, and drops a hook that keeps it waiting too long: it must return at once
// and wait for nothing. What it throws is caught in the library and the event passes.
using THookCallback = void (*)(void* AContext, int32_t ACode, uintptr_t AMessage, void* ARecord,
                               bool* ABlocked);
// Enable: any thread. Installs the hook of its kind on the library's thread (started with the
// first hook) with this callback and context, replacing one already there, and returns once it
// is in place. A hook the system refuses is not told: the callback is then never called.
// AReserved is not used. The context must stay valid until the hook is disabled.
using TEnableHook = void (*)(THookCallback ACallback, void* AContext, int32_t AReserved);
// Disable: any thread. Removes the hook of its kind and returns once no callback of it runs
// (and, when no hook is left, once the library's thread has ended); nothing when none is
// installed. Disable every hook before releasing the library: only a disable waits for a
// callback in flight. While Enable and Disable wait, the real library answers what is sent to
// the calling thread (a callback's hand-over to it); the simulated one does not.
// From inside a callback both act at once, on the library's own thread, which stays.
using TDisableHook = void (*)();

inline constexpr const char* cHookLibraryName = "uiHook.dll";
inline constexpr const char* cEnableKeyboardHook = "EnableKeyboardHook";
inline constexpr const char* cDisableKeyboardHook = "DisableKeyboardHook";
inline constexpr const char* cEnableMouseHook = "EnableMouseHook";
inline constexpr const char* cDisableMouseHook = "DisableMouseHook";

// The platform's low-level mouse record.
struct TMSLLHOOKSTRUCT {
  int32_t ptx;
  int32_t pty;
  uint32_t mouseData;
  uint32_t flags;
  uint32_t time;
  uintptr_t dwExtraInfo;
};

// The platform's low-level keyboard record.
struct TKBDLLHOOKRECORD {
  uint32_t vkCode;
  uint32_t scanCode;
  uint32_t flags;
  uint32_t time;
  uintptr_t dwExtraInfo;
};

static_assert(offsetof(TMSLLHOOKSTRUCT, mouseData) == 8 && offsetof(TMSLLHOOKSTRUCT, time) == 16);
static_assert(offsetof(TKBDLLHOOKRECORD, time) == 12);
static_assert(sizeof(void*) != 8 ||
              (sizeof(TMSLLHOOKSTRUCT) == 32 && sizeof(TKBDLLHOOKRECORD) == 24));

// The component's own copy of a keyboard event: five 32-bit fields.
struct TKBDLLHOOKSTRUCT {
  uint32_t vkCode;
  uint32_t scanCode;
  uint32_t flags;
  uint32_t time;
  uint32_t dwExtraInfo;
};
static_assert(sizeof(TKBDLLHOOKSTRUCT) == 20);

inline constexpr uint32_t LLMHF_INJECTED_FLAG = 0x01;
inline constexpr uint32_t LLKHF_EXTENDED_FLAG = 0x01;
inline constexpr uint32_t LLKHF_UP_FLAG = 0x80;

// Mouse messages.
inline constexpr uint32_t WM_MOUSEMOVE_MSG = 0x200;
inline constexpr uint32_t WM_LBUTTONDOWN_MSG = 0x201;
inline constexpr uint32_t WM_LBUTTONUP_MSG = 0x202;
inline constexpr uint32_t WM_RBUTTONDOWN_MSG = 0x204;
inline constexpr uint32_t WM_RBUTTONUP_MSG = 0x205;
inline constexpr uint32_t WM_MBUTTONDOWN_MSG = 0x207;
inline constexpr uint32_t WM_MBUTTONUP_MSG = 0x208;
inline constexpr uint32_t WM_MOUSEWHEEL_MSG = 0x20A;
inline constexpr uint32_t WM_XBUTTONDOWN_MSG = 0x20B;
inline constexpr uint32_t WM_XBUTTONUP_MSG = 0x20C;
inline constexpr uint32_t WM_MOUSEHWHEEL_MSG = 0x20E;
// Keyboard messages.
inline constexpr uint32_t WM_KEYDOWN_MSG = 0x100;
inline constexpr uint32_t WM_KEYUP_MSG = 0x101;

} // namespace hook
