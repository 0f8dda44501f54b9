// The registry service. Names and paths are UTF-8, compared without regard to case. Every
// call is made on the main thread (both backends would take any) and blocks until the
// registry has answered. Errors are system error codes (SysError) or the platform's own
// numbers (1018 for a key deleted while open), 0 for success.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

namespace RegRoot {
inline constexpr uint32_t CurrentUser = 0x80000001u;  // HKEY_CURRENT_USER
inline constexpr uint32_t LocalMachine = 0x80000002u; // HKEY_LOCAL_MACHINE
} // namespace RegRoot

namespace RegType {
inline constexpr uint32_t None = 0;
inline constexpr uint32_t String = 1;
inline constexpr uint32_t Binary = 3;
inline constexpr uint32_t DWord = 4;
} // namespace RegType

// An open key; closed when destroyed. It lives no longer than the service that opened it.
class IRegistryKey {
public:
  virtual ~IRegistryKey() = default;
  // Type and data size of a value, meaningful on success only; FileNotFound when it does not
  // exist.
  virtual uint32_t QueryValueInfo(const std::string& AName, uint32_t& AType, uint64_t& ASize) = 0;
  // Type and data of a value. MoreData when the data is larger than AMaxSize (AData is then
  // left empty); FileNotFound when it does not exist.
  virtual uint32_t QueryValue(const std::string& AName, uint32_t& AType,
                              std::vector<uint8_t>& AData, uint64_t AMaxSize) = 0;
  // Creates or replaces a value of any type; AccessDenied on a key opened for reading,
  // InvalidParameter for data too large for the registry.
  virtual uint32_t SetValue(const std::string& AName, uint32_t AType, const void* AData,
                            std::size_t ASize) = 0;
  // FileNotFound when there is no such value; AccessDenied on a key opened for reading.
  virtual uint32_t DeleteValue(const std::string& AName) = 0;
};

// What a key is opened for. A key opened for reading refuses writes with AccessDenied; a key
// the user may only read cannot be opened for writing (AccessDenied).
enum class TKeyAccess {
  Read,      // an existing key, to read
  ReadWrite, // an existing key, to read and write
  Create,    // the key, created with the missing keys of its path, to read and write
};

class IRegistry {
public:
  virtual ~IRegistry() = default;
  // Opens a key below one of the RegRoot roots for what AAccess says; the caller owns it. Null
  // on failure, with AError set (FileNotFound for a missing key that is not to be created,
  // AccessDenied, InvalidHandle for another root).
  virtual std::unique_ptr<IRegistryKey> OpenKey(uint32_t ARoot, const std::string& APath,
                                                TKeyAccess AAccess, uint32_t& AError) = 0;
  // Deletes a key with everything below it; FileNotFound when it does not exist,
  // InvalidHandle for another root. Not for an empty path (the root itself): Windows refuses
  // it with InvalidHandle, the simulated registry does not.
  virtual uint32_t DeleteKeyTree(uint32_t ARoot, const std::string& APath) = 0;
};

} // namespace platform
