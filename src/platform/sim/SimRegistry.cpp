#include "platform/sim/SimRegistry.h"

#include <algorithm>
#include <cstring>

#include "platform/SysError.h"

namespace platform::sim {

namespace {
constexpr uint32_t cKeyDeleted = 1018;

std::string Lower(std::string AText) {
  std::transform(AText.begin(), AText.end(), AText.begin(), [](char C) {
    return (C >= 'A' && C <= 'Z') ? static_cast<char>(C - 'A' + 'a') : C;
  });
  return AText;
}
} // namespace

class TSimRegistry::TKey : public IRegistryKey {
public:
  TKey(TSimRegistry& ARegistry, TKeyId AId) : FRegistry(ARegistry), FId(std::move(AId)) {}

  uint32_t QueryValueInfo(const std::string& AName, uint32_t& AType, uint64_t& ASize) override {
    std::vector<uint8_t> Data;
    const uint32_t Error = Query(AName, AType, Data, UINT64_MAX, false);
    ASize = Data.size();
    return Error;
  }

  uint32_t QueryValue(const std::string& AName, uint32_t& AType, std::vector<uint8_t>& AData,
                      uint64_t AMaxSize) override {
    return Query(AName, AType, AData, AMaxSize, true);
  }

  uint32_t SetValue(const std::string& AName, uint32_t AType, const void* AData,
                    std::size_t ASize) override {
    std::lock_guard<std::mutex> Guard(FRegistry.FLock);
    ++FRegistry.FCallCount;
    if (const uint32_t Fault = FRegistry.FFaults.Take(TSimRegistryOp::SetValue)) {
      return Fault;
    }
    auto Key = FRegistry.FKeys.find(FId);
    if (Key == FRegistry.FKeys.end()) {
      return cKeyDeleted;
    }
    ++FRegistry.FWriteCount;
    const auto* Bytes = static_cast<const uint8_t*>(AData);
    Key->second[Lower(AName)] = TValue{AName, AType, std::vector<uint8_t>(Bytes, Bytes + ASize)};
    return SysError::Success;
  }

  uint32_t DeleteValue(const std::string& AName) override {
    std::lock_guard<std::mutex> Guard(FRegistry.FLock);
    ++FRegistry.FCallCount;
    auto Key = FRegistry.FKeys.find(FId);
    if (Key == FRegistry.FKeys.end()) {
      return cKeyDeleted;
    }
    ++FRegistry.FWriteCount;
    return Key->second.erase(Lower(AName)) > 0 ? SysError::Success : SysError::FileNotFound;
  }

private:
  uint32_t Query(const std::string& AName, uint32_t& AType, std::vector<uint8_t>& AData,
                 uint64_t AMaxSize, bool AFaultable) {
    std::lock_guard<std::mutex> Guard(FRegistry.FLock);
    ++FRegistry.FCallCount;
    AData.clear();
    if (AFaultable) {
      if (const uint32_t Fault = FRegistry.FFaults.Take(TSimRegistryOp::QueryValue)) {
        return Fault;
      }
    }
    auto Key = FRegistry.FKeys.find(FId);
    if (Key == FRegistry.FKeys.end()) {
      return cKeyDeleted;
    }
    auto Value = Key->second.find(Lower(AName));
    if (Value == Key->second.end()) {
      return SysError::FileNotFound;
    }
    AType = Value->second.Type;
    if (Value->second.Data.size() > AMaxSize) {
      return SysError::MoreData;
    }
    AData = Value->second.Data;
    return SysError::Success;
  }

  TSimRegistry& FRegistry;
  TKeyId FId;
};

std::optional<TSimRegistry::TKeyId> TSimRegistry::MakeId(uint32_t ARoot, const std::string& APath) {
  if (ARoot != RegRoot::CurrentUser && ARoot != RegRoot::LocalMachine) {
    return std::nullopt;
  }
  // Keys are named without regard to case, and empty parts of a path do not count.
  std::string Normal;
  std::size_t Start = 0;
  while (Start <= APath.size()) {
    std::size_t End = APath.find('\\', Start);
    if (End == std::string::npos) {
      End = APath.size();
    }
    if (End > Start) {
      if (!Normal.empty()) {
        Normal += '\\';
      }
      Normal += Lower(APath.substr(Start, End - Start));
    }
    Start = End + 1;
  }
  return TKeyId{ARoot, Normal};
}

std::unique_ptr<IRegistryKey> TSimRegistry::OpenKey(uint32_t ARoot, const std::string& APath,
                                                    bool ACreate, uint32_t& AError) {
  std::lock_guard<std::mutex> Guard(FLock);
  ++FCallCount;
  const auto Id = MakeId(ARoot, APath);
  if (!Id) {
    AError = SysError::InvalidHandle;
    return nullptr;
  }
  if ((AError = FFaults.Take(TSimRegistryOp::OpenKey)) != SysError::Success) {
    return nullptr;
  }
  if (FKeys.count(*Id) == 0) {
    if (!ACreate) {
      AError = SysError::FileNotFound;
      return nullptr;
    }
    FKeys[*Id];
  }
  return std::make_unique<TKey>(*this, *Id);
}

uint32_t TSimRegistry::DeleteKeyTree(uint32_t ARoot, const std::string& APath) {
  std::lock_guard<std::mutex> Guard(FLock);
  ++FCallCount;
  const auto Id = MakeId(ARoot, APath);
  if (!Id) {
    return SysError::InvalidHandle;
  }
  bool Found = false;
  for (auto Key = FKeys.begin(); Key != FKeys.end();) {
    const std::string& Path = Key->first.second;
    const bool Below = Key->first.first == Id->first &&
                       (Path == Id->second || Path.rfind(Id->second + "\\", 0) == 0);
    Found = Found || Below;
    Key = Below ? FKeys.erase(Key) : std::next(Key);
  }
  return Found ? SysError::Success : SysError::FileNotFound;
}

bool TSimRegistry::KeyExists(uint32_t ARoot, const std::string& APath) const {
  std::lock_guard<std::mutex> Guard(FLock);
  const auto Id = MakeId(ARoot, APath);
  return Id && FKeys.count(*Id) > 0;
}

void TSimRegistry::PutValue(uint32_t ARoot, const std::string& APath, const std::string& AName,
                            uint32_t AType, std::vector<uint8_t> AData) {
  std::lock_guard<std::mutex> Guard(FLock);
  const auto Id = MakeId(ARoot, APath);
  if (Id) {
    FKeys[*Id][Lower(AName)] = TValue{AName, AType, std::move(AData)};
  }
}

std::optional<TSimRegistry::TValue> TSimRegistry::GetValue(uint32_t ARoot, const std::string& APath,
                                                           const std::string& AName) const {
  std::lock_guard<std::mutex> Guard(FLock);
  const auto Id = MakeId(ARoot, APath);
  if (!Id) {
    return std::nullopt;
  }
  auto Key = FKeys.find(*Id);
  if (Key == FKeys.end()) {
    return std::nullopt;
  }
  auto Value = Key->second.find(Lower(AName));
  if (Value == Key->second.end()) {
    return std::nullopt;
  }
  return Value->second;
}

int TSimRegistry::WriteCount() const {
  std::lock_guard<std::mutex> Guard(FLock);
  return FWriteCount;
}

int TSimRegistry::CallCount() const {
  std::lock_guard<std::mutex> Guard(FLock);
  return FCallCount;
}

} // namespace platform::sim
