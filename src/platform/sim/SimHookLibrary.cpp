#include "platform/sim/SimHookLibrary.h"

#include "HookCore.h"
#include "hook/HookRecords.h"
#include "rtl/Component.h"

namespace platform::sim {

namespace {
TSimHookLibrary* GCurrent = nullptr;
hooklib::THookSlot GMouse;
hooklib::THookSlot GKeyboard;
} // namespace

struct TSimHookExports {
  static void EnableKeyboardHook(hook::THookCallback ACallback, void* AContext, int32_t) {
    GKeyboard.Disable();
    GKeyboard.Enable(ACallback, AContext);
  }
  static void DisableKeyboardHook() { GKeyboard.Disable(); }
  static void EnableMouseHook(hook::THookCallback ACallback, void* AContext, int32_t) {
    GMouse.Disable();
    GMouse.Enable(ACallback, AContext);
    if (GCurrent != nullptr) {
      ++GCurrent->FMouseEnables;
    }
  }
  static void DisableMouseHook() { GMouse.Disable(); }
};

namespace {

class TSimLoadedHookLibrary : public ILoadedLibrary {
public:
  TSimLoadedHookLibrary(TSimHookLibrary& AOwner, std::string AMissingExport)
      : FOwner(AOwner), FMissingExport(std::move(AMissingExport)) {}
  // Releasing the library removes any hook it still holds.
  ~TSimLoadedHookLibrary() override {
    GMouse.Disable();
    GKeyboard.Disable();
    FOwner.LibraryReleased();
  }
  void* Resolve(const std::string& AName) override {
    if (AName == FMissingExport) {
      return nullptr;
    }
    if (AName == hook::cEnableKeyboardHook) {
      return reinterpret_cast<void*>(&TSimHookExports::EnableKeyboardHook);
    }
    if (AName == hook::cDisableKeyboardHook) {
      return reinterpret_cast<void*>(&TSimHookExports::DisableKeyboardHook);
    }
    if (AName == hook::cEnableMouseHook) {
      return reinterpret_cast<void*>(&TSimHookExports::EnableMouseHook);
    }
    if (AName == hook::cDisableMouseHook) {
      return reinterpret_cast<void*>(&TSimHookExports::DisableMouseHook);
    }
    return nullptr;
  }

private:
  TSimHookLibrary& FOwner;
  std::string FMissingExport;
};

} // namespace

TSimHookLibrary::TSimHookLibrary(std::string AModuleFolder)
    : FModuleFolder(std::move(AModuleFolder)) {
  GCurrent = this;
}

TSimHookLibrary::~TSimHookLibrary() {
  if (GCurrent == this) {
    GCurrent = nullptr;
  }
}

std::unique_ptr<ILoadedLibrary> TSimHookLibrary::Load(const std::string& AFullPath) {
  ++FLoadAttempts;
  // Paths compare as the platform's file names do, without regard to case.
  if (FMissing || !rtl::SameText(AFullPath, FModuleFolder + hook::cHookLibraryName)) {
    return nullptr;
  }
  ++FLoadedCount;
  return std::make_unique<TSimLoadedHookLibrary>(*this, FMissingExport);
}

void TSimHookLibrary::LibraryReleased() {
  --FLoadedCount;
}

int16_t TSimHookLibrary::KeyState(int32_t AVirtualKey) {
  std::lock_guard<std::mutex> Guard(FLock);
  return FKeysDown.count(AVirtualKey) > 0 ? static_cast<int16_t>(0xFF80) : 0;
}

void TSimHookLibrary::SetKeyDown(int32_t AVirtualKey, bool ADown) {
  std::lock_guard<std::mutex> Guard(FLock);
  if (ADown) {
    FKeysDown.insert(AVirtualKey);
  } else {
    FKeysDown.erase(AVirtualKey);
  }
}

bool TSimHookLibrary::InjectMouse(uint32_t AMessage, int32_t AX, int32_t AY, uint32_t AMouseData,
                                  uint32_t AFlags, uint32_t ATime) {
  hook::TMSLLHOOKSTRUCT Record{AX, AY, AMouseData, AFlags, ATime, 0};
  return GMouse.Dispatch(0, AMessage, &Record);
}

bool TSimHookLibrary::InjectKeyboard(uint32_t AVirtualKey, uint32_t AScanCode, uint32_t AFlags,
                                     uint32_t ATime) {
  hook::TKBDLLHOOKRECORD Record{AVirtualKey, AScanCode, AFlags, ATime, 0};
  const uint32_t Message =
      (AFlags & hook::LLKHF_UP_FLAG) != 0 ? hook::WM_KEYUP_MSG : hook::WM_KEYDOWN_MSG;
  return GKeyboard.Dispatch(0, Message, &Record);
}

bool TSimHookLibrary::MouseHookInstalled() const {
  return GMouse.Enabled();
}
bool TSimHookLibrary::KeyboardHookInstalled() const {
  return GKeyboard.Enabled();
}

} // namespace platform::sim
