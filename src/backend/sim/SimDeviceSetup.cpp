#include "backend/sim/SimDeviceSetup.h"

#include <algorithm>
#include <filesystem>
#include <map>

#include "backend/sim/SimFileSystem.h"
#include "backend/sim/SimWorld.h"
#include "platform/SysError.h"
#include "rtl/Mutex.h"
#include "rtl/Paths.h"
#include "rtl/Utf.h"

namespace platform::sim {

namespace {

std::string Folded(std::string AText) {
  std::transform(AText.begin(), AText.end(), AText.begin(), [](char AChar) {
    return AChar >= 'A' && AChar <= 'Z' ? static_cast<char>(AChar + ('a' - 'A')) : AChar;
  });
  return AText;
}

// A multi-string ends at its first empty string.
std::vector<std::string> AsMultiString(const std::vector<std::string>& AStrings) {
  std::vector<std::string> Result;
  for (const std::string& Text : AStrings) {
    if (Text.empty()) {
      break;
    }
    Result.push_back(Text);
  }
  return Result;
}

// Bytes of the stored multi-string: each string and its terminator, then the list's own.
std::size_t MultiStringBytes(const std::vector<std::string>& AStrings) {
  std::size_t Units = 1;
  for (const std::string& Text : AStrings) {
    Units += rtl::Utf8ToUtf16(Text).size() + 1;
  }
  return Units * sizeof(char16_t);
}

constexpr std::size_t cPropertyBufferBytes = 32768;

} // namespace

// --- device tree ---------------------------------------------------------------------------

struct TSimDeviceTree::TState {
  mutable rtl::TMutex Lock;
  std::vector<TSimDeviceNodeState> Nodes;
  std::vector<int> Holds;
  bool Administrator = true;
  TSimFaults<TSimDeviceOp> Faults;
  std::function<bool(const std::string&)> ServiceLookup;
  std::function<void(const std::string&, bool)> ServiceLoaded;
  // The filters that started stacks have loaded (names as listed).
  std::vector<std::string> Loaded;
  std::function<bool(const std::vector<std::string>&)> RemoveInterfaces;
  std::function<void(const std::vector<std::string>&)> RestoreInterfaces;
  int OpenLists = 0;

  // Builds the node's stack from its lists; a filter without a service keeps it from
  // loading.
  void Start(TSimDeviceNodeState& ANode) {
    const std::vector<std::string> Upper =
        ANode.Node.UpperFilters.value_or(std::vector<std::string>{});
    const std::vector<std::string> Lower =
        ANode.Node.LowerFilters.value_or(std::vector<std::string>{});
    ++ANode.Starts;
    ANode.RestartPending = false;
    bool Loadable = true;
    if (ServiceLookup) {
      for (const auto* List : {&Upper, &Lower}) {
        for (const std::string& Filter : *List) {
          Loadable = Loadable && ServiceLookup(Filter);
        }
      }
    }
    ANode.Started = Loadable;
    ANode.Problem = Loadable ? 0 : cDeviceProblemDriverFailedLoad;
    ANode.LoadedUpperFilters = Loadable ? Upper : std::vector<std::string>{};
    ANode.LoadedLowerFilters = Loadable ? Lower : std::vector<std::string>{};
    LoadedChanged();
  }

  // The node's stack is torn down.
  void Stop(TSimDeviceNodeState& ANode) {
    ANode.Started = false;
    ANode.LoadedUpperFilters.clear();
    ANode.LoadedLowerFilters.clear();
    LoadedChanged();
  }

  // A filter's service runs while a started stack has it loaded, and stops with the last one.
  void LoadedChanged() {
    std::vector<std::string> Now;
    for (const TSimDeviceNodeState& Node : Nodes) {
      if (Node.Started) {
        for (const auto* List : {&Node.LoadedUpperFilters, &Node.LoadedLowerFilters}) {
          for (const std::string& Filter : *List) {
            if (!Names(Now, Filter)) {
              Now.push_back(Filter);
            }
          }
        }
      }
    }
    if (ServiceLoaded) {
      for (const std::string& Filter : Now) {
        if (!Names(Loaded, Filter)) {
          ServiceLoaded(Filter, true);
        }
      }
      for (const std::string& Filter : Loaded) {
        if (!Names(Now, Filter)) {
          ServiceLoaded(Filter, false);
        }
      }
    }
    Loaded = std::move(Now);
  }

  static bool Names(const std::vector<std::string>& AList, const std::string& AName) {
    return std::any_of(AList.begin(), AList.end(),
                       [&](const std::string& AItem) { return Folded(AItem) == Folded(AName); });
  }

  std::optional<std::vector<std::string>>& Property(TSimDeviceNodeState& ANode,
                                                    TDeviceProperty AProperty) {
    return AProperty == TDeviceProperty::UpperFilters ? ANode.Node.UpperFilters
                                                      : ANode.Node.LowerFilters;
  }
};

namespace {

class TSimNodeList : public IDeviceNodeList {
public:
  TSimNodeList(std::shared_ptr<TSimDeviceTree::TState> AState, std::vector<int> AIds)
      : FState(std::move(AState)), FIds(std::move(AIds)) {
    rtl::TLockGuard Guard(FState->Lock);
    ++FState->OpenLists;
  }
  ~TSimNodeList() override {
    rtl::TLockGuard Guard(FState->Lock);
    --FState->OpenLists;
  }

  bool HasNode(uint32_t AIndex) override { return AIndex < FIds.size(); }

  uint32_t ReadStrings(uint32_t AIndex, TDeviceProperty AProperty,
                       std::vector<std::string>& AStrings) override {
    AStrings.clear();
    return OnNode(TSimDeviceOp::Read, AIndex, [&](TSimDeviceNodeState& ANode) {
      std::optional<std::vector<std::string>> Value;
      if (AProperty == TDeviceProperty::HardwareId) {
        if (!ANode.Node.HardwareIds.empty()) {
          Value = ANode.Node.HardwareIds;
        }
      } else {
        Value = FState->Property(ANode, AProperty);
      }
      if (!Value) {
        return SysError::InvalidData;
      }
      const std::vector<std::string> Strings = AsMultiString(*Value);
      if (MultiStringBytes(Strings) > cPropertyBufferBytes) {
        return SysError::InsufficientBuffer;
      }
      AStrings = Strings;
      return SysError::Success;
    });
  }

  uint32_t WriteStrings(uint32_t AIndex, TDeviceProperty AProperty,
                        const std::vector<std::string>& AStrings) override {
    return OnNode(TSimDeviceOp::Write, AIndex, [&](TSimDeviceNodeState& ANode) {
      if (!FState->Administrator) {
        return SysError::AccessDenied;
      }
      if (AProperty == TDeviceProperty::HardwareId) {
        ANode.Node.HardwareIds = AsMultiString(AStrings);
      } else {
        FState->Property(ANode, AProperty) = AsMultiString(AStrings);
      }
      ++ANode.Writes;
      return SysError::Success;
    });
  }

  bool ReadStatus(uint32_t AIndex, uint32_t& AStatus, uint32_t& AProblem) override {
    AStatus = 0;
    AProblem = 0;
    if (FState->Faults.Take(TSimDeviceOp::Status) != 0) {
      return false;
    }
    rtl::TLockGuard Guard(FState->Lock);
    const TSimDeviceNodeState* Node = Present(AIndex);
    if (Node == nullptr) {
      return false;
    }
    AStatus =
        (Node->Started ? cDeviceNodeStarted : 0) | (Node->Problem != 0 ? cDeviceNodeHasProblem : 0);
    AProblem = Node->Problem;
    return true;
  }

  uint32_t ChangeState(uint32_t AIndex, TDeviceStateChange AChange) override {
    if (const uint32_t Fault = FState->Faults.Take(TSimDeviceOp::ChangeState)) {
      return Fault;
    }
    std::vector<std::string> Interfaces;
    std::function<bool(const std::vector<std::string>&)> Remove;
    std::function<void(const std::vector<std::string>&)> Restore;
    {
      rtl::TLockGuard Guard(FState->Lock);
      TSimDeviceNodeState* Node = Present(AIndex);
      if (Node == nullptr) {
        return SysError::NoSuchDeviceInstance;
      }
      if (!FState->Administrator) {
        return SysError::AccessDenied;
      }
      Node->StateChanges.push_back(AChange);
      if (AChange == TDeviceStateChange::PropertyChange && !Node->Enabled) {
        // A disabled node stays disabled: there is no stack to restart.
        return SysError::Success;
      }
      if (AChange != TDeviceStateChange::Enable) {
        if (std::count(FState->Holds.begin(), FState->Holds.end(), FIds[AIndex]) > 0) {
          // The holder vetoes the removal: the node runs on as it was until a restart.
          Node->RestartPending = true;
          return SysError::RebootRequired;
        }
        if (Node->Started) {
          Interfaces = Node->Node.Interfaces;
          Remove = FState->RemoveInterfaces;
        }
        Restore = FState->RestoreInterfaces;
      } else if (!Node->Enabled) {
        Node->Enabled = true;
        FState->Start(*Node);
        if (Node->Started) {
          Interfaces = Node->Node.Interfaces;
          Restore = FState->RestoreInterfaces;
        }
      }
    }
    if (AChange == TDeviceStateChange::Enable) {
      if (Restore && !Interfaces.empty()) {
        Restore(Interfaces);
      }
      return SysError::Success;
    }
    // The interfaces are asked first, without the lock: their owners are told on this thread.
    const bool Removed = !Remove || Interfaces.empty() || Remove(Interfaces);
    {
      rtl::TLockGuard Guard(FState->Lock);
      TSimDeviceNodeState* Node = Present(AIndex);
      if (Node == nullptr) {
        return SysError::NoSuchDeviceInstance;
      }
      if (!Removed) {
        Node->RestartPending = true;
        return SysError::RebootRequired;
      }
      FState->Stop(*Node);
      if (AChange == TDeviceStateChange::Disable) {
        Node->Enabled = false;
        Node->Problem = cDeviceProblemDisabled;
        return SysError::Success;
      }
      // A restart builds the stack again from the node's lists as they are now, in one step.
      FState->Start(*Node);
      Interfaces = Node->Started ? Node->Node.Interfaces : std::vector<std::string>{};
    }
    if (Restore && !Interfaces.empty()) {
      Restore(Interfaces);
    }
    return SysError::Success;
  }

private:
  // A step on a present node, under the tree's lock, after any fault injected for it.
  template <class TApply> uint32_t OnNode(TSimDeviceOp AOp, uint32_t AIndex, TApply AApply) {
    if (const uint32_t Fault = FState->Faults.Take(AOp)) {
      return Fault;
    }
    rtl::TLockGuard Guard(FState->Lock);
    TSimDeviceNodeState* Node = Present(AIndex);
    return Node != nullptr ? AApply(*Node) : SysError::NoSuchDeviceInstance;
  }

  TSimDeviceNodeState* Present(uint32_t AIndex) {
    if (AIndex >= FIds.size()) {
      return nullptr;
    }
    TSimDeviceNodeState& Node = FState->Nodes[static_cast<std::size_t>(FIds[AIndex])];
    return Node.Node.Present ? &Node : nullptr;
  }

  std::shared_ptr<TSimDeviceTree::TState> FState;
  std::vector<int> FIds;
};

} // namespace

TSimDeviceTree::TSimDeviceTree() : FState(std::make_shared<TState>()) {}
TSimDeviceTree::~TSimDeviceTree() = default;

std::unique_ptr<IDeviceNodeList> TSimDeviceTree::OpenPresentNodes(const TGuid& AClass,
                                                                  uint32_t& AError) {
  AError = FState->Faults.Take(TSimDeviceOp::Open);
  if (AError != 0) {
    return nullptr;
  }
  std::vector<int> Ids;
  {
    rtl::TLockGuard Guard(FState->Lock);
    for (std::size_t Id = 0; Id < FState->Nodes.size(); ++Id) {
      const TSimDeviceNode& Node = FState->Nodes[Id].Node;
      if (Node.Present && Node.SetupClass == AClass) {
        Ids.push_back(static_cast<int>(Id));
      }
    }
  }
  return std::make_unique<TSimNodeList>(FState, std::move(Ids));
}

int TSimDeviceTree::AddNode(TSimDeviceNode ANode) {
  rtl::TLockGuard Guard(FState->Lock);
  TSimDeviceNodeState& State = FState->Nodes.emplace_back();
  State.Node = std::move(ANode);
  if (State.Node.Present) {
    FState->Start(State);
  }
  return static_cast<int>(FState->Nodes.size() - 1);
}

TSimDeviceNodeState TSimDeviceTree::Node(int AId) const {
  rtl::TLockGuard Guard(FState->Lock);
  return FState->Nodes.at(static_cast<std::size_t>(AId));
}

void TSimDeviceTree::SetPresent(int AId, bool APresent) {
  rtl::TLockGuard Guard(FState->Lock);
  TSimDeviceNodeState& Node = FState->Nodes.at(static_cast<std::size_t>(AId));
  Node.Node.Present = APresent;
  if (APresent && Node.Enabled) {
    FState->Start(Node);
  } else if (!APresent) {
    FState->Stop(Node);
  }
}

void TSimDeviceTree::SetProblem(int AId, uint32_t AProblem) {
  rtl::TLockGuard Guard(FState->Lock);
  TSimDeviceNodeState& Node = FState->Nodes.at(static_cast<std::size_t>(AId));
  Node.Problem = AProblem;
  Node.Started = AProblem == 0;
  FState->LoadedChanged();
}

std::shared_ptr<void> TSimDeviceTree::Hold(int AId) {
  std::shared_ptr<TState> State = FState;
  {
    rtl::TLockGuard Guard(State->Lock);
    State->Holds.push_back(AId);
  }
  return std::shared_ptr<void>(State.get(), [State, AId](void*) {
    rtl::TLockGuard Guard(State->Lock);
    State->Holds.erase(std::find(State->Holds.begin(), State->Holds.end(), AId));
  });
}

void TSimDeviceTree::SetAdministrator(bool AAdministrator) {
  rtl::TLockGuard Guard(FState->Lock);
  FState->Administrator = AAdministrator;
}

void TSimDeviceTree::FailNext(TSimDeviceOp AOp, uint32_t ACode) {
  FState->Faults.FailNext(AOp, ACode);
}

void TSimDeviceTree::SetFilterServices(std::function<bool(const std::string&)> ALoadable,
                                       std::function<void(const std::string&, bool)> ALoaded) {
  rtl::TLockGuard Guard(FState->Lock);
  FState->ServiceLookup = std::move(ALoadable);
  FState->ServiceLoaded = std::move(ALoaded);
}

void TSimDeviceTree::SetInterfaceHooks(
    std::function<bool(const std::vector<std::string>&)> ARemove,
    std::function<void(const std::vector<std::string>&)> ARestore) {
  rtl::TLockGuard Guard(FState->Lock);
  FState->RemoveInterfaces = std::move(ARemove);
  FState->RestoreInterfaces = std::move(ARestore);
}

int TSimDeviceTree::OpenLists() const {
  rtl::TLockGuard Guard(FState->Lock);
  return FState->OpenLists;
}

// --- service database -----------------------------------------------------------------------

struct TSimServiceDatabase::TState {
  mutable rtl::TMutex Lock;
  // By folded name.
  std::map<std::string, TSimService> Services;
  std::map<std::string, int> ServiceHandles;
  int OpenHandles = 0;
  bool Administrator = true;
  TSimFaults<TSimServiceOp> Faults;

  // A service marked for deletion goes once it is stopped and no handle is open.
  void CollectIfGone(const std::string& AKey) {
    auto Found = Services.find(AKey);
    if (Found != Services.end() && Found->second.MarkedForDeletion && !Found->second.Running &&
        ServiceHandles[AKey] == 0) {
      Services.erase(Found);
    }
  }

  // The name or display name of another service than AKey.
  bool DisplayNameTaken(const std::string& ADisplayName, const std::string& AKey) const {
    const std::string Wanted = Folded(ADisplayName);
    for (const auto& [Key, Service] : Services) {
      if (Key != AKey && (Key == Wanted || Folded(Service.Config.DisplayName) == Wanted)) {
        return true;
      }
    }
    return false;
  }
};

namespace {

constexpr std::size_t cMaxServiceNameLength = 256;

bool ValidServiceName(const std::string& AName) {
  return !AName.empty() && AName.size() <= cMaxServiceNameLength &&
         AName.find_first_of("/\\") == std::string::npos;
}

class TSimServiceHandle : public IService {
public:
  TSimServiceHandle(std::shared_ptr<TSimServiceDatabase::TState> AState, std::string AKey,
                    uint32_t AAccess)
      : FState(std::move(AState)), FKey(std::move(AKey)), FAccess(AAccess) {
    ++FState->ServiceHandles[FKey];
    ++FState->OpenHandles;
  }
  ~TSimServiceHandle() override {
    rtl::TLockGuard Guard(FState->Lock);
    --FState->ServiceHandles[FKey];
    --FState->OpenHandles;
    FState->CollectIfGone(FKey);
  }

  uint32_t ChangeConfig(const TServiceConfig& AConfig) override {
    return Change(TSimServiceOp::ChangeConfig, cServiceChangeConfig, [&](TSimService& AService) {
      if (FState->DisplayNameTaken(AConfig.DisplayName, FKey)) {
        return SysError::DuplicateServiceName;
      }
      AService.Config = AConfig;
      return SysError::Success;
    });
  }

  uint32_t Delete() override {
    return Change(TSimServiceOp::Delete, cServiceDeleteAccess, [](TSimService& AService) {
      AService.MarkedForDeletion = true;
      return SysError::Success;
    });
  }

private:
  // A change that needs AAccess on this handle and a service not marked for deletion.
  template <class TApply> uint32_t Change(TSimServiceOp AOp, uint32_t AAccess, TApply AApply) {
    if (const uint32_t Fault = FState->Faults.Take(AOp)) {
      return Fault;
    }
    rtl::TLockGuard Guard(FState->Lock);
    if ((FAccess & AAccess) == 0) {
      return SysError::AccessDenied;
    }
    TSimService& Service = FState->Services.at(FKey);
    if (Service.MarkedForDeletion) {
      return SysError::ServiceMarkedForDelete;
    }
    return AApply(Service);
  }

  std::shared_ptr<TSimServiceDatabase::TState> FState;
  std::string FKey;
  uint32_t FAccess;
};

class TSimServiceManagerHandle : public IServiceManager {
public:
  TSimServiceManagerHandle(std::shared_ptr<TSimServiceDatabase::TState> AState, uint32_t AAccess)
      : FState(std::move(AState)), FAccess(AAccess) {
    ++FState->OpenHandles;
  }
  ~TSimServiceManagerHandle() override {
    rtl::TLockGuard Guard(FState->Lock);
    --FState->OpenHandles;
  }

  std::unique_ptr<IService> OpenExisting(const std::string& AName, uint32_t AAccess,
                                         uint32_t& AError) override {
    AError = FState->Faults.Take(TSimServiceOp::Open);
    if (AError != 0) {
      return nullptr;
    }
    rtl::TLockGuard Guard(FState->Lock);
    if (!ValidServiceName(AName)) {
      AError = SysError::InvalidName;
      return nullptr;
    }
    const std::string Key = Folded(AName);
    if (FState->Services.count(Key) == 0) {
      AError = SysError::ServiceDoesNotExist;
      return nullptr;
    }
    if (!FState->Administrator && (AAccess & ~cServiceQueryConfig) != 0) {
      AError = SysError::AccessDenied;
      return nullptr;
    }
    return std::make_unique<TSimServiceHandle>(FState, Key, AAccess);
  }

  std::unique_ptr<IService> Create(const std::string& AName, const TServiceConfig& AConfig,
                                   uint32_t AAccess, uint32_t& AError) override {
    AError = FState->Faults.Take(TSimServiceOp::Create);
    if (AError != 0) {
      return nullptr;
    }
    rtl::TLockGuard Guard(FState->Lock);
    const std::string Key = Folded(AName);
    auto Existing = FState->Services.find(Key);
    if ((FAccess & cScManagerCreateService) == 0) {
      AError = SysError::AccessDenied;
    } else if (!ValidServiceName(AName) || AConfig.DisplayName.size() > cMaxServiceNameLength) {
      AError = SysError::InvalidName;
    } else if (AConfig.BinaryPath.empty()) {
      AError = SysError::InvalidParameter;
    } else if (Existing != FState->Services.end()) {
      AError = Existing->second.MarkedForDeletion ? SysError::ServiceMarkedForDelete
                                                  : SysError::ServiceExists;
    } else if (FState->DisplayNameTaken(AConfig.DisplayName, Key)) {
      AError = SysError::DuplicateServiceName;
    }
    if (AError != 0) {
      return nullptr;
    }
    FState->Services[Key] = TSimService{AName, AConfig, false, false};
    return std::make_unique<TSimServiceHandle>(FState, Key, AAccess);
  }

private:
  std::shared_ptr<TSimServiceDatabase::TState> FState;
  uint32_t FAccess;
};

} // namespace

TSimServiceDatabase::TSimServiceDatabase() : FState(std::make_shared<TState>()) {}
TSimServiceDatabase::~TSimServiceDatabase() = default;

std::unique_ptr<IServiceManager> TSimServiceDatabase::OpenManager(uint32_t AAccess,
                                                                  uint32_t& AError) {
  AError = FState->Faults.Take(TSimServiceOp::OpenManager);
  if (AError != 0) {
    return nullptr;
  }
  rtl::TLockGuard Guard(FState->Lock);
  if (!FState->Administrator &&
      (AAccess & ~(cScManagerConnect | cScManagerEnumerateService)) != 0) {
    AError = SysError::AccessDenied;
    return nullptr;
  }
  return std::make_unique<TSimServiceManagerHandle>(FState, AAccess);
}

void TSimServiceDatabase::AddService(const std::string& AName, const TServiceConfig& AConfig,
                                     bool ARunning) {
  rtl::TLockGuard Guard(FState->Lock);
  FState->Services[Folded(AName)] = TSimService{AName, AConfig, ARunning, false};
}

std::optional<TSimService> TSimServiceDatabase::Service(const std::string& AName) const {
  rtl::TLockGuard Guard(FState->Lock);
  auto Found = FState->Services.find(Folded(AName));
  if (Found == FState->Services.end()) {
    return std::nullopt;
  }
  return Found->second;
}

std::vector<TSimService> TSimServiceDatabase::Services() const {
  rtl::TLockGuard Guard(FState->Lock);
  std::vector<TSimService> Result;
  for (const auto& Entry : FState->Services) {
    Result.push_back(Entry.second);
  }
  return Result;
}

void TSimServiceDatabase::SetRunning(const std::string& AName, bool ARunning) {
  rtl::TLockGuard Guard(FState->Lock);
  const std::string Key = Folded(AName);
  FState->Services.at(Key).Running = ARunning;
  FState->CollectIfGone(Key);
}

void TSimServiceDatabase::SetAdministrator(bool AAdministrator) {
  rtl::TLockGuard Guard(FState->Lock);
  FState->Administrator = AAdministrator;
}

void TSimServiceDatabase::FailNext(TSimServiceOp AOp, uint32_t ACode) {
  FState->Faults.FailNext(AOp, ACode);
}

int TSimServiceDatabase::OpenHandles() const {
  rtl::TLockGuard Guard(FState->Lock);
  return FState->OpenHandles;
}

// --- system information ---------------------------------------------------------------------

TSimSystemInfo::TSimSystemInfo(TSimEnvironment& AEnvironment)
    : FEnvironment(AEnvironment), FFacts(Windows64(true)) {
  FWindowsFolder = AEnvironment.RootFolder() + rtl::PathDelim + "Windows";
  std::filesystem::create_directories(
      Utf8Path(FWindowsFolder + rtl::PathDelim + "System32" + rtl::PathDelim + "Drivers"));
}

std::string TSimSystemInfo::WindowsFolder() {
  rtl::TLockGuard Guard(FLock);
  return FWindowsFolder;
}

TSystemFacts TSimSystemInfo::Facts() {
  rtl::TLockGuard Guard(FLock);
  TSystemFacts Facts = FFacts;
  Facts.Version = FEnvironment.OsVersion();
  return Facts;
}

void TSimSystemInfo::SetFacts(const TSystemFacts& AFacts) {
  rtl::TLockGuard Guard(FLock);
  FFacts = AFacts;
  FEnvironment.SetOsVersion(AFacts.Version);
}

void TSimSystemInfo::SetWindowsFolder(const std::string& AFolder) {
  rtl::TLockGuard Guard(FLock);
  FWindowsFolder = AFolder;
}

TSystemFacts TSimSystemInfo::Windows64(bool AProcess64Bit) {
  TSystemFacts Facts;
  Facts.Process64Bit = AProcess64Bit;
  Facts.IsWow64ProcessBound = true;
  Facts.NativeSystemInfoBound = true;
  Facts.UnderWow64 = !AProcess64Bit;
  Facts.NativeArchitecture = cProcessorArchitectureAmd64;
  Facts.NtFamily = true;
  Facts.Version = {10, 0, 19045};
  Facts.ProductType = cProductWorkstation;
  return Facts;
}

TSystemFacts TSimSystemInfo::Windows32() {
  TSystemFacts Facts = Windows64(false);
  Facts.UnderWow64 = false;
  Facts.NativeArchitecture = cProcessorArchitectureIntel;
  return Facts;
}

TSystemFacts TSimSystemInfo::WindowsXP64(bool AProcess64Bit) {
  TSystemFacts Facts = Windows64(AProcess64Bit);
  Facts.Version = {5, 2, 3790};
  return Facts;
}

} // namespace platform::sim
