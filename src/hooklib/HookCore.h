// The hook library's core, the same on every platform: one slot per hook kind holding the
// callback and context, and the dispatch of one event that starts the blocked flag as false
// and never lets an exception out.
#pragma once

#include <atomic>
#include <cstdint>

#include "hooklib/HookRecords.h"

namespace hooklib {

class THookSlot {
public:
  void Enable(hook::THookCallback ACallback, void* AContext);
  void Disable();
  bool Enabled() const { return FCallback.load() != nullptr; }
  // True when the callback asked for the event to be swallowed.
  bool Dispatch(int32_t ACode, uintptr_t AMessage, void* ARecord);

private:
  std::atomic<hook::THookCallback> FCallback{nullptr};
  std::atomic<void*> FContext{nullptr};
};

} // namespace hooklib
