// TuiHook: watches the user's keyboard and mouse through the low-level hooks of the hook
// library, reports what it sees, has events swallowed by rule, and records single keys, key
// combinations and keyboard and mouse macros.
//
// Threads. The hook library calls the component's callbacks on a thread of its own that does
// nothing but wait for hook calls (the platform holds every pointer event until a low-level
// hook returns, so the hooks must not wait on the main thread's blocking work). Everything
// else of the component is the main thread's:
// - The handlers of OnHookMouseButton, OnHookMouseAllButton, OnHookMouseMove,
//   OnHookKeyboardKey, OnHookKeyboardAllKey and the recorders' OnRecord... events run on the
//   library's thread, inside its hook call; they decide the blocked flag there. A handler
//   that needs the main thread posts to it rather than waits for it: the main thread waits
//   for the library's thread whenever it starts or stops a hook. The OnStopRecord... events
//   run on the thread that stops the recording.
// - Assign or change a handler only while no hook that raises it runs (before its start, or
//   after its stop): the library's thread reads them without a lock.
// - Rules may be added and removed at any time, from the main thread or from a handler: the
//   lists are behind a short lock that a callback holds only for its scan, never while a
//   handler runs or the library is called. MouseHookObjects and KeyboardHookObjects are for
//   the thread that changes the lists.
// - Starting or stopping a hook or a recorder returns once the library has installed or
//   removed the hook; after a stop no callback of that kind runs any more. A recorder's state
//   is reset while its hook is removed, so it is never reset under a running callback. Read
//   the recorded lists and combination from the recorder's events, or after the recording
//   stopped.
// - The component disables its hooks before it releases the library, and is not destroyed
//   from inside one of its own handlers (its library would be released under the callback).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "hook/HookTypes.h"
#include "hooklib/HookRecords.h"
#include "platform/Dialogs.h"
#include "platform/Environment.h"
#include "platform/Libraries.h"
#include "rtl/Component.h"
#include "rtl/Events.h"
#include "rtl/Mutex.h"

namespace hook {

inline constexpr const char* cHookLibraryMissingText = "uiHook.dll can not be found!";
inline constexpr const char* cHookLibraryMissingCaption = "Error";
inline constexpr uint32_t cDLLLoadedFlag = 0xFFFFFFFFu;

enum TMouseStatesToHook : uint8_t { HOOK_DOWN, HOOK_UP };

struct TMouseHookDetail {
  TMouseButtons MouseButton = BUTTON_NONE;
  TMouseButtonStateSet MouseStateSet = 0;
  TMouseButtons ModifiedFunction = BUTTON_NONE;
  TMouseStatesToHook MouseStateToHook = HOOK_DOWN;
};

struct TKeyBoardHookDetail {
  // 0: match by scan code only; -1: the end of the rule list.
  int32_t KeyboardVKKey = 0;
  int32_t KeyboardSCANKey = 0;
  int32_t KeyExtended = 0;
  int32_t block = 0;
};

class TMouseHookDetailObject {
public:
  explicit TMouseHookDetailObject(const TMouseHookDetail& ADetail) : FMouseHookDetail(ADetail) {}
  TMouseHookDetail FMouseHookDetail;
};

class TKeyBoardHookDetailObject {
public:
  explicit TKeyBoardHookDetailObject(const TKeyBoardHookDetail& ADetail)
      : FKeyBoardHookDetail(ADetail) {}
  TKeyBoardHookDetail FKeyBoardHookDetail;
};

struct TMACROKEYHOOK {
  uint16_t nKeyType = 0;
  uint16_t nKeyState = 0;
  uint16_t nKeyValue = 0;
  uint16_t nKeyValueExtended = 0;
  double Time = 0;
  std::string MacroKeyString;
  std::string MacroKeyStateString;
};

struct TMOUSEMACROKEY {
  uint16_t nKeyType = 0;
  uint16_t nKeyState = 0;
  TMouseButtons MouseButton = BUTTON_NONE;
  uint16_t X = 0;
  uint16_t Y = 0;
  uint16_t TimeValue = 0;
  double Time = 0;
  std::string MacroKeyString;
  std::string MacroKeyStateString;
};

class TMacroKeyObject {
public:
  TMACROKEYHOOK FMacroKey;
};

class TMOUSEMacroKeyObject {
public:
  TMOUSEMACROKEY FMOUSEMacroKey;
};

struct TCOMBOKEY {
  uint16_t nKeyValue1 = 0;
  uint16_t nKeyValue1Extended = 0;
  uint16_t nKeyValue2 = 0;
  uint16_t nKeyValue2Extended = 0;
  uint16_t nModifier = 0;
  uint32_t nScanKey1 = 0;
  uint32_t nScanKey2 = 0;
};

// Entry lists: each entry under the decimal text of its position.
using TMacroKeyList = std::vector<std::pair<std::string, std::unique_ptr<TMacroKeyObject>>>;
using TMouseMacroKeyList =
    std::vector<std::pair<std::string, std::unique_ptr<TMOUSEMacroKeyObject>>>;
using TMouseHookObjectList =
    std::vector<std::pair<std::string, std::unique_ptr<TMouseHookDetailObject>>>;
using TKeyboardHookObjectList =
    std::vector<std::pair<std::string, std::unique_ptr<TKeyBoardHookDetailObject>>>;

using TOnHookKeyboardKey = rtl::TMethodEvent<void(int32_t Key, int32_t AState, int32_t AKeyExtended,
                                                  bool& ABlocked, uint32_t AScanKey)>;
using TOnHookMouseButton =
    rtl::TMethodEvent<void(TMouseButtons AuiButton, int32_t AState, bool& ABlocked)>;
using TOnHookAllMouseButton = rtl::TMethodEvent<void(TMouseButtons AuiButton, int32_t AState,
                                                     int16_t AExValue, bool& ABlocked)>;
using TOnHookMouseMove = rtl::TMethodEvent<void(int32_t X, int32_t Y, double Time)>;
using TOnRecordKeyboardSingleKey =
    rtl::TMethodEvent<void(int32_t Key, uint32_t ScanKey, int32_t AState, int32_t AKeyExtended,
                           const std::string& SingleKeyString, bool& ABlocked)>;
using TOnRecordKeyboardComboKey =
    rtl::TMethodEvent<void(int32_t Key1, int32_t Key1Extended, int32_t Key2, int32_t Key2Extended,
                           int32_t Modifier, const std::string& ComboKeyString)>;
using TOnRecordKeyboardComboKey2 = rtl::TMethodEvent<void(
    int32_t Key1, int32_t ScanKey1, int32_t Key1Extended, int32_t Key2, int32_t ScanKey2,
    int32_t Key2Extended, int32_t Modifier, const std::string& ComboKeyString)>;
using TOnRecordKeyboardMacroKey =
    rtl::TMethodEvent<void(int32_t MacroType, int32_t Key1, int32_t AState, int32_t Extended,
                           double Time, const std::string& MacroKeyString,
                           const std::string& MacroKeyStateString, TMacroKeyList& KeyList)>;
using TOnRecordKeyboardMacroKeyEx =
    rtl::TMethodEvent<void(int32_t MacroType, int32_t Key1, int32_t AState, int32_t Extended,
                           double Time, uint32_t TotalTime, const std::string& MacroKeyString,
                           const std::string& MacroKeyStateString, TMacroKeyList& KeyList)>;
using TOnRecordMouseMacroKey = rtl::TMethodEvent<void(
    int32_t MacroType, TMouseButtons AButton, int32_t AState, uint16_t X, uint16_t Y, double Time,
    const std::string& MacroKeyString, const std::string& MacroKeyStateString,
    TMouseMacroKeyList& MouseRecordList)>;
using TOnStopRecordKeyboardMacroKey = rtl::TMethodEvent<void(TMacroKeyList& KeyoboardRecordList)>;
using TOnStopRecordMouseMacroKey = rtl::TMethodEvent<void(TMouseMacroKeyList& MouseRecordList)>;

struct THookServices {
  platform::ILibraries& Libraries;
  platform::IKeyboardState& Keyboard;
  platform::IDialogs& Dialogs;
  // The program's folder, where the hook library is loaded from.
  platform::IEnvironment& Environment;
};

// The process-wide binding of the hook library, loaded by its full path. 1 when it is loaded
// with its four exports.
int LoadHookLibrary(platform::ILibraries& ALibraries, const std::string& AFullPath);
void UnloadHookLibrary();

// The Ex recorder stops once its list holds more entries than this.
inline constexpr std::size_t cMaxExMacroEntries = 500;

class TuiHook : public rtl::TComponent {
public:
  TuiHook(rtl::TComponent* AOwner, const THookServices& AServices);
  ~TuiHook() override;
  std::string ClassName() const override { return "TuiHook"; }

  bool DLLLoaded() const { return FDLLLoaded == cDLLLoadedFlag; }

  void StartHookMouse();
  void StopHookMouse();
  void StartHookKeyboard();
  void StopHookKeyboard();
  void AddMouseHookObject(std::unique_ptr<TMouseHookDetailObject> AObject)
      MONITOR_EXCLUDES(FRuleLock);
  void RemoveAllMouseHookObject() MONITOR_EXCLUDES(FRuleLock);
  void AddKeyboardHookObject(std::unique_ptr<TKeyBoardHookDetailObject> AObject)
      MONITOR_EXCLUDES(FRuleLock);
  void RemoveAllKeyboardHookObject() MONITOR_EXCLUDES(FRuleLock);
  // Copies of the rules with their texts, taken under the lock: the hook's thread scans them
  // while the main thread changes them.
  std::vector<std::pair<std::string, TMouseHookDetail>> MouseHookObjects() const
      MONITOR_EXCLUDES(FRuleLock);
  std::vector<std::pair<std::string, TKeyBoardHookDetail>> KeyboardHookObjects() const
      MONITOR_EXCLUDES(FRuleLock);

  void RecordKeyboardSingleKey();
  void StopRecordKeyboardSingleKey() { DisableKeyboard(); }
  void RecordKeyboardComboKey();
  void StopRecordKeyboardComboKey();
  void RecordKeyboardMacroKey();
  void RecordKeyboardMacroKeyEx();
  void StopRecordKeyboardMacroKey();
  void StopRecordKeyboardMacroKeyEx() { StopRecordKeyboardMacroKey(); }
  void RecordMouseMacro();
  void StopRecordMouseMacro();
  TMacroKeyList& MacroKeyList() { return FMacroKeyList; }
  TMouseMacroKeyList& MouseMacroKeyList() { return FMouseMacroKeyList; }
  const TCOMBOKEY& ComboKeyInfo() const { return FComboKeyInfo; }
  const std::string& ComboKeyString() const { return FComboKeyString; }

  void SetOnRecordKeyboardSingleKey(TOnRecordKeyboardSingleKey A) {
    FOnRecordKeyboardSingleKey = std::move(A);
  }
  void SetOnRecordKeyboardComboKey(TOnRecordKeyboardComboKey A) {
    FOnRecordKeyboardComboKey = std::move(A);
  }
  void SetOnRecordKeyboardComboKey2(TOnRecordKeyboardComboKey2 A) {
    FOnRecordKeyboardComboKey2 = std::move(A);
  }
  void SetOnRecordKeyboardMacroKey(TOnRecordKeyboardMacroKey A) {
    FOnRecordKeyboardMacroKey = std::move(A);
  }
  void SetOnRecordKeyboardMacroKeyEx(TOnRecordKeyboardMacroKeyEx A) {
    FOnRecordKeyboardMacroKeyEx = std::move(A);
  }
  void SetOnRecordMouseMacroKey(TOnRecordMouseMacroKey A) { FOnRecordMouseMacroKey = std::move(A); }
  void SetOnStopRecordKeyboardMacroKey(TOnStopRecordKeyboardMacroKey A) {
    FOnStopRecordKeyboardMacroKey = std::move(A);
  }
  void SetOnStopRecordMouseMacroKey(TOnStopRecordMouseMacroKey A) {
    FOnStopRecordMouseMacroKey = std::move(A);
  }
  void SetOnHookKeyboardKey(TOnHookKeyboardKey A) { FOnHookKeyboardKey = std::move(A); }
  void SetOnHookKeyboardAllKey(TOnHookKeyboardKey A) { FOnHookKeyboardAllKey = std::move(A); }
  void SetOnHookMouseButton(TOnHookMouseButton A) { FOnHookMouseButton = std::move(A); }
  void SetOnHookMouseAllButton(TOnHookAllMouseButton A) { FOnHookMouseAllButton = std::move(A); }
  void SetOnHookMouseMove(TOnHookMouseMove A) { FOnHookMouseMove = std::move(A); }

  // The callbacks, as the hook library calls them on its thread (public for the benchmark).
  void MouseHookProc(int32_t ACode, uintptr_t AMessage, const TMSLLHOOKSTRUCT& ARecord,
                     bool& ABlocked);
  void KeyboardHookProc(int32_t ACode, uintptr_t AMessage, const TKBDLLHOOKRECORD& ARecord,
                        bool& ABlocked);

private:
  // The library is loaded with its exports.
  bool Bound() const;
  // Removes the hook of the kind, runs AReset (a recorder's state, with no callback of that
  // kind running), then installs ACallback when there is one.
  void ReplaceKeyboardHook(THookCallback ACallback, const std::function<void()>& AReset = {});
  void DisableKeyboard() { ReplaceKeyboardHook(nullptr); }
  void ReplaceMouseHook(THookCallback ACallback, const std::function<void()>& AReset = {});
  void DisableMouse() { ReplaceMouseHook(nullptr); }
  void RecordSingleKeyProc(const TKBDLLHOOKRECORD& ARecord, bool& ABlocked);
  void RecordComboKeyProc(const TKBDLLHOOKRECORD& ARecord, bool& ABlocked);
  void RecordMacroKeyProc(const TKBDLLHOOKRECORD& ARecord, bool& ABlocked);
  void RecordMacroKeyExProc(const TKBDLLHOOKRECORD& ARecord, bool& ABlocked);
  void RecordMouseMacroProc(uintptr_t AMessage, const TMSLLHOOKSTRUCT& ARecord);
  TMacroKeyObject& AppendMacroEntry(const TMACROKEYHOOK& AEntry);
  TMOUSEMacroKeyObject& AppendMouseEntry(const TMOUSEMACROKEY& AEntry);
  friend struct THookThunks;

  THookServices FServices;
  uint32_t FDLLLoaded = 0;
  TOnRecordKeyboardSingleKey FOnRecordKeyboardSingleKey;
  TOnRecordKeyboardComboKey FOnRecordKeyboardComboKey;
  TOnRecordKeyboardComboKey2 FOnRecordKeyboardComboKey2;
  TOnRecordKeyboardMacroKey FOnRecordKeyboardMacroKey;
  TOnRecordKeyboardMacroKeyEx FOnRecordKeyboardMacroKeyEx;
  TOnStopRecordKeyboardMacroKey FOnStopRecordKeyboardMacroKey;
  TOnStopRecordMouseMacroKey FOnStopRecordMouseMacroKey;
  TOnRecordMouseMacroKey FOnRecordMouseMacroKey;
  TOnHookKeyboardKey FOnHookKeyboardKey;
  TOnHookMouseButton FOnHookMouseButton;
  TCOMBOKEY FComboKeyInfo;
  std::string FComboKeyString;
  TMacroKeyList FMacroKeyList;
  TMouseMacroKeyList FMouseMacroKeyList;
  // Guards the two rule lists.
  mutable rtl::TMutex FRuleLock;
  TKeyboardHookObjectList FKeyboardHookObjectList MONITOR_GUARDED_BY(FRuleLock);
  TMouseHookObjectList FMouseHookObjectList MONITOR_GUARDED_BY(FRuleLock);
  uint32_t FLastTimeKeyboardMacro = 0;
  uint32_t FLastTimeKeyboardCombo = 0;
  uint32_t FLastTimeMouseMacro = 0;
  TOnHookKeyboardKey FOnHookKeyboardAllKey;
  uint32_t FTotalMacroTime = 0;
  TKBDLLHOOKSTRUCT FLastMacroKey{};
  std::array<uint8_t, 256> FAllKeyState{};
  TOnHookAllMouseButton FOnHookMouseAllButton;
  TOnHookMouseMove FOnHookMouseMove;
};

} // namespace hook
