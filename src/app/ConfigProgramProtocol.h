// What the monitor and the configuration program share: the window classes each finds the
// other by, the messages between the two, the configuration program's file beside the
// monitor, the mutex by which a program sees that a monitor runs, and the function number the
// configuration program stores for a button that mutes the microphone.
#pragma once

#include <cstdint>

namespace app {

// The window messages exchanged with the configuration program. To the monitor: read the
// profiles, or the settings, again from the store. To the configuration program: the monitor
// ends; the mouse switched its hardware profile (sent, wParam the profile); the mouse changed
// its level (wParam the level); the mouse's status reports 6 and 7 (wParam their value).
inline constexpr uint32_t WM_MONITOR_RELOAD_PROFILES = 7035;
inline constexpr uint32_t WM_CONFIG_EXIT = 7036;
inline constexpr uint32_t WM_MONITOR_RELOAD_SETTINGS = 7037;
inline constexpr uint32_t WM_CONFIG_PROFILE_SWITCHED = 7040;
inline constexpr uint32_t WM_CONFIG_CPI_CHANGED = 7042;
inline constexpr uint32_t WM_CONFIG_DEVICE_EVENT_6 = 7043;
inline constexpr uint32_t WM_CONFIG_DEVICE_EVENT_7 = 7044;

inline constexpr const char* cConfigWindowClass = "TTARNCFGMAIN";
inline constexpr const char* cConfigProgramFile = "TARNCFG.EXE";
inline constexpr const char* cMutexName = "TTARNMONMAIN";
inline constexpr const char* cMainWindowClass = "TTARNMONMAIN";

// A button's function index (function type 1) that the monitor runs as the microphone mute.
inline constexpr uint16_t cMicrophoneMuteFunction = 28;

} // namespace app
