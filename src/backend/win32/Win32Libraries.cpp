#include <windows.h>

#include "backend/win32/Win32Platform.h"
#include "backend/win32/Win32Text.h"

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

bool IsDelimiter(wchar_t AChar) {
  return AChar == L'\\' || AChar == L'/';
}

// "C:\..." or "\\server\..." (and "\\?\..."): a path no search order applies to.
// "C:name" and "\name" are relative to a current folder or drive.
bool IsFullyQualified(const std::wstring& APath) {
  if (APath.size() >= 3 && APath[1] == L':' && IsDelimiter(APath[2])) {
    const wchar_t Drive = APath[0];
    return (Drive >= L'A' && Drive <= L'Z') || (Drive >= L'a' && Drive <= L'z');
  }
  return APath.size() >= 3 && IsDelimiter(APath[0]) && IsDelimiter(APath[1]);
}

class TWin32Libraries : public ILibraries {
public:
  std::unique_ptr<ILoadedLibrary> Load(const std::string& AFullPath) override {
    const std::wstring Path = ToWide(AFullPath);
    if (!IsFullyQualified(Path)) {
      return nullptr;
    }
    // With a full path the loader takes that file or nothing. The altered search has the
    // library's own imports looked for in its folder first, not in the program's, and unlike
    // the LOAD_LIBRARY_SEARCH flags it exists on every Windows the monitor runs on.
    const HMODULE Module = LoadLibraryExW(Path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    return Module != nullptr ? std::make_unique<TWin32Library>(Module) : nullptr;
  }
};

// GetKeyState follows the key messages the calling thread has read, which the hook library's
// thread never reads; the asynchronous state is the keyboard's own. Inside a low-level hook it
// does not yet show the key being reported, only those held before it, which is what a
// modifier is.
class TWin32KeyboardState : public IKeyboardState {
public:
  int16_t KeyState(int32_t AVirtualKey) override {
    return (GetAsyncKeyState(AVirtualKey) & cAsyncDownBit) != 0 ? cHeldState : 0;
  }

private:
  static constexpr SHORT cAsyncDownBit = static_cast<SHORT>(0x8000);
  // What GetKeyState gives for a held key that is not toggled.
  static constexpr int16_t cHeldState = static_cast<int16_t>(0xFF80);
};

} // namespace

std::unique_ptr<ILibraries> CreateLibraries() {
  return std::make_unique<TWin32Libraries>();
}
std::unique_ptr<IKeyboardState> CreateKeyboardState() {
  return std::make_unique<TWin32KeyboardState>();
}

} // namespace platform::win32
