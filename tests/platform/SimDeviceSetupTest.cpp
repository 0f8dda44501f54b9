// The simulated device tree, service database and shell fail where Windows fails, so that
// what the system does with them holds on Windows too.
#include <gtest/gtest.h>

#include <stdexcept>

#include "backend/sim/SimWorld.h"
#include "device/uiStdCmd.h"
#include "platform/SysError.h"

namespace {

using namespace platform;
using namespace platform::sim;
using Strings = std::vector<std::string>;

TEST(SimDeviceTree, NodesStartOnlyWithServicedFiltersAndChangesNeedRights) {
  TSimWorld World;
  TSimDeviceNode Node;
  Node.SetupClass = device::cHidSetupClass;
  Node.HardwareIds = {"HID\\VID_1"};
  Node.LowerFilters = Strings{"NoSuchService"};
  const int Id = World.Devices.AddNode(Node);
  EXPECT_FALSE(World.Devices.Node(Id).Started);
  EXPECT_EQ(World.Devices.Node(Id).Problem, cDeviceProblemDriverFailedLoad);

  uint32_t Error = 0;
  auto Nodes = World.Devices.OpenPresentNodes(device::cHidSetupClass, Error);
  ASSERT_TRUE(Nodes);
  uint32_t Status = 0;
  uint32_t Problem = 0;
  ASSERT_TRUE(Nodes->ReadStatus(0, Status, Problem));
  EXPECT_EQ(Status, cDeviceNodeHasProblem);
  Strings Read;
  EXPECT_EQ(Nodes->ReadStrings(0, TDeviceProperty::UpperFilters, Read), SysError::InvalidData);

  // A multi-string ends at its first empty string.
  EXPECT_EQ(Nodes->WriteStrings(0, TDeviceProperty::LowerFilters, {"", "Lost"}), 0u);
  EXPECT_EQ(Nodes->ReadStrings(0, TDeviceProperty::LowerFilters, Read), SysError::Success);
  EXPECT_TRUE(Read.empty());
  EXPECT_EQ(Nodes->ChangeState(0, TDeviceStateChange::Disable), 0u);
  EXPECT_EQ(World.Devices.Node(Id).Problem, cDeviceProblemDisabled);
  EXPECT_EQ(Nodes->ChangeState(0, TDeviceStateChange::Enable), 0u);
  EXPECT_TRUE(World.Devices.Node(Id).Started);

  // A restart builds the stack from the lists as they are now and leaves the node enabled; on
  // a disabled node it does nothing.
  EXPECT_EQ(Nodes->WriteStrings(0, TDeviceProperty::LowerFilters, {"NoSuchService"}), 0u);
  EXPECT_EQ(Nodes->ChangeState(0, TDeviceStateChange::PropertyChange), 0u);
  EXPECT_EQ(World.Devices.Node(Id).Problem, cDeviceProblemDriverFailedLoad);
  EXPECT_EQ(Nodes->WriteStrings(0, TDeviceProperty::LowerFilters, {}), 0u);
  EXPECT_EQ(Nodes->ChangeState(0, TDeviceStateChange::Disable), 0u);
  EXPECT_EQ(Nodes->ChangeState(0, TDeviceStateChange::PropertyChange), 0u);
  EXPECT_EQ(World.Devices.Node(Id).Problem, cDeviceProblemDisabled);
  EXPECT_EQ(Nodes->ChangeState(0, TDeviceStateChange::Enable), 0u);
  EXPECT_TRUE(World.Devices.Node(Id).Started);

  // A holder of the device vetoes its removal: a disable or a restart waits for a restart of
  // the system.
  auto Hold = World.Devices.Hold(Id);
  const int Starts = World.Devices.Node(Id).Starts;
  for (const auto Change : {TDeviceStateChange::Disable, TDeviceStateChange::PropertyChange}) {
    EXPECT_EQ(Nodes->ChangeState(0, Change), SysError::RebootRequired);
    EXPECT_TRUE(World.Devices.Node(Id).Started);
    EXPECT_EQ(World.Devices.Node(Id).Starts, Starts);
    EXPECT_TRUE(World.Devices.Node(Id).RestartPending);
  }
  Hold.reset();

  World.Devices.SetAdministrator(false);
  EXPECT_EQ(Nodes->WriteStrings(0, TDeviceProperty::LowerFilters, {"x"}), SysError::AccessDenied);
  EXPECT_EQ(Nodes->ChangeState(0, TDeviceStateChange::Disable), SysError::AccessDenied);
  EXPECT_EQ(Nodes->ChangeState(0, TDeviceStateChange::PropertyChange), SysError::AccessDenied);
  EXPECT_EQ(Nodes->ReadStrings(0, TDeviceProperty::HardwareId, Read), SysError::Success);

  // A node that goes after the list was taken cannot be read or changed.
  World.Devices.SetPresent(Id, false);
  EXPECT_TRUE(Nodes->HasNode(0));
  EXPECT_EQ(Nodes->ReadStrings(0, TDeviceProperty::HardwareId, Read),
            SysError::NoSuchDeviceInstance);
  EXPECT_FALSE(Nodes->ReadStatus(0, Status, Problem));
  Nodes.reset();
  EXPECT_EQ(World.Devices.OpenLists(), 0);

  // A loaded filter's service runs. Deleted, it stays, marked, until the last stack that
  // loaded it stops, and no stack loads it meanwhile.
  World.Services.AddService("Filter", {1, 3, 1, "f.sys", "Filter"});
  Node.LowerFilters = Strings{"FILTER"};
  const int Loading = World.Devices.AddNode(Node);
  EXPECT_TRUE(World.Devices.Node(Loading).Started);
  EXPECT_TRUE(World.Services.Service("filter")->Running);
  World.Services.OpenManager(cScManagerAllAccess, Error)
      ->OpenExisting("Filter", cServiceAllAccess, Error)
      ->Delete();
  ASSERT_TRUE(World.Services.Service("Filter").has_value());
  EXPECT_TRUE(World.Services.Service("Filter")->MarkedForDeletion);
  EXPECT_FALSE(World.Devices.Node(World.Devices.AddNode(Node)).Started);
  World.Devices.SetPresent(Loading, false);
  EXPECT_FALSE(World.Services.Service("Filter").has_value());
}

TEST(SimServiceDatabase, NamesRightsAndDeletionFollowTheServiceManager) {
  TSimWorld World;
  TServiceConfig Config{1, 3, 1, "a.sys", "Alpha"};
  uint32_t Error = 0;
  {
    auto Manager = World.Services.OpenManager(cScManagerAllAccess, Error);
    ASSERT_TRUE(Manager);
    auto Created = Manager->Create("alpha", Config, cServiceAllAccess, Error);
    ASSERT_TRUE(Created);
    Created.reset();
    EXPECT_FALSE(Manager->Create("ALPHA", Config, cServiceAllAccess, Error));
    EXPECT_EQ(Error, SysError::ServiceExists);
    Config.DisplayName = "alpha";
    EXPECT_FALSE(Manager->Create("beta", Config, cServiceAllAccess, Error));
    EXPECT_EQ(Error, SysError::DuplicateServiceName);
    EXPECT_FALSE(Manager->OpenExisting("gamma", cServiceAllAccess, Error));
    EXPECT_EQ(Error, SysError::ServiceDoesNotExist);
    EXPECT_FALSE(Manager->OpenExisting("a/b", cServiceAllAccess, Error));
    EXPECT_EQ(Error, SysError::InvalidName);
    auto Query = Manager->OpenExisting("Alpha", cServiceQueryConfig, Error);
    ASSERT_TRUE(Query);
    EXPECT_EQ(Query->ChangeConfig(Config), SysError::AccessDenied);
    EXPECT_EQ(Query->Delete(), SysError::AccessDenied);
  }
  {
    // A loaded driver's service stays, marked, until it stops.
    World.Services.SetRunning("alpha", true);
    auto Manager = World.Services.OpenManager(cScManagerAllAccess, Error);
    EXPECT_EQ(Manager->OpenExisting("alpha", cServiceAllAccess, Error)->Delete(), 0u);
    auto Again = Manager->OpenExisting("alpha", cServiceAllAccess, Error);
    ASSERT_TRUE(Again);
    EXPECT_EQ(Again->Delete(), SysError::ServiceMarkedForDelete);
    EXPECT_EQ(Again->ChangeConfig(Config), SysError::ServiceMarkedForDelete);
    EXPECT_FALSE(Manager->Create("alpha", {1, 3, 1, "a.sys", "New"}, cServiceAllAccess, Error));
    EXPECT_EQ(Error, SysError::ServiceMarkedForDelete);
  }
  World.Services.SetRunning("alpha", false);
  EXPECT_FALSE(World.Services.Service("alpha").has_value());

  World.Services.SetAdministrator(false);
  EXPECT_FALSE(World.Services.OpenManager(cScManagerAllAccess, Error));
  EXPECT_EQ(Error, SysError::AccessDenied);
  auto Connected = World.Services.OpenManager(cScManagerConnect, Error);
  ASSERT_TRUE(Connected);
  EXPECT_FALSE(Connected->Create("delta", {1, 3, 1, "d.sys", "Delta"}, cServiceAllAccess, Error));
  EXPECT_EQ(Error, SysError::AccessDenied);
  Connected.reset();
  EXPECT_EQ(World.Services.OpenHandles(), 0);
}

TEST(SimShell, AProgramNeedsItsFileAndItsWorkingFolder) {
  TSimWorld World;
  const std::string Tool = World.Environment.ModuleFolder() + "tool.exe";
  ASSERT_EQ(World.Files.ReplaceFileContent(Tool, "MZ", 2), 0u);
  // An existing program that nobody registered cannot run in the simulation.
  EXPECT_THROW(World.Shell.RunAndWait(Tool, "", World.Environment.ModuleFolder(), cShowHidden),
               std::logic_error);
  int Runs = 0;
  World.Shell.RegisterProgram(Tool, [&](const TSimShellOpen&) { ++Runs; });
  EXPECT_EQ(
      World.Shell.RunAndWait(Tool, "", World.Environment.ModuleFolder() + "none", cShowHidden),
      SysError::DirectoryInvalid);
  EXPECT_EQ(Runs, 0);
  EXPECT_EQ(World.Shell.RunAndWait(Tool, "", World.Environment.ModuleFolder(), cShowHidden), 0u);
  EXPECT_EQ(Runs, 1);
}

} // namespace
