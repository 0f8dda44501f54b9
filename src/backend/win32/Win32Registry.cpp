#include <windows.h>

#include <limits>

#include "backend/win32/Win32Platform.h"
#include "backend/win32/Win32Text.h"
#include "platform/SysError.h"

namespace platform::win32 {

namespace {

HKEY RootHandle(uint32_t ARoot) {
  if (ARoot == RegRoot::CurrentUser) {
    return HKEY_CURRENT_USER;
  }
  if (ARoot == RegRoot::LocalMachine) {
    return HKEY_LOCAL_MACHINE;
  }
  return nullptr;
}

class TWin32RegistryKey : public IRegistryKey {
public:
  explicit TWin32RegistryKey(HKEY AKey) : FKey(AKey) {}
  ~TWin32RegistryKey() override { RegCloseKey(FKey); }

  uint32_t QueryValueInfo(const std::string& AName, uint32_t& AType, uint64_t& ASize) override {
    DWORD Type = 0;
    DWORD Size = 0;
    const LSTATUS Status =
        RegQueryValueExW(FKey, ToWide(AName).c_str(), nullptr, &Type, nullptr, &Size);
    AType = Type;
    ASize = Size;
    return static_cast<uint32_t>(Status);
  }

  uint32_t QueryValue(const std::string& AName, uint32_t& AType, std::vector<uint8_t>& AData,
                      uint64_t AMaxSize) override {
    AData.clear();
    const std::wstring Name = ToWide(AName);
    // The value may change between the size query and the read: try again a few times.
    for (int Attempt = 0; Attempt < 4; ++Attempt) {
      DWORD Type = 0;
      DWORD Size = 0;
      LSTATUS Status = RegQueryValueExW(FKey, Name.c_str(), nullptr, &Type, nullptr, &Size);
      if (Status != ERROR_SUCCESS) {
        return static_cast<uint32_t>(Status);
      }
      AType = Type;
      if (Size > AMaxSize) {
        return SysError::MoreData;
      }
      std::vector<uint8_t> Data(Size);
      DWORD Read = Size;
      Status = RegQueryValueExW(FKey, Name.c_str(), nullptr, &Type, Data.data(), &Read);
      if (Status == ERROR_MORE_DATA) {
        continue;
      }
      if (Status != ERROR_SUCCESS) {
        return static_cast<uint32_t>(Status);
      }
      AType = Type;
      Data.resize(Read);
      AData = std::move(Data);
      return SysError::Success;
    }
    return SysError::MoreData;
  }

  uint32_t SetValue(const std::string& AName, uint32_t AType, const void* AData,
                    std::size_t ASize) override {
    if (ASize > std::numeric_limits<DWORD>::max()) {
      return SysError::InvalidParameter;
    }
    return static_cast<uint32_t>(RegSetValueExW(FKey, ToWide(AName).c_str(), 0, AType,
                                                static_cast<const BYTE*>(AData),
                                                static_cast<DWORD>(ASize)));
  }

  uint32_t DeleteValue(const std::string& AName) override {
    return static_cast<uint32_t>(RegDeleteValueW(FKey, ToWide(AName).c_str()));
  }

private:
  HKEY FKey;
};

class TWin32Registry : public IRegistry {
public:
  std::unique_ptr<IRegistryKey> OpenKey(uint32_t ARoot, const std::string& APath,
                                        TKeyAccess AAccess, uint32_t& AError) override {
    const HKEY Root = RootHandle(ARoot);
    if (Root == nullptr) {
      AError = SysError::InvalidHandle;
      return nullptr;
    }
    HKEY Key = nullptr;
    const std::wstring Path = ToWide(APath);
    // No more rights than the work needs: a key the user may only read still loads.
    const REGSAM Rights = AAccess == TKeyAccess::Read ? KEY_READ : KEY_READ | KEY_WRITE;
    const LSTATUS Status =
        AAccess == TKeyAccess::Create
            ? RegCreateKeyExW(Root, Path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, Rights,
                              nullptr, &Key, nullptr)
            : RegOpenKeyExW(Root, Path.c_str(), 0, Rights, &Key);
    AError = static_cast<uint32_t>(Status);
    if (Status != ERROR_SUCCESS) {
      return nullptr;
    }
    return std::make_unique<TWin32RegistryKey>(Key);
  }

  uint32_t DeleteKeyTree(uint32_t ARoot, const std::string& APath) override {
    const HKEY Root = RootHandle(ARoot);
    if (Root == nullptr || APath.empty()) {
      return SysError::InvalidHandle;
    }
    return static_cast<uint32_t>(RegDeleteTreeW(Root, ToWide(APath).c_str()));
  }
};

} // namespace

std::unique_ptr<IRegistry> CreateRegistry() {
  return std::make_unique<TWin32Registry>();
}

} // namespace platform::win32
