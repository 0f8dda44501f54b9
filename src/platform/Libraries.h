// Run-time libraries loaded by their full path, and the keyboard state of a virtual key.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// A loaded library; freed when destroyed, which takes its code away: nothing of it may be
// running or called then (a hook library's hooks are disabled first). It lives no longer than
// the service that loaded it.
class ILoadedLibrary {
public:
  virtual ~ILoadedLibrary() = default;
  // Any thread; never blocks. The export's address, null when the library has none of that
  // name. The address is valid while this object lives.
  virtual void* Resolve(const std::string& AName) = 0;
};

class ILibraries {
public:
  virtual ~ILibraries() = default;
  // Main thread; blocks while the loader maps the library and runs its initialisation. Loads
  // the library at exactly that full path; the caller owns it. Null when it cannot be loaded
  // (no reason is told). A bare name or a relative path is refused, never searched for: the
  // platform's search would take a library of that name from the current folder or the PATH,
  // and a hook library found there would see every key the user types.
  virtual std::unique_ptr<ILoadedLibrary> Load(const std::string& AFullPath) = 0;
};

class IKeyboardState {
public:
  virtual ~IKeyboardState() = default;
  // Any thread, never blocks, never fails. A virtual key as the keyboard has it when asked,
  // whichever thread asks: bit 0x80 set while it is held. Not a thread's own view: the
  // recorders ask from the hook library's thread, which reads no key messages and so would
  // never see a key held. Inside a low-level hook it need not show the key being reported
  // yet, only those held before it: ask it about modifiers.
  virtual int16_t KeyState(int32_t AVirtualKey) = 0;
};

} // namespace platform
