// The hook library: low-level mouse and keyboard hooks on the enabling thread, reported to
// the callback given at enable time; an event is swallowed when the callback sets the
// blocked flag. Releasing the library removes any hook it still holds.
#include <windows.h>

#include "HookCore.h"

namespace {

HMODULE GModule = nullptr;
HHOOK GMouseHook = nullptr;
HHOOK GKeyboardHook = nullptr;
hooklib::THookSlot GMouse;
hooklib::THookSlot GKeyboard;

LRESULT CALLBACK MouseProc(int ACode, WPARAM AWParam, LPARAM ALParam) {
  if (ACode == HC_ACTION && GMouse.Dispatch(ACode, AWParam, reinterpret_cast<void*>(ALParam))) {
    return 1;
  }
  return CallNextHookEx(GMouseHook, ACode, AWParam, ALParam);
}

LRESULT CALLBACK KeyboardProc(int ACode, WPARAM AWParam, LPARAM ALParam) {
  if (ACode == HC_ACTION && GKeyboard.Dispatch(ACode, AWParam, reinterpret_cast<void*>(ALParam))) {
    return 1;
  }
  return CallNextHookEx(GKeyboardHook, ACode, AWParam, ALParam);
}

void Remove(HHOOK& AHook, hooklib::THookSlot& ASlot) {
  ASlot.Disable();
  if (AHook != nullptr) {
    UnhookWindowsHookEx(AHook);
    AHook = nullptr;
  }
}

// Enabling twice leaves one hook: the old one goes first.
void Install(HHOOK& AHook, hooklib::THookSlot& ASlot, int AKind, HOOKPROC AProc,
             hook::THookCallback ACallback, void* AContext) {
  Remove(AHook, ASlot);
  ASlot.Enable(ACallback, AContext);
  AHook = SetWindowsHookExW(AKind, AProc, GModule, 0);
  if (AHook == nullptr) {
    ASlot.Disable();
  }
}

} // namespace

extern "C" {

__declspec(dllexport) void EnableKeyboardHook(hook::THookCallback ACallback, void* AContext,
                                              int32_t AReserved) {
  (void)AReserved;
  try {
    Install(GKeyboardHook, GKeyboard, WH_KEYBOARD_LL, KeyboardProc, ACallback, AContext);
  } catch (...) {
  }
}

__declspec(dllexport) void DisableKeyboardHook() {
  try {
    Remove(GKeyboardHook, GKeyboard);
  } catch (...) {
  }
}

__declspec(dllexport) void EnableMouseHook(hook::THookCallback ACallback, void* AContext,
                                           int32_t AReserved) {
  (void)AReserved;
  try {
    Install(GMouseHook, GMouse, WH_MOUSE_LL, MouseProc, ACallback, AContext);
  } catch (...) {
  }
}

__declspec(dllexport) void DisableMouseHook() {
  try {
    Remove(GMouseHook, GMouse);
  } catch (...) {
  }
}

BOOL WINAPI DllMain(HINSTANCE AInstance, DWORD AReason, LPVOID AReserved) {
  (void)AReserved;
  if (AReason == DLL_PROCESS_ATTACH) {
    GModule = AInstance;
  } else if (AReason == DLL_PROCESS_DETACH) {
    Remove(GMouseHook, GMouse);
    Remove(GKeyboardHook, GKeyboard);
  }
  return TRUE;
}

} // extern "C"
