// TuiHook: watches the user's keyboard and mouse through the low-level hooks of the hook
// library, reports what it sees, has events swallowed by rule, and records single keys, key
// combinations and keyboard and mouse macros.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "hook/HookRecords.h"
#include "hook/HookTypes.h"
#include "platform/Dialogs.h"
#include "platform/Environment.h"
#include "platform/Libraries.h"
#include "rtl/Component.h"
#include "rtl/Events.h"

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
  void AddMouseHookObject(std::unique_ptr<TMouseHookDetailObject> AObject);
  void RemoveAllMouseHookObject() { FMouseHookObjectList.clear(); }
  void AddKeyboardHookObject(std::unique_ptr<TKeyBoardHookDetailObject> AObject);
  void RemoveAllKeyboardHookObject() { FKeyboardHookObjectList.clear(); }
  const TMouseHookObjectList& MouseHookObjects() const { return FMouseHookObjectList; }
  const TKeyboardHookObjectList& KeyboardHookObjects() const { return FKeyboardHookObjectList; }

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
    FOnRecordKeyboardSingleKey = A;
  }
  void SetOnRecordKeyboardComboKey(TOnRecordKeyboardComboKey A) { FOnRecordKeyboardComboKey = A; }
  void SetOnRecordKeyboardComboKey2(TOnRecordKeyboardComboKey2 A) {
    FOnRecordKeyboardComboKey2 = A;
  }
  void SetOnRecordKeyboardMacroKey(TOnRecordKeyboardMacroKey A) { FOnRecordKeyboardMacroKey = A; }
  void SetOnRecordKeyboardMacroKeyEx(TOnRecordKeyboardMacroKeyEx A) {
    FOnRecordKeyboardMacroKeyEx = A;
  }
  void SetOnRecordMouseMacroKey(TOnRecordMouseMacroKey A) { FOnRecordMouseMacroKey = A; }
  void SetOnStopRecordKeyboardMacroKey(TOnStopRecordKeyboardMacroKey A) {
    FOnStopRecordKeyboardMacroKey = A;
  }
  void SetOnStopRecordMouseMacroKey(TOnStopRecordMouseMacroKey A) {
    FOnStopRecordMouseMacroKey = A;
  }
  void SetOnHookKeyboardKey(TOnHookKeyboardKey A) { FOnHookKeyboardKey = A; }
  void SetOnHookKeyboardAllKey(TOnHookKeyboardKey A) { FOnHookKeyboardAllKey = A; }
  void SetOnHookMouseButton(TOnHookMouseButton A) { FOnHookMouseButton = A; }
  void SetOnHookMouseAllButton(TOnHookAllMouseButton A) { FOnHookMouseAllButton = A; }
  void SetOnHookMouseMove(TOnHookMouseMove A) { FOnHookMouseMove = A; }

  // The callbacks, as the hook library calls them (public for the benchmark).
  void MouseHookProc(int32_t ACode, uintptr_t AMessage, const TMSLLHOOKSTRUCT& ARecord,
                     bool& ABlocked);
  void KeyboardHookProc(int32_t ACode, uintptr_t AMessage, const TKBDLLHOOKRECORD& ARecord,
                        bool& ABlocked);

private:
  // The library is loaded with its exports.
  bool Bound() const;
  void EnableKeyboard(THookCallback ACallback);
  void DisableKeyboard();
  void EnableMouse(THookCallback ACallback);
  void DisableMouse();
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
  TKeyboardHookObjectList FKeyboardHookObjectList;
  TMouseHookObjectList FMouseHookObjectList;
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
