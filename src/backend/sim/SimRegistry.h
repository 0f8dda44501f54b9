// The simulated registry: keys and values in memory, with their types kept, so a test can
// store a value of any type and see exactly what the system wrote. Paths and names follow the
// platform's rules: names compare without regard to case, creating a key creates the missing
// keys above it, and a path starting with a delimiter or holding a name over 255 characters is
// refused with the platform's error.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "backend/sim/SimFaults.h"
#include "platform/Registry.h"
#include "rtl/Mutex.h"

namespace platform::sim {

enum class TSimRegistryOp { OpenKey, QueryValue, SetValue };

class TSimRegistry : public IRegistry {
public:
  std::unique_ptr<IRegistryKey> OpenKey(uint32_t ARoot, const std::string& APath,
                                        TKeyAccess AAccess, uint32_t& AError) override;
  uint32_t DeleteKeyTree(uint32_t ARoot, const std::string& APath) override;

  // Test access, bypassing the service calls.
  bool KeyExists(uint32_t ARoot, const std::string& APath) const;
  void PutValue(uint32_t ARoot, const std::string& APath, const std::string& AName, uint32_t AType,
                std::vector<uint8_t> AData);
  struct TValue {
    std::string Name;
    uint32_t Type = RegType::None;
    std::vector<uint8_t> Data;
  };
  std::optional<TValue> GetValue(uint32_t ARoot, const std::string& APath,
                                 const std::string& AName) const;
  // A key whose permissions let this user read it only (AReadOnly), or also write it.
  void SetReadOnly(uint32_t ARoot, const std::string& APath, bool AReadOnly);
  // The next call of that kind fails with ACode.
  void FailNext(TSimRegistryOp AOp, uint32_t ACode) { FFaults.FailNext(AOp, ACode); }
  void FailAfter(TSimRegistryOp AOp, int ASucceeding, uint32_t ACode) {
    FFaults.FailAfter(AOp, ASucceeding, ACode);
  }
  // Calls made through the service, so a test can tell that nothing touched the registry.
  int CallCount() const;
  // Values created, replaced or deleted through the service.
  int WriteCount() const;

private:
  class TKey;
  using TKeyId = std::pair<uint32_t, std::string>;
  // The key a path names, or the error the platform gives for such a path.
  static uint32_t MakeId(uint32_t ARoot, const std::string& APath, TKeyId& AId);

  mutable rtl::TMutex FLock;
  std::map<TKeyId, std::map<std::string, TValue>> FKeys;
  std::set<TKeyId> FReadOnly;
  TSimFaults<TSimRegistryOp> FFaults;
  int FCallCount = 0;
  int FWriteCount = 0;
};

} // namespace platform::sim
