// Run-time libraries loaded by file name with the platform's default search (the
// executable's folder first), and the keyboard state of a virtual key.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// A loaded library; freed when destroyed.
class ILoadedLibrary {
public:
  virtual ~ILoadedLibrary() = default;
  // The export's address, null when the library has none of that name.
  virtual void* Resolve(const std::string& AName) = 0;
};

class ILibraries {
public:
  virtual ~ILibraries() = default;
  // Null when the library cannot be loaded.
  virtual std::unique_ptr<ILoadedLibrary> Load(const std::string& AFileName) = 0;
};

class IKeyboardState {
public:
  virtual ~IKeyboardState() = default;
  // The calling thread's view of a virtual key: bit 0x80 set while it is held.
  virtual int16_t KeyState(int32_t AVirtualKey) = 0;
};

} // namespace platform
