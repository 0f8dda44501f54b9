#include "hooklib/HookCore.h"

namespace hooklib {

void THookSlot::Enable(hook::THookCallback ACallback, void* AContext) {
  FContext = AContext;
  FCallback = ACallback;
}

void THookSlot::Disable() {
  FCallback = nullptr;
  FContext = nullptr;
}

bool THookSlot::Dispatch(int32_t ACode, uintptr_t AMessage, void* ARecord) {
  const hook::THookCallback Callback = FCallback.load();
  if (Callback == nullptr) {
    return false;
  }
  bool Blocked = false;
  try {
    Callback(FContext.load(), ACode, AMessage, ARecord, &Blocked);
  } catch (...) {
    // Nothing crosses the library's boundary: a failing callback lets the event pass.
    return false;
  }
  return Blocked;
}

} // namespace hooklib
