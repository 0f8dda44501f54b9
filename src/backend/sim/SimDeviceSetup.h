// The simulated device tree and service database. Nodes belong to a setup class, are present
// or not, carry hardware ids and filter lists (a node may have no filter property at all),
// and are started with the filters of their lists, each of which needs an installed service:
// a stack with a filter whose service is missing or marked for deletion fails to start
// (problem 39), as the platform's would, and a filter's service runs while a started stack
// has it loaded. Writing a property or changing a node's state needs administrator
// rights; a disable that a holder of the device vetoes takes effect only after a restart. A
// disable first asks the device interfaces of the node to go (the world asks the simulated HID
// class, where a handle left open vetoes it), and an enable brings them back.
// Services are named without regard to case; creating a taken name fails with 1073, opening
// a missing one with 1060; a deleted service that is running stays, marked for deletion,
// until it stops. Every step can be made to fail once.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "backend/sim/SimFaults.h"
#include "platform/DeviceSetup.h"
#include "platform/Services.h"
#include "platform/SystemInfo.h"
#include "rtl/Mutex.h"

namespace platform::sim {

class TSimEnvironment;

struct TSimDeviceNode {
  TGuid SetupClass{};
  bool Present = true;
  std::vector<std::string> HardwareIds;
  // Nothing: the node has no such property.
  std::optional<std::vector<std::string>> UpperFilters;
  std::optional<std::vector<std::string>> LowerFilters;
  // The paths of the device interfaces the node's device offers while it runs (a test plugs
  // them): a disable asks each to be removed first, an enable brings them back.
  std::vector<std::string> Interfaces;
};

// What a test sees of a node.
struct TSimDeviceNodeState {
  TSimDeviceNode Node;
  bool Enabled = true;
  bool Started = false;
  uint32_t Problem = 0;
  // The filters of the device stack as it was last built.
  std::vector<std::string> LoadedUpperFilters;
  std::vector<std::string> LoadedLowerFilters;
  // How often the stack was built, the first start included.
  int Starts = 0;
  // Property changes asked for, in order, and whether one waits for a restart.
  std::vector<TDeviceStateChange> StateChanges;
  bool RestartPending = false;
  // Successful property writes.
  int Writes = 0;
};

enum class TSimDeviceOp { Open, Read, Write, Status, ChangeState };

class TSimDeviceTree : public IDeviceSetup {
public:
  TSimDeviceTree();
  ~TSimDeviceTree() override;
  std::unique_ptr<IDeviceNodeList> OpenPresentNodes(const TGuid& AClass, uint32_t& AError) override;

  // Adds a node and starts it if present; its id.
  int AddNode(TSimDeviceNode ANode);
  TSimDeviceNodeState Node(int AId) const;
  void SetPresent(int AId, bool APresent);
  // The problem a failed start leaves (0 clears it).
  void SetProblem(int AId, uint32_t AProblem);
  // Something holds the node's device open, until the hold is released: a disable is vetoed.
  std::shared_ptr<void> Hold(int AId);
  // A process without administrator rights can read but not write or change nodes.
  void SetAdministrator(bool AAdministrator);
  void FailNext(TSimDeviceOp AOp, uint32_t ACode);
  // Whether a filter's service can be loaded (every filter can without it), and what is told
  // when a filter is first loaded by a started stack and when the last such stack stops.
  // Called with the tree's lock held.
  void SetFilterServices(std::function<bool(const std::string& AName)> ALoadable,
                         std::function<void(const std::string& AName, bool ALoaded)> ALoaded);
  // How a disable asks a node's interfaces to go (false: one of them vetoed it, and those
  // already gone are back) and how an enable brings them back; both are called on the thread
  // that changes the node, without the tree's lock.
  void SetInterfaceHooks(std::function<bool(const std::vector<std::string>& APaths)> ARemove,
                         std::function<void(const std::vector<std::string>& APaths)> ARestore);
  // Node lists open now.
  int OpenLists() const;

  struct TState;

private:
  std::shared_ptr<TState> FState;
};

struct TSimService {
  std::string Name;
  TServiceConfig Config;
  bool Running = false;
  bool MarkedForDeletion = false;
};

enum class TSimServiceOp { OpenManager, Open, Create, ChangeConfig, Delete };

class TSimServiceDatabase : public IServiceControl {
public:
  TSimServiceDatabase();
  ~TSimServiceDatabase() override;
  std::unique_ptr<IServiceManager> OpenManager(uint32_t AAccess, uint32_t& AError) override;

  void AddService(const std::string& AName, const TServiceConfig& AConfig, bool ARunning = false);
  std::optional<TSimService> Service(const std::string& AName) const;
  std::vector<TSimService> Services() const;
  // A running service that was deleted goes when it stops.
  void SetRunning(const std::string& AName, bool ARunning);
  void SetAdministrator(bool AAdministrator);
  void FailNext(TSimServiceOp AOp, uint32_t ACode);
  // Manager and service handles open now.
  int OpenHandles() const;

  struct TState;

private:
  std::shared_ptr<TState> FState;
};

// A 64-bit build on 64-bit Windows 10 unless a test says otherwise; the Windows folder below
// the world's own folder, with "System32" and its "Drivers" in it.
class TSimSystemInfo : public ISystemInfo {
public:
  explicit TSimSystemInfo(TSimEnvironment& AEnvironment);
  std::string WindowsFolder() override;
  // The version is the environment's.
  TSystemFacts Facts() override;
  void SetFacts(const TSystemFacts& AFacts);
  void SetWindowsFolder(const std::string& AFolder);

  // The facts of the systems a test meets most.
  static TSystemFacts Windows64(bool AProcess64Bit);
  static TSystemFacts Windows32();
  static TSystemFacts WindowsXP64(bool AProcess64Bit);

private:
  TSimEnvironment& FEnvironment;
  mutable rtl::TMutex FLock;
  TSystemFacts FFacts;
  std::string FWindowsFolder;
};

} // namespace platform::sim
