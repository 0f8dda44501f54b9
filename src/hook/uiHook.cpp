#include "hook/uiHook.h"

#include <algorithm>

#include "hook/uiKeyCode.h"
#include "rtl/Paths.h"

namespace hook {

namespace {

struct THookBinding {
  std::unique_ptr<platform::ILoadedLibrary> Library;
  bool Loaded = false;
  // Whether the last load attempt found the library at all (a missing export is quiet).
  bool LastFound = false;
  TEnableHook EnableKeyboardHook = nullptr;
  TDisableHook DisableKeyboardHook = nullptr;
  TEnableHook EnableMouseHook = nullptr;
  TDisableHook DisableMouseHook = nullptr;
};

THookBinding& Binding() {
  static THookBinding Instance;
  return Instance;
}

constexpr const char* cUpText = "Up";
constexpr const char* cDownText = "Down";
constexpr const char* cDelayText = "ms";
constexpr uint32_t cComboWindowMs = 100;
constexpr uint32_t cMinMacroDelayMs = 10;
constexpr uint32_t cMaxMacroDelayMs = 2000;
constexpr uint32_t cMaxExDelay = 65535;

// Modifier bits of a combination.
constexpr uint16_t cAltBit = 1;
constexpr uint16_t cCtrlBit = 2;
constexpr uint16_t cShiftBit = 4;
constexpr uint16_t cWinBit = 8;
constexpr int16_t cKeyDownBit = 0x80;

int32_t KeyState(uint32_t AFlags) {
  return (AFlags & LLKHF_UP_FLAG) != 0 ? 0 : 1;
}
int32_t KeyExtended(uint32_t AFlags) {
  return (AFlags & LLKHF_EXTENDED_FLAG) != 0 ? 1 : 0;
}
const char* StateText(int32_t AState) {
  return AState != 0 ? cDownText : cUpText;
}

bool IsModifierKey(uint32_t AKey) {
  return AKey == 0x5B || AKey == 0x5C || (AKey >= 0xA0 && AKey <= 0xA5);
}

int32_t MouseState(uintptr_t AMessage) {
  return (AMessage == WM_LBUTTONUP_MSG || AMessage == WM_RBUTTONUP_MSG ||
          AMessage == WM_MBUTTONUP_MSG || AMessage == WM_XBUTTONUP_MSG)
             ? 0
             : 1;
}

int16_t HighWord(uint32_t AValue) {
  return static_cast<int16_t>(AValue >> 16);
}

// The button a mouse message is about; AWheelUpWhenPositive chooses the wheel's direction
// (the rule callback and the recorder read it in opposite senses).
TMouseButtons MouseButton(uintptr_t AMessage, uint32_t AMouseData, bool AWheelUpWhenPositive,
                          int16_t& AExValue) {
  AExValue = 0;
  switch (AMessage) {
  case WM_XBUTTONDOWN_MSG:
  case WM_XBUTTONUP_MSG:
    AExValue = HighWord(AMouseData);
    return AExValue == 1 ? XCLICK4 : AExValue == 2 ? XCLICK5 : BUTTON_NONE;
  case WM_MOUSEWHEEL_MSG: {
    AExValue = HighWord(AMouseData);
    if (AExValue == 0) {
      return BUTTON_NONE;
    }
    return (AExValue > 0) == AWheelUpWhenPositive ? WHEELUP : WHEELDOWN;
  }
  case WM_LBUTTONDOWN_MSG:
  case WM_LBUTTONUP_MSG:
    return LCLICK;
  case WM_RBUTTONDOWN_MSG:
  case WM_RBUTTONUP_MSG:
    return RCLICK;
  case WM_MBUTTONDOWN_MSG:
  case WM_MBUTTONUP_MSG:
    return MCLICK;
  default:
    return BUTTON_NONE;
  }
}

// Positions left of or above the primary monitor do not fit the entry: they are clamped.
uint16_t Coordinate(int32_t AValue) {
  return static_cast<uint16_t>(std::clamp<int32_t>(AValue, 0, 0xFFFF));
}

// The gap between two 32-bit millisecond stamps, across a counter wrap.
uint32_t AbsoluteGap(uint32_t A, uint32_t B) {
  return std::min(A - B, B - A);
}

} // namespace

// The callbacks handed to the library: nothing thrown by a handler ever reaches it.
struct THookThunks {
  template <class TRecord, class TCall>
  static void Run(void* AContext, void* ARecord, bool* ABlocked, TCall ACall) {
    if (AContext == nullptr || ARecord == nullptr || ABlocked == nullptr) {
      return;
    }
    try {
      ACall(*static_cast<TuiHook*>(AContext), *static_cast<const TRecord*>(ARecord), *ABlocked);
    } catch (...) {
      // A failing handler never swallows the user's input.
      *ABlocked = false;
    }
  }
  static void Mouse(void* AContext, int32_t ACode, uintptr_t AMessage, void* ARecord,
                    bool* ABlocked) {
    Run<TMSLLHOOKSTRUCT>(AContext, ARecord, ABlocked,
                         [&](TuiHook& AHook, const auto& ARec, bool& ABl) {
                           AHook.MouseHookProc(ACode, AMessage, ARec, ABl);
                         });
  }
  static void Keyboard(void* AContext, int32_t ACode, uintptr_t AMessage, void* ARecord,
                       bool* ABlocked) {
    Run<TKBDLLHOOKRECORD>(AContext, ARecord, ABlocked,
                          [&](TuiHook& AHook, const auto& ARec, bool& ABl) {
                            AHook.KeyboardHookProc(ACode, AMessage, ARec, ABl);
                          });
  }
  // The keyboard recorders differ only in the procedure they run.
  template <void (TuiHook::*AProc)(const TKBDLLHOOKRECORD&, bool&)>
  static void KeyRecorder(void* AContext, int32_t, uintptr_t, void* ARecord, bool* ABlocked) {
    Run<TKBDLLHOOKRECORD>(
        AContext, ARecord, ABlocked,
        [](TuiHook& AHook, const auto& ARec, bool& ABl) { (AHook.*AProc)(ARec, ABl); });
  }
  static void MouseMacro(void* AContext, int32_t, uintptr_t AMessage, void* ARecord,
                         bool* ABlocked) {
    Run<TMSLLHOOKSTRUCT>(AContext, ARecord, ABlocked, [&](TuiHook& AHook, const auto& ARec, bool&) {
      AHook.RecordMouseMacroProc(AMessage, ARec);
    });
  }
};

int LoadHookLibrary(platform::ILibraries& ALibraries, const std::string& AFullPath) {
  THookBinding& Bound = Binding();
  if (Bound.Loaded) {
    return 1;
  }
  Bound.Library = ALibraries.Load(AFullPath);
  Bound.LastFound = Bound.Library != nullptr;
  if (!Bound.Library) {
    return 0;
  }
  Bound.Loaded = true;
  Bound.EnableKeyboardHook =
      reinterpret_cast<TEnableHook>(Bound.Library->Resolve(cEnableKeyboardHook));
  Bound.DisableKeyboardHook =
      reinterpret_cast<TDisableHook>(Bound.Library->Resolve(cDisableKeyboardHook));
  Bound.EnableMouseHook = reinterpret_cast<TEnableHook>(Bound.Library->Resolve(cEnableMouseHook));
  Bound.DisableMouseHook =
      reinterpret_cast<TDisableHook>(Bound.Library->Resolve(cDisableMouseHook));
  if (!Bound.EnableKeyboardHook || !Bound.DisableKeyboardHook || !Bound.EnableMouseHook ||
      !Bound.DisableMouseHook) {
    UnloadHookLibrary();
    return 0;
  }
  return 1;
}

void UnloadHookLibrary() {
  THookBinding& Bound = Binding();
  // The library would remove its hooks as it goes, but only a disable waits for a callback in
  // flight (and for the library's thread to end): released under a running callback, the
  // library's code would go away beneath it.
  if (Bound.DisableMouseHook != nullptr) {
    Bound.DisableMouseHook();
  }
  if (Bound.DisableKeyboardHook != nullptr) {
    Bound.DisableKeyboardHook();
  }
  Bound.Loaded = false;
  Bound.EnableKeyboardHook = nullptr;
  Bound.DisableKeyboardHook = nullptr;
  Bound.EnableMouseHook = nullptr;
  Bound.DisableMouseHook = nullptr;
  Bound.Library.reset();
}

TuiHook::TuiHook(rtl::TComponent* AOwner, const THookServices& AServices)
    : rtl::TComponent(AOwner), FServices(AServices) {
  // Only the library beside the program: one of that name anywhere else (the current folder,
  // the PATH) would be handed every key and mouse event. An unknown program folder gives no
  // path, and the library counts as missing.
  const std::string Folder = FServices.Environment.ModuleFolder();
  const std::string Path =
      Folder.empty() ? std::string() : rtl::IncludeTrailingPathDelimiter(Folder) + cHookLibraryName;
  if (LoadHookLibrary(FServices.Libraries, Path) == 1) {
    FDLLLoaded = cDLLLoadedFlag;
  } else if (!Binding().LastFound) {
    // A library that loaded without its exports is refused quietly; a missing one is shown.
    FServices.Dialogs.ShowMessageBox(cHookLibraryMissingText, cHookLibraryMissingCaption,
                                     platform::TMessageBoxIcon::Error);
  }
}

TuiHook::~TuiHook() {
  UnloadHookLibrary();
}

bool TuiHook::Bound() const {
  return DLLLoaded() && Binding().Loaded;
}

// Every enabling first disables the hook of the same kind: one callback per kind at a time.
// The disable returns once no callback of that kind runs, so the reset between the two never
// races one.
void TuiHook::ReplaceKeyboardHook(THookCallback ACallback, const std::function<void()>& AReset) {
  const bool Usable = Bound();
  if (Usable) {
    Binding().DisableKeyboardHook();
  }
  if (AReset) {
    AReset();
  }
  if (Usable && ACallback != nullptr) {
    Binding().EnableKeyboardHook(ACallback, this, 0);
  }
}

void TuiHook::ReplaceMouseHook(THookCallback ACallback, const std::function<void()>& AReset) {
  const bool Usable = Bound();
  if (Usable) {
    Binding().DisableMouseHook();
  }
  if (AReset) {
    AReset();
  }
  if (Usable && ACallback != nullptr) {
    Binding().EnableMouseHook(ACallback, this, 0);
  }
}

void TuiHook::StartHookMouse() {
  ReplaceMouseHook(&THookThunks::Mouse);
}
void TuiHook::StopHookMouse() {
  DisableMouse();
}
void TuiHook::StartHookKeyboard() {
  ReplaceKeyboardHook(&THookThunks::Keyboard);
}
void TuiHook::StopHookKeyboard() {
  DisableKeyboard();
}

void TuiHook::AddMouseHookObject(std::unique_ptr<TMouseHookDetailObject> AObject) {
  if (AObject) {
    std::string Text = std::to_string(static_cast<int>(AObject->FMouseHookDetail.MouseButton));
    rtl::TLockGuard Guard(FRuleLock);
    FMouseHookObjectList.emplace_back(std::move(Text), std::move(AObject));
  }
}

void TuiHook::RemoveAllMouseHookObject() {
  TMouseHookObjectList Removed;
  {
    rtl::TLockGuard Guard(FRuleLock);
    Removed.swap(FMouseHookObjectList);
  }
}

void TuiHook::AddKeyboardHookObject(std::unique_ptr<TKeyBoardHookDetailObject> AObject) {
  if (AObject) {
    std::string Text = std::to_string(AObject->FKeyBoardHookDetail.KeyboardVKKey);
    rtl::TLockGuard Guard(FRuleLock);
    FKeyboardHookObjectList.emplace_back(std::move(Text), std::move(AObject));
  }
}

void TuiHook::RemoveAllKeyboardHookObject() {
  TKeyboardHookObjectList Removed;
  {
    rtl::TLockGuard Guard(FRuleLock);
    Removed.swap(FKeyboardHookObjectList);
  }
}

std::vector<std::pair<std::string, TMouseHookDetail>> TuiHook::MouseHookObjects() const {
  std::vector<std::pair<std::string, TMouseHookDetail>> Rules;
  rtl::TLockGuard Guard(FRuleLock);
  for (const auto& [Text, Rule] : FMouseHookObjectList) {
    Rules.emplace_back(Text, Rule->FMouseHookDetail);
  }
  return Rules;
}

std::vector<std::pair<std::string, TKeyBoardHookDetail>> TuiHook::KeyboardHookObjects() const {
  std::vector<std::pair<std::string, TKeyBoardHookDetail>> Rules;
  rtl::TLockGuard Guard(FRuleLock);
  for (const auto& [Text, Rule] : FKeyboardHookObjectList) {
    Rules.emplace_back(Text, Rule->FKeyBoardHookDetail);
  }
  return Rules;
}

void TuiHook::MouseHookProc(int32_t ACode, uintptr_t AMessage, const TMSLLHOOKSTRUCT& ARecord,
                            bool& ABlocked) {
  (void)ACode;
  const bool Injected = (ARecord.flags & LLMHF_INJECTED_FLAG) != 0;
  if (AMessage == WM_MOUSEMOVE_MSG) {
    if (FOnHookMouseMove.Assigned() && !Injected) {
      FOnHookMouseMove(ARecord.ptx, ARecord.pty, static_cast<double>(ARecord.time));
      ABlocked = false;
    }
    return;
  }
  if (Injected) {
    return;
  }
  const int32_t State = MouseState(AMessage);
  int16_t ExValue = 0;
  const TMouseButtons Button = MouseButton(AMessage, ARecord.mouseData, true, ExValue);
  if (FOnHookMouseAllButton.Assigned()) {
    FOnHookMouseAllButton(Button, State, ExValue, ABlocked);
  }
  if (!FOnHookMouseButton.Assigned()) {
    return;
  }
  const uintptr_t Kind = AMessage - WM_MOUSEMOVE_MSG;
  bool Raise = false;
  {
    // The scan only: the handler runs unlocked and may change the rules itself.
    rtl::TLockGuard Guard(FRuleLock);
    for (const auto& Entry : FMouseHookObjectList) {
      const TMouseHookDetail& Rule = Entry.second->FMouseHookDetail;
      if (Kind <= OTHERFUNCTION && (Rule.MouseStateSet & (1u << Kind)) != 0 &&
          Rule.MouseButton >= Button) {
        Raise = Rule.ModifiedFunction != Button;
        break;
      }
    }
  }
  if (Raise) {
    FOnHookMouseButton(Button, State, ABlocked);
  }
}

void TuiHook::KeyboardHookProc(int32_t ACode, uintptr_t AMessage, const TKBDLLHOOKRECORD& ARecord,
                               bool& ABlocked) {
  (void)AMessage;
  if (ACode != 0) {
    return;
  }
  const int32_t Extended = KeyExtended(ARecord.flags);
  const int32_t State = KeyState(ARecord.flags);
  const auto Key = static_cast<int32_t>(ARecord.vkCode);
  if (FOnHookKeyboardAllKey.Assigned()) {
    FOnHookKeyboardAllKey(Key, State, Extended, ABlocked, ARecord.scanCode);
  }
  if (!FOnHookKeyboardKey.Assigned()) {
    return;
  }
  bool Matched = false;
  bool Block = false;
  {
    // The scan only: the handler runs unlocked and may change the rules itself.
    rtl::TLockGuard Guard(FRuleLock);
    for (const auto& Entry : FKeyboardHookObjectList) {
      const TKeyBoardHookDetail& Rule = Entry.second->FKeyBoardHookDetail;
      if (Rule.KeyboardVKKey == -1) {
        break;
      }
      const bool ByKey = Rule.KeyboardVKKey != 0 && Rule.KeyboardVKKey == Key;
      const bool ByScan = Rule.KeyboardSCANKey != 0 &&
                          static_cast<uint32_t>(Rule.KeyboardSCANKey) == ARecord.scanCode;
      if ((ByKey || ByScan) && Rule.KeyExtended == Extended) {
        Matched = true;
        Block = Rule.block == 1;
        break;
      }
    }
  }
  if (Matched) {
    if (Block) {
      ABlocked = true;
    }
    FOnHookKeyboardKey(Key, State, Extended, ABlocked, ARecord.scanCode);
  }
}

// ---- recorders ----

TMacroKeyObject& TuiHook::AppendMacroEntry(const TMACROKEYHOOK& AEntry) {
  auto Object = std::make_unique<TMacroKeyObject>();
  Object->FMacroKey = AEntry;
  FMacroKeyList.emplace_back(std::to_string(FMacroKeyList.size()), std::move(Object));
  return *FMacroKeyList.back().second;
}

TMOUSEMacroKeyObject& TuiHook::AppendMouseEntry(const TMOUSEMACROKEY& AEntry) {
  auto Object = std::make_unique<TMOUSEMacroKeyObject>();
  Object->FMOUSEMacroKey = AEntry;
  FMouseMacroKeyList.emplace_back(std::to_string(FMouseMacroKeyList.size()), std::move(Object));
  return *FMouseMacroKeyList.back().second;
}

void TuiHook::RecordKeyboardSingleKey() {
  ReplaceKeyboardHook(&THookThunks::KeyRecorder<&TuiHook::RecordSingleKeyProc>);
}

void TuiHook::RecordKeyboardComboKey() {
  ReplaceKeyboardHook(&THookThunks::KeyRecorder<&TuiHook::RecordComboKeyProc>,
                      [this] { FLastTimeKeyboardCombo = 0; });
}

void TuiHook::StopRecordKeyboardComboKey() {
  DisableKeyboard();
  FLastTimeKeyboardCombo = 0;
}

void TuiHook::RecordKeyboardMacroKey() {
  ReplaceKeyboardHook(&THookThunks::KeyRecorder<&TuiHook::RecordMacroKeyProc>, [this] {
    FMacroKeyList.clear();
    FLastTimeKeyboardMacro = 0;
  });
}

void TuiHook::RecordKeyboardMacroKeyEx() {
  ReplaceKeyboardHook(&THookThunks::KeyRecorder<&TuiHook::RecordMacroKeyExProc>, [this] {
    FLastMacroKey = {};
    FTotalMacroTime = 0;
    FAllKeyState.fill(0);
    FMacroKeyList.clear();
  });
}

void TuiHook::StopRecordKeyboardMacroKey() {
  DisableKeyboard();
  if (FOnStopRecordKeyboardMacroKey.Assigned()) {
    FOnStopRecordKeyboardMacroKey(FMacroKeyList);
  }
  // The entries pass to the stop event's handler, which may move them out of the list;
  // whatever it leaves is freed here rather than lost.
  FMacroKeyList.clear();
}

void TuiHook::RecordMouseMacro() {
  ReplaceMouseHook(&THookThunks::MouseMacro, [this] {
    FMouseMacroKeyList.clear();
    FLastTimeMouseMacro = 0;
  });
}

void TuiHook::StopRecordMouseMacro() {
  DisableMouse();
  if (FOnStopRecordMouseMacroKey.Assigned()) {
    FOnStopRecordMouseMacroKey(FMouseMacroKeyList);
  }
}

void TuiHook::RecordSingleKeyProc(const TKBDLLHOOKRECORD& ARecord, bool& ABlocked) {
  if (!FOnRecordKeyboardSingleKey.Assigned()) {
    return;
  }
  const int32_t Extended = KeyExtended(ARecord.flags);
  FOnRecordKeyboardSingleKey(
      static_cast<int32_t>(ARecord.vkCode), ARecord.scanCode, KeyState(ARecord.flags), Extended,
      KeyToDescription(static_cast<int32_t>(ARecord.vkCode), Extended), ABlocked);
}

void TuiHook::RecordComboKeyProc(const TKBDLLHOOKRECORD& ARecord, bool& ABlocked) {
  const bool First = FOnRecordKeyboardComboKey.Assigned();
  const bool Second = !First && FOnRecordKeyboardComboKey2.Assigned();
  if ((!First && !Second) || KeyState(ARecord.flags) == 0 || IsModifierKey(ARecord.vkCode)) {
    return;
  }
  TCOMBOKEY& Combo = FComboKeyInfo;
  FComboKeyString.clear();
  Combo.nModifier = 0;
  if (Combo.nKeyValue1 != 0 && Combo.nKeyValue2 != 0) {
    Combo.nKeyValue1 = Combo.nKeyValue2 = 0;
    if (Second) {
      Combo.nScanKey1 = Combo.nScanKey2 = 0;
    }
  }
  // The modifiers held, in the order their texts are written.
  struct TModifier {
    int32_t Left;
    int32_t Right;
    uint16_t Bit;
    const char* Text;
  };
  static constexpr TModifier cModifiers[] = {{0xA2, 0xA3, cCtrlBit, "Ctrl+"},
                                             {0xA4, 0xA5, cAltBit, "Alt+"},
                                             {0x5B, 0x5C, cWinBit, "Win+"},
                                             {0xA0, 0xA1, cShiftBit, "Shift+"}};
  std::string Modifiers;
  for (const TModifier& Modifier : cModifiers) {
    if ((FServices.Keyboard.KeyState(Modifier.Left) & cKeyDownBit) != 0 ||
        (FServices.Keyboard.KeyState(Modifier.Right) & cKeyDownBit) != 0) {
      Combo.nModifier |= Modifier.Bit;
      Modifiers += Modifier.Text;
    }
  }
  const auto Key = static_cast<uint16_t>(ARecord.vkCode);
  const auto Extended = static_cast<uint16_t>(KeyExtended(ARecord.flags));
  const auto SetFirst = [&] {
    Combo.nKeyValue1 = Key;
    Combo.nKeyValue1Extended = Extended;
    if (Second) {
      Combo.nScanKey1 = ARecord.scanCode;
    }
  };
  const auto ClearSecond = [&] {
    Combo.nKeyValue2 = 0;
    if (Second) {
      Combo.nScanKey2 = 0;
    }
  };
  if (AbsoluteGap(ARecord.time, FLastTimeKeyboardCombo) > cComboWindowMs) {
    SetFirst();
    ClearSecond();
  } else if (Combo.nKeyValue1 == 0) {
    SetFirst();
  } else if (Combo.nKeyValue2 == 0) {
    if (Key != Combo.nKeyValue1) {
      Combo.nKeyValue2 = Key;
      Combo.nKeyValue2Extended = Extended;
      if (Second) {
        Combo.nScanKey2 = ARecord.scanCode;
      }
    } else {
      SetFirst();
      ClearSecond();
    }
  }
  FLastTimeKeyboardCombo = ARecord.time;
  std::string Text = KeyToDescription(Combo.nKeyValue1, Combo.nKeyValue1Extended);
  if (Combo.nKeyValue2 != 0) {
    Text += "+" + KeyToDescription(Combo.nKeyValue2, Combo.nKeyValue2Extended);
  }
  if (!Text.empty()) {
    FComboKeyString = Modifiers + Text;
    if (First) {
      FOnRecordKeyboardComboKey(Combo.nKeyValue1, Combo.nKeyValue1Extended, Combo.nKeyValue2,
                                Combo.nKeyValue2Extended, Combo.nModifier, FComboKeyString);
    } else {
      FOnRecordKeyboardComboKey2(Combo.nKeyValue1, static_cast<int32_t>(Combo.nScanKey1),
                                 Combo.nKeyValue1Extended, Combo.nKeyValue2,
                                 static_cast<int32_t>(Combo.nScanKey2), Combo.nKeyValue2Extended,
                                 Combo.nModifier, FComboKeyString);
    }
  }
  ABlocked = true;
}

void TuiHook::RecordMacroKeyProc(const TKBDLLHOOKRECORD& ARecord, bool& ABlocked) {
  if (!FOnRecordKeyboardMacroKey.Assigned()) {
    return;
  }
  if (FLastTimeKeyboardMacro != 0) {
    // Unsigned difference: a counter wrap still gives the real gap.
    const uint32_t Delay = ARecord.time - FLastTimeKeyboardMacro;
    if (Delay > cMinMacroDelayMs && Delay < cMaxMacroDelayMs) {
      TMACROKEYHOOK Entry;
      Entry.nKeyValue = static_cast<uint16_t>(Delay);
      AppendMacroEntry(Entry);
      FOnRecordKeyboardMacroKey(0, static_cast<int32_t>(Delay), 0, 0, ARecord.time,
                                std::to_string(Delay), cDelayText, FMacroKeyList);
    }
  }
  FLastTimeKeyboardMacro = ARecord.time;
  // Every key is recorded: a key whose code equals the delay just recorded is a key all the
  // same.
  const int32_t State = KeyState(ARecord.flags);
  const int32_t Extended = KeyExtended(ARecord.flags);
  TMACROKEYHOOK Entry;
  Entry.nKeyType = 1;
  Entry.nKeyState = static_cast<uint16_t>(State);
  Entry.nKeyValue = static_cast<uint16_t>(ARecord.vkCode);
  Entry.nKeyValueExtended = static_cast<uint16_t>(Extended);
  AppendMacroEntry(Entry);
  FOnRecordKeyboardMacroKey(1, static_cast<int32_t>(ARecord.vkCode), State, Extended, ARecord.time,
                            KeyToDescription(static_cast<int32_t>(ARecord.vkCode), Extended),
                            StateText(State), FMacroKeyList);
  ABlocked = true;
}

void TuiHook::RecordMacroKeyExProc(const TKBDLLHOOKRECORD& ARecord, bool& ABlocked) {
  if (!FOnRecordKeyboardMacroKeyEx.Assigned() || FMacroKeyList.size() > cMaxExMacroEntries) {
    return;
  }
  const int32_t State = KeyState(ARecord.flags);
  const int32_t Extended = KeyExtended(ARecord.flags);
  const uint8_t KeyIndex = static_cast<uint8_t>(ARecord.vkCode & 0xFF);
  const TKBDLLHOOKSTRUCT Event{ARecord.vkCode, ARecord.scanCode, ARecord.flags, ARecord.time,
                               static_cast<uint32_t>(ARecord.dwExtraInfo)};
  const uint32_t Bits = LLKHF_EXTENDED_FLAG | LLKHF_UP_FLAG;
  bool DelayDue = false;
  if (FLastMacroKey.vkCode == 0) {
    FLastMacroKey = Event;
    FTotalMacroTime = 0;
  } else if (FLastMacroKey.vkCode == Event.vkCode &&
             (FLastMacroKey.flags & Bits) == (Event.flags & Bits)) {
    FTotalMacroTime = Event.time - FLastMacroKey.time;
    if (State == 0) {
      FLastMacroKey = Event;
      DelayDue = true;
      FAllKeyState[KeyIndex] = 0;
    }
  } else {
    FTotalMacroTime = Event.time - FLastMacroKey.time;
    FLastMacroKey = Event;
    DelayDue = true;
    if (State == 0) {
      FAllKeyState[KeyIndex] = 0;
    }
  }
  if (DelayDue && FTotalMacroTime > 0) {
    FTotalMacroTime = std::min(FTotalMacroTime, cMaxExDelay);
    TMACROKEYHOOK Delay;
    Delay.nKeyValue = static_cast<uint16_t>(FTotalMacroTime);
    AppendMacroEntry(Delay);
  }
  if (FAllKeyState[KeyIndex] == 0) {
    if (State == 1) {
      FAllKeyState[KeyIndex] = 1;
    }
    TMACROKEYHOOK Entry;
    Entry.nKeyType = 1;
    Entry.nKeyState = static_cast<uint16_t>(State);
    Entry.nKeyValue = static_cast<uint16_t>(ARecord.vkCode);
    Entry.nKeyValueExtended = static_cast<uint16_t>(Extended);
    AppendMacroEntry(Entry);
    FOnRecordKeyboardMacroKeyEx(1, static_cast<int32_t>(ARecord.vkCode), State, Extended,
                                ARecord.time, FTotalMacroTime,
                                KeyToDescription(static_cast<int32_t>(ARecord.vkCode), Extended),
                                StateText(State), FMacroKeyList);
  }
  ABlocked = true;
}

void TuiHook::RecordMouseMacroProc(uintptr_t AMessage, const TMSLLHOOKSTRUCT& ARecord) {
  if (!FOnRecordMouseMacroKey.Assigned() || (ARecord.flags & LLMHF_INJECTED_FLAG) != 0) {
    return;
  }
  const int32_t State = MouseState(AMessage);
  int16_t ExValue = 0;
  const TMouseButtons Button = MouseButton(AMessage, ARecord.mouseData, false, ExValue);
  const uint16_t X = Coordinate(ARecord.ptx);
  const uint16_t Y = Coordinate(ARecord.pty);
  uint16_t DelayValue = 0;
  if (FLastTimeMouseMacro == 0) {
    FLastTimeMouseMacro = ARecord.time;
  } else if (FLastTimeMouseMacro > ARecord.time) {
    // A stamp going backwards: the event is dropped and timing starts again from it.
    FLastTimeMouseMacro = ARecord.time;
    return;
  } else {
    const uint32_t Delay = ARecord.time - FLastTimeMouseMacro;
    FLastTimeMouseMacro = ARecord.time;
    DelayValue = static_cast<uint16_t>(Delay & 0xFFFF);
    TMOUSEMACROKEY Entry;
    Entry.X = X;
    Entry.Y = Y;
    Entry.TimeValue = DelayValue;
    AppendMouseEntry(Entry);
    FOnRecordMouseMacroKey(0, BUTTON_NONE, 0, X, Y, ARecord.time, std::to_string(Delay), cDelayText,
                           FMouseMacroKeyList);
  }
  if (Button == BUTTON_NONE) {
    return;
  }
  TMOUSEMACROKEY Entry;
  Entry.nKeyType = 1;
  Entry.nKeyState = static_cast<uint16_t>(State);
  Entry.MouseButton = Button;
  Entry.X = X;
  Entry.Y = Y;
  Entry.TimeValue = DelayValue;
  AppendMouseEntry(Entry);
  FOnRecordMouseMacroKey(1, Button, State, X, Y, ARecord.time, MouseButtonDescription(Button),
                         StateText(State), FMouseMacroKeyList);
}

} // namespace hook
