// Any sequence of keyboard and mouse events reaching the hook component through the
// simulated hook library: each recorder (single keys, combinations, keyboard macros, the
// bounded macro recorder, mouse macros) and the watching hooks with rule lists, then the
// stop that hands over what was recorded.
//
// Input: a mode byte (% 6: the five recorders in that order, then the hooks with rules),
// for the hooks up to eight rules of four bytes, then events of a kind byte and its fields:
// kind % 3: 0 a key (virtual key, scan code, flags, time step), 1 a mouse message (message
// number from 0x200, x, y, mouse data, flags, time step), 2 a key held or let go for the
// keyboard state (virtual key, down).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "Bench.h"
#include "FuzzInput.h"
#include "backend/sim/SimWorld.h"
#include "hook/uiHook.h"

namespace {

using namespace hook;

constexpr int cMaxEvents = 256;
constexpr int cMaxRules = 8;

// Everything a handler is given is read, so that a dangling text or list shows.
std::size_t Touch(const std::string& AText) {
  std::size_t Sum = 0;
  for (const char Char : AText) {
    Sum += static_cast<unsigned char>(Char);
  }
  return Sum;
}
std::size_t Touch(const TMacroKeyList& AList) {
  std::size_t Sum = 0;
  for (const auto& [Name, Object] : AList) {
    Sum += Touch(Name) + Object->FMacroKey.nKeyValue + Touch(Object->FMacroKey.MacroKeyString);
  }
  return Sum;
}
std::size_t Touch(const TMouseMacroKeyList& AList) {
  std::size_t Sum = 0;
  for (const auto& [Name, Object] : AList) {
    Sum += Touch(Name) + Object->FMOUSEMacroKey.X + Touch(Object->FMOUSEMacroKey.MacroKeyString);
  }
  return Sum;
}

class THookBench {
public:
  THookBench()
      : FHook(nullptr, THookServices{FWorld.HookLibrary, FWorld.HookLibrary, FWorld.Dialogs,
                                     FWorld.Environment}) {
    FHook.SetOnRecordKeyboardSingleKey([this](int32_t, uint32_t, int32_t AState, int32_t,
                                              const std::string& AText, bool& ABlocked) {
      FSum += Touch(AText);
      ABlocked = AState == 1;
    });
    FHook.SetOnRecordKeyboardComboKey([this](int32_t, int32_t, int32_t, int32_t, int32_t,
                                             const std::string& AText) { FSum += Touch(AText); });
    FHook.SetOnRecordKeyboardMacroKey(
        [this](int32_t, int32_t, int32_t, int32_t, double, const std::string& AText,
               const std::string& AState,
               TMacroKeyList& AList) { FSum += Touch(AText) + Touch(AState) + AList.size(); });
    FHook.SetOnRecordKeyboardMacroKeyEx(
        [this](int32_t, int32_t, int32_t, int32_t, double, uint32_t, const std::string& AText,
               const std::string& AState,
               TMacroKeyList& AList) { FSum += Touch(AText) + Touch(AState) + AList.size(); });
    FHook.SetOnRecordMouseMacroKey(
        [this](int32_t, TMouseButtons, int32_t, uint16_t, uint16_t, double,
               const std::string& AText, const std::string& AState,
               TMouseMacroKeyList& AList) { FSum += Touch(AText) + Touch(AState) + AList.size(); });
    FHook.SetOnStopRecordKeyboardMacroKey([this](TMacroKeyList& AList) { FSum += Touch(AList); });
    FHook.SetOnStopRecordMouseMacroKey([this](TMouseMacroKeyList& AList) { FSum += Touch(AList); });
    FHook.SetOnHookMouseButton([](TMouseButtons, int32_t, bool&) {});
    FHook.SetOnHookMouseAllButton([](TMouseButtons, int32_t, int16_t, bool&) {});
    FHook.SetOnHookMouseMove([](int32_t, int32_t, double) {});
    FHook.SetOnHookKeyboardKey([](int32_t, int32_t, int32_t, bool&, uint32_t) {});
    FHook.SetOnHookKeyboardAllKey([](int32_t, int32_t, int32_t, bool&, uint32_t) {});
  }

  void Run(fuzz::TFuzzInput& AInput) {
    const int Mode = AInput.Byte() % 6;
    switch (Mode) {
    case 0:
      FHook.RecordKeyboardSingleKey();
      break;
    case 1:
      FHook.RecordKeyboardComboKey();
      break;
    case 2:
      FHook.RecordKeyboardMacroKey();
      break;
    case 3:
      FHook.RecordKeyboardMacroKeyEx();
      break;
    case 4:
      FHook.RecordMouseMacro();
      break;
    default:
      AddRules(AInput);
      FHook.StartHookMouse();
      FHook.StartHookKeyboard();
      break;
    }
    uint32_t Time = 1;
    for (int Event = 0; Event < cMaxEvents && !AInput.Empty(); ++Event) {
      switch (AInput.Byte() % 3) {
      case 0: {
        const uint32_t Key = AInput.Byte();
        const uint32_t Scan = AInput.Byte();
        const uint32_t Flags = AInput.Byte();
        Time += AInput.Word();
        FWorld.HookLibrary.InjectKeyboard(Key, Scan, Flags, Time);
        break;
      }
      case 1: {
        const uint32_t Message = WM_MOUSEMOVE_MSG + AInput.Byte() % 0x20;
        const auto X = static_cast<int16_t>(AInput.Word());
        const auto Y = static_cast<int16_t>(AInput.Word());
        const uint32_t Data = AInput.Long();
        const uint32_t Flags = AInput.Byte();
        Time += AInput.Word();
        FWorld.HookLibrary.InjectMouse(Message, X, Y, Data, Flags, Time);
        break;
      }
      default: {
        const int32_t Key = AInput.Byte();
        FWorld.HookLibrary.SetKeyDown(Key, (AInput.Byte() & 1) != 0);
        break;
      }
      }
    }
    switch (Mode) {
    case 0:
      FHook.StopRecordKeyboardSingleKey();
      break;
    case 1:
      FHook.StopRecordKeyboardComboKey();
      break;
    case 2:
    case 3:
      FHook.StopRecordKeyboardMacroKey();
      break;
    case 4:
      FHook.StopRecordMouseMacro();
      break;
    default:
      FHook.StopHookMouse();
      FHook.StopHookKeyboard();
      FHook.RemoveAllMouseHookObject();
      FHook.RemoveAllKeyboardHookObject();
      break;
    }
    for (int Key = 0; Key < 256; ++Key) {
      FWorld.HookLibrary.SetKeyDown(Key, false);
    }
  }

private:
  // Rules as the program makes them: only values its enumerations hold.
  void AddRules(fuzz::TFuzzInput& AInput) {
    const int Count = AInput.Byte() % (cMaxRules + 1);
    for (int Rule = 0; Rule < Count; ++Rule) {
      const uint8_t Kind = AInput.Byte();
      if (Kind & 1) {
        TMouseHookDetail Detail;
        Detail.MouseButton = static_cast<TMouseButtons>(AInput.Byte() % (BUTTONX3 + 1));
        Detail.MouseStateSet = AInput.Word();
        Detail.ModifiedFunction = static_cast<TMouseButtons>(Kind / 2 % (BUTTONX3 + 1));
        Detail.MouseStateToHook = (Kind & 0x80) ? HOOK_UP : HOOK_DOWN;
        FHook.AddMouseHookObject(std::make_unique<TMouseHookDetailObject>(Detail));
      } else {
        TKeyBoardHookDetail Detail;
        Detail.KeyboardVKKey = (Kind & 0x80) ? -1 : AInput.Byte();
        Detail.KeyboardSCANKey = AInput.Byte();
        Detail.KeyExtended = Kind >> 1 & 1;
        Detail.block = Kind >> 2 & 1;
        FHook.AddKeyboardHookObject(std::make_unique<TKeyBoardHookDetailObject>(Detail));
      }
    }
  }

  platform::sim::TSimWorld FWorld;
  TuiHook FHook;
  std::size_t FSum = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, std::size_t ASize) {
  fuzz::TFuzzInput Input(AData, ASize);
  fuzz::Bench<THookBench>().Run(Input);
  return 0;
}
