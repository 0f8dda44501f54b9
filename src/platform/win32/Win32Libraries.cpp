#include <windows.h>

#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32Text.h"

namespace platform::win32 {

namespace {

class TWin32Library : public ILoadedLibrary {
public:
  explicit TWin32Library(HMODULE AModule) : FModule(AModule) {}
  ~TWin32Library() override { FreeLibrary(FModule); }
  void* Resolve(const std::string& AName) override {
    return reinterpret_cast<void*>(GetProcAddress(FModule, AName.c_str()));
  }

private:
  HMODULE FModule;
};

class TWin32Libraries : public ILibraries {
public:
  // The platform's default search, the executable's folder first: the hook library is the
  // one library loaded from beside the program, by design.
  std::unique_ptr<ILoadedLibrary> Load(const std::string& AFileName) override {
    const HMODULE Module = LoadLibraryW(ToWide(AFileName).c_str());
    return Module != nullptr ? std::make_unique<TWin32Library>(Module) : nullptr;
  }
};

class TWin32KeyboardState : public IKeyboardState {
public:
  int16_t KeyState(int32_t AVirtualKey) override { return GetKeyState(AVirtualKey); }
};

} // namespace

std::unique_ptr<ILibraries> CreateLibraries() {
  return std::make_unique<TWin32Libraries>();
}
std::unique_ptr<IKeyboardState> CreateKeyboardState() {
  return std::make_unique<TWin32KeyboardState>();
}

} // namespace platform::win32
