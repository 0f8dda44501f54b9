#include "backend/sim/SimRegistry.h"

#include <algorithm>
#include <cstring>

#include "platform/SysError.h"
#include "rtl/Mutex.h"
#include "rtl/Utf.h"

namespace platform::sim {

namespace {
constexpr uint32_t cKeyDeleted = 1018;
// The longest name of one key, in UTF-16 units.
constexpr std::size_t cMaxKeyNameUnits = 255;

// The platform compares names by their upper-case forms, one UTF-16 unit at a time, with a
// table of its own. The letters folded here are ASCII, Latin-1, Latin Extended-A, Greek and
// Cyrillic; any other character compares as it is written.
char16_t UpperCase(char16_t AUnit) {
  const auto Minus = [](char16_t AValue, int AOffset) {
    return static_cast<char16_t>(AValue - AOffset);
  };
  if (AUnit < 0x80) {
    return AUnit >= u'a' && AUnit <= u'z' ? Minus(AUnit, 0x20) : AUnit;
  }
  if (AUnit >= 0xE0 && AUnit <= 0xFE && AUnit != 0xF7) {
    return Minus(AUnit, 0x20);
  }
  if (AUnit == 0xFF) {
    return 0x178;
  }
  if (AUnit == 0x131) {
    return u'I';
  }
  // Latin Extended-A pairs a capital with the small letter after it.
  const bool OddSmall = (AUnit >= 0x100 && AUnit <= 0x137) || (AUnit >= 0x14A && AUnit <= 0x177);
  const bool EvenSmall = (AUnit >= 0x139 && AUnit <= 0x148) || (AUnit >= 0x179 && AUnit <= 0x17E);
  if ((OddSmall && (AUnit & 1) != 0) || (EvenSmall && (AUnit & 1) == 0)) {
    return Minus(AUnit, 1);
  }
  if (AUnit == 0x3C2) {
    return 0x3A3;
  }
  if ((AUnit >= 0x3B1 && AUnit <= 0x3C9) || (AUnit >= 0x430 && AUnit <= 0x44F)) {
    return Minus(AUnit, 0x20);
  }
  if (AUnit >= 0x450 && AUnit <= 0x45F) {
    return Minus(AUnit, 0x50);
  }
  return AUnit;
}

// The form under which a name is looked up.
std::string Fold(std::string_view AName) {
  std::u16string Units = rtl::Utf8ToUtf16(AName);
  std::transform(Units.begin(), Units.end(), Units.begin(), UpperCase);
  return rtl::Utf16ToUtf8(Units);
}
} // namespace

class TSimRegistry::TKey : public IRegistryKey {
public:
  TKey(TSimRegistry& ARegistry, TKeyId AId, bool AWritable)
      : FRegistry(ARegistry), FId(std::move(AId)), FWritable(AWritable) {}

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
    rtl::TLockGuard Guard(FRegistry.FLock);
    ++FRegistry.FCallCount;
    if (!FWritable) {
      return SysError::AccessDenied;
    }
    if (const uint32_t Fault = FRegistry.FFaults.Take(TSimRegistryOp::SetValue)) {
      return Fault;
    }
    auto Key = FRegistry.FKeys.find(FId);
    if (Key == FRegistry.FKeys.end()) {
      return cKeyDeleted;
    }
    ++FRegistry.FWriteCount;
    const auto* Bytes = static_cast<const uint8_t*>(AData);
    Key->second[Fold(AName)] = TValue{AName, AType, std::vector<uint8_t>(Bytes, Bytes + ASize)};
    return SysError::Success;
  }

  uint32_t DeleteValue(const std::string& AName) override {
    rtl::TLockGuard Guard(FRegistry.FLock);
    ++FRegistry.FCallCount;
    if (!FWritable) {
      return SysError::AccessDenied;
    }
    auto Key = FRegistry.FKeys.find(FId);
    if (Key == FRegistry.FKeys.end()) {
      return cKeyDeleted;
    }
    ++FRegistry.FWriteCount;
    return Key->second.erase(Fold(AName)) > 0 ? SysError::Success : SysError::FileNotFound;
  }

private:
  uint32_t Query(const std::string& AName, uint32_t& AType, std::vector<uint8_t>& AData,
                 uint64_t AMaxSize, bool AFaultable) {
    rtl::TLockGuard Guard(FRegistry.FLock);
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
    auto Value = Key->second.find(Fold(AName));
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
  bool FWritable;
};

uint32_t TSimRegistry::MakeId(uint32_t ARoot, const std::string& APath, TKeyId& AId) {
  if (ARoot != RegRoot::CurrentUser && ARoot != RegRoot::LocalMachine) {
    return SysError::InvalidHandle;
  }
  // A path names keys below the root, so it cannot start with a delimiter.
  if (!APath.empty() && APath.front() == '\\') {
    return SysError::BadPathName;
  }
  // Delimiters at the end and doubled ones do not count.
  std::string Normal;
  std::size_t Start = 0;
  while (Start <= APath.size()) {
    std::size_t End = APath.find('\\', Start);
    if (End == std::string::npos) {
      End = APath.size();
    }
    if (End > Start) {
      const std::string Part = Fold(std::string_view(APath).substr(Start, End - Start));
      if (rtl::Utf8ToUtf16(Part).size() > cMaxKeyNameUnits) {
        return SysError::InvalidParameter;
      }
      if (!Normal.empty()) {
        Normal += '\\';
      }
      Normal += Part;
    }
    Start = End + 1;
  }
  AId = TKeyId{ARoot, Normal};
  return SysError::Success;
}

std::unique_ptr<IRegistryKey> TSimRegistry::OpenKey(uint32_t ARoot, const std::string& APath,
                                                    TKeyAccess AAccess, uint32_t& AError) {
  rtl::TLockGuard Guard(FLock);
  ++FCallCount;
  TKeyId Id;
  if ((AError = MakeId(ARoot, APath, Id)) != SysError::Success) {
    return nullptr;
  }
  if ((AError = FFaults.Take(TSimRegistryOp::OpenKey)) != SysError::Success) {
    return nullptr;
  }
  const bool Writing = AAccess != TKeyAccess::Read;
  if (Writing && FReadOnly.count(Id) != 0) {
    AError = SysError::AccessDenied;
    return nullptr;
  }
  if (FKeys.count(Id) == 0) {
    if (AAccess != TKeyAccess::Create) {
      AError = SysError::FileNotFound;
      return nullptr;
    }
    // Creating a key creates every missing key on its path.
    for (std::size_t End = Id.second.find('\\'); End != std::string::npos;
         End = Id.second.find('\\', End + 1)) {
      FKeys[{Id.first, Id.second.substr(0, End)}];
    }
    FKeys[Id];
  }
  return std::make_unique<TKey>(*this, Id, Writing);
}

uint32_t TSimRegistry::DeleteKeyTree(uint32_t ARoot, const std::string& APath) {
  rtl::TLockGuard Guard(FLock);
  ++FCallCount;
  TKeyId Id;
  if (const uint32_t Error = MakeId(ARoot, APath, Id)) {
    return Error;
  }
  bool Found = false;
  for (auto Key = FKeys.begin(); Key != FKeys.end();) {
    const std::string& Path = Key->first.second;
    const bool Below =
        Key->first.first == Id.first && (Path == Id.second || Path.rfind(Id.second + "\\", 0) == 0);
    Found = Found || Below;
    Key = Below ? FKeys.erase(Key) : std::next(Key);
  }
  return Found ? SysError::Success : SysError::FileNotFound;
}

void TSimRegistry::SetReadOnly(uint32_t ARoot, const std::string& APath, bool AReadOnly) {
  rtl::TLockGuard Guard(FLock);
  TKeyId Id;
  if (MakeId(ARoot, APath, Id) == SysError::Success) {
    if (AReadOnly) {
      FReadOnly.insert(Id);
    } else {
      FReadOnly.erase(Id);
    }
  }
}

bool TSimRegistry::KeyExists(uint32_t ARoot, const std::string& APath) const {
  rtl::TLockGuard Guard(FLock);
  TKeyId Id;
  return MakeId(ARoot, APath, Id) == SysError::Success && FKeys.count(Id) > 0;
}

void TSimRegistry::PutValue(uint32_t ARoot, const std::string& APath, const std::string& AName,
                            uint32_t AType, std::vector<uint8_t> AData) {
  rtl::TLockGuard Guard(FLock);
  TKeyId Id;
  if (MakeId(ARoot, APath, Id) == SysError::Success) {
    FKeys[Id][Fold(AName)] = TValue{AName, AType, std::move(AData)};
  }
}

std::optional<TSimRegistry::TValue> TSimRegistry::GetValue(uint32_t ARoot, const std::string& APath,
                                                           const std::string& AName) const {
  rtl::TLockGuard Guard(FLock);
  TKeyId Id;
  if (MakeId(ARoot, APath, Id) != SysError::Success) {
    return std::nullopt;
  }
  auto Key = FKeys.find(Id);
  if (Key == FKeys.end()) {
    return std::nullopt;
  }
  auto Value = Key->second.find(Fold(AName));
  if (Value == Key->second.end()) {
    return std::nullopt;
  }
  return Value->second;
}

int TSimRegistry::WriteCount() const {
  rtl::TLockGuard Guard(FLock);
  return FWriteCount;
}

int TSimRegistry::CallCount() const {
  rtl::TLockGuard Guard(FLock);
  return FCallCount;
}

} // namespace platform::sim
