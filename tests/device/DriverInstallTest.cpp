#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "backend/sim/SimWorld.h"
#include "device/uiStdCmd.h"
#include "platform/SysError.h"
#include "rtl/Paths.h"
#include "support/Devices.h"
#include "support/TestPlatform.h"

namespace {

using namespace device;
using platform::TDeviceStateChange;
using platform::sim::TSimDeviceNode;
using platform::sim::TSimDeviceOp;
using platform::sim::TSimFileOp;
using platform::sim::TSimServiceOp;
using platform::sim::TSimShellOpen;
using platform::sim::TSimSystemInfo;
using Strings = std::vector<std::string>;

constexpr const char* cMouseId = "USB\\VID_1234&PID_5678";
constexpr const char* cOtherFilter = "OtherVendorFilter";
constexpr const char* cInstallFlags = " DRIVER_PACKAGE_SILENT DRIVER_PACKAGE_FORCE";
constexpr const char* cRemoveFlags =
    " DRIVER_PACKAGE_SILENT DRIVER_PACKAGE_FORCE DRIVER_PACKAGE_DELETE_FILES";

using test::LocalPath;

class DriverInstallTest : public ::testing::Test {
protected:
  DriverInstallTest() {
    // The driver packages, each with a driver file of its own content and the package tool.
    for (const char* Folder : {"DRIVERX64", "DRIVERX86", "XP64"}) {
      World.Files.MakeDirectory(App() + Folder);
      Put(App() + Folder + rtl::PathDelim + "usbkmfx00001.sys", std::string("driver ") + Folder);
      const std::string Tool = App() + Folder + rtl::PathDelim + "DIFxCmd.exe";
      Put(Tool, "tool");
      World.Shell.RegisterProgram(Tool, [](const TSimShellOpen&) {});
    }
    World.Services.AddService(cOtherFilter, {1, 3, 1, "other.sys", cOtherFilter});
  }

  std::string App() { return World.Environment.ModuleFolder(); }
  std::string Target() {
    return World.System.WindowsFolder() + LocalPath("\\System32\\Drivers\\usbkmfx00001.sys");
  }
  void Put(const std::string& APath, const std::string& AText) {
    ASSERT_EQ(World.Files.ReplaceFileContent(APath, AText.data(), AText.size()), 0u) << APath;
  }
  std::string Read(const std::string& APath) {
    std::vector<uint8_t> Bytes;
    World.Files.ReadWholeFile(APath, Bytes, 1 << 20);
    return std::string(Bytes.begin(), Bytes.end());
  }
  std::unique_ptr<TuiSTDCommand> Make(const std::string& ADevice = "WHQL=0\n") {
    Put(App() + "config.ini", "[DEVICE]\n" + ADevice +
                                  "[devicelist]\nid1=HID\\VID_1234&PID_5678\n"
                                  "id3=HID\\VID_AAAA&PID_0003\n"
                                  "[usbdevicelist]\nid1=" +
                                  cMouseId + "\n");
    return std::make_unique<TuiSTDCommand>(nullptr, TStdCommandServices::Of(World.Platform()));
  }
  // A HID node of the mouse (its ids in another case than configured) with lower filters.
  int AddMouse(Strings ALowerFilters, std::optional<Strings> AUpperFilters = std::nullopt) {
    TSimDeviceNode Node = test::Devices::MouseNode();
    Node.HardwareIds[1] = "usb\\vid_1234&pid_5678";
    Node.LowerFilters = std::move(ALowerFilters);
    Node.UpperFilters = std::move(AUpperFilters);
    return World.Devices.AddNode(Node);
  }
  Strings Lower(int ANode) { return World.Devices.Node(ANode).Node.LowerFilters.value(); }

  platform::sim::TSimWorld World;
};

TEST_F(DriverInstallTest, PresenceChecksMatchWholeIdsWithoutRegardToCase) {
  auto Command = Make();
  TSimDeviceNode Node;
  Node.SetupClass = cHidSetupClass;
  // A configured id that is only a prefix of a node's id, an id listed after the gap in the
  // list, and a matching node of another class or one that is not present, never count.
  Node.HardwareIds = {"HID\\VID_1234&PID_5678&MI_01", "HID\\VID_AAAA&PID_0003"};
  World.Devices.AddNode(Node);
  TSimDeviceNode Gone = Node;
  Gone.HardwareIds = {"HID\\VID_1234&PID_5678"};
  Gone.Present = false;
  World.Devices.AddNode(Gone);
  TSimDeviceNode OtherClass = Gone;
  OtherClass.Present = true;
  OtherClass.SetupClass = platform::cHidInterfaceClass;
  World.Devices.AddNode(OtherClass);
  EXPECT_FALSE(Command->IsHIDDeviceExist());
  EXPECT_TRUE(Command->ISHIDDeviceExist("hid\\vid_1234&pid_5678&mi_01"));
  EXPECT_FALSE(Command->ISHIDDeviceExist("HID\\VID_1234&PID_5678"));
  EXPECT_FALSE(Command->ISHIDDeviceExist("HID\\VID_1234"));
  EXPECT_FALSE(Command->ISHIDDeviceExist(""));

  Node.HardwareIds = {"hid\\vid_1234&pid_5678"};
  World.Devices.AddNode(Node);
  EXPECT_TRUE(Command->IsHIDDeviceExist());
  EXPECT_TRUE(Command->ISHIDDeviceExist("HID\\VID_1234&PID_5678"));
  EXPECT_TRUE(Command->HardwareIdsInConfigHidList({"x", "HID\\vid_1234&PID_5678"}));
  EXPECT_TRUE(Command->HardwareIdsInConfigUsbList({"usb\\VID_1234&pid_5678"}));
  EXPECT_FALSE(Command->HardwareIdsInConfigUsbList({"USB\\VID_1234&PID_5678&REV_0100"}));

  World.Devices.FailNext(TSimDeviceOp::Open, platform::SysError::NotEnoughMemory);
  EXPECT_FALSE(Command->IsHIDDeviceExist());
  EXPECT_EQ(World.Devices.OpenLists(), 0);
}

TEST_F(DriverInstallTest, TheRouteAndThePackageFollowTheSystemAndTheConfiguration) {
  struct TCase {
    const char* Name;
    platform::TSystemFacts Facts;
    const char* Device;
    // The package tool's folder and parameters, or "" for the manual route and the package
    // whose driver file is copied.
    const char* ToolFolder;
    std::string Parameters;
    const char* CopiedFrom;
  };
  platform::TSystemFacts NoWow64 = TSimSystemInfo::Windows64(false);
  NoWow64.IsWow64ProcessBound = false;
  const std::string Install = std::string("/i usbkmfx00001.inf") + cInstallFlags;
  // Windows Server 2003 x64 and its R2 share XP x64's version but are not it.
  platform::TSystemFacts Server2003 = TSimSystemInfo::WindowsXP64(true);
  Server2003.ProductType = 3;
  platform::TSystemFacts Server2003R2 = TSimSystemInfo::WindowsXP64(true);
  Server2003R2.ServerR2 = 1;
  platform::TSystemFacts Itanium = TSimSystemInfo::Windows64(false);
  Itanium.NativeArchitecture = platform::cProcessorArchitectureIa64;
  const TCase Cases[] = {
      {"32-bit, signed for 64-bit only", TSimSystemInfo::Windows32(), "WHQL=1\nX32WHQL=0\n", "", "",
       "DRIVERX86"},
      {"32-bit, signed for both", TSimSystemInfo::Windows32(), "WHQL=1\nX32WHQL=1\n", "DRIVERX86",
       Install, ""},
      {"64-bit build", TSimSystemInfo::Windows64(true), "WHQL=1\n", "DRIVERX64", Install, ""},
      {"32-bit build on 64-bit", TSimSystemInfo::Windows64(false), "WHQL=1\n", "DRIVERX64", Install,
       ""},
      {"64-bit, unsigned", TSimSystemInfo::Windows64(true), "WHQL=0\nX32WHQL=1\n", "", "",
       "DRIVERX64"},
      {"no emulation-layer query", NoWow64, "WHQL=1\n", "", "", "DRIVERX86"},
      {"XP x64", TSimSystemInfo::WindowsXP64(true), "WHQL=1\n", "XP64", "/i usbkmfx00001.inf", ""},
      {"XP x64, 32-bit build", TSimSystemInfo::WindowsXP64(false), "WHQL=1\n", "XP64",
       "/i usbkmfx00001.inf", ""},
      {"Server 2003 x64", Server2003, "WHQL=1\n", "DRIVERX64", Install, ""},
      {"Server 2003 R2 x64", Server2003R2, "WHQL=1\n", "DRIVERX64", Install, ""},
      {"32-bit build on Itanium", Itanium, "WHQL=1\n", "DRIVERX64", Install, ""},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    World.System.SetFacts(Case.Facts);
    World.Files.RemoveFile(Target());
    const int Node = AddMouse({});
    const std::size_t RunsBefore = World.Shell.Runs().size();
    Make(Case.Device)->HidInstallDriver(true);
    const auto Runs = World.Shell.Runs();
    if (*Case.ToolFolder != '\0') {
      ASSERT_EQ(Runs.size(), RunsBefore + 1);
      const std::string Folder = App() + Case.ToolFolder + rtl::PathDelim;
      EXPECT_EQ(Runs.back().File, Folder + "DIFxCmd.exe");
      EXPECT_EQ(Runs.back().Parameters, Case.Parameters);
      EXPECT_EQ(Runs.back().Folder, Folder);
      EXPECT_EQ(Runs.back().ShowCommand, platform::cShowHidden);
      EXPECT_FALSE(World.Files.FileExists(Target()));
    } else {
      EXPECT_EQ(Runs.size(), RunsBefore);
      EXPECT_EQ(Read(Target()), std::string("driver ") + Case.CopiedFrom);
      EXPECT_EQ(Lower(Node), Strings{"usbkmfx00001"});
    }
    World.Devices.SetPresent(Node, false);
  }
}

TEST_F(DriverInstallTest, ThePackageToolRunsOnceForEachNodeThatNeedsIt) {
  World.Services.AddService(test::Devices::cFilterService, test::Devices::FilterServiceConfig());
  const int Fresh = AddMouse({});
  const int Healthy = AddMouse({"USBKMFX00001"});
  const int Broken = AddMouse({cOtherFilter, "usbkmfx00001"});
  World.Devices.SetProblem(Broken, 10);
  TSimDeviceNode Keyboard;
  Keyboard.SetupClass = cHidSetupClass;
  Keyboard.HardwareIds = {"USB\\VID_1234&PID_9999"};
  Keyboard.LowerFilters = Strings{};
  World.Devices.AddNode(Keyboard);
  auto Command = Make("WHQL=1\n");

  Command->HidInstallDriver(true);
  ASSERT_EQ(World.Shell.Runs().size(), 2u); // the fresh node and the one with the problem
  Command->HidInstallDriver(false);
  const auto Runs = World.Shell.Runs();
  ASSERT_EQ(Runs.size(), 4u); // the two that hold the driver
  EXPECT_EQ(Runs[2].Parameters, std::string("/u usbkmfx00001.inf") + cRemoveFlags);
  EXPECT_EQ(Runs[3].Parameters, Runs[2].Parameters);
  // The signed route leaves the nodes to the tool.
  for (int Node : {Fresh, Healthy, Broken}) {
    EXPECT_EQ(World.Devices.Node(Node).Writes, 0);
    EXPECT_TRUE(World.Devices.Node(Node).StateChanges.empty());
  }

  World.System.SetFacts(TSimSystemInfo::WindowsXP64(true));
  Command->HidInstallDriver(false);
  EXPECT_EQ(World.Shell.Runs().back().Parameters, "/u usbkmfx00001.inf");
}

TEST_F(DriverInstallTest, TheManualRouteKeepsOtherFiltersAndRestartsTheNode) {
  World.Services.AddService("UpperOne", {1, 3, 1, "one.sys", "One"});
  World.Services.AddService("LowerTwo", {1, 3, 1, "two.sys", "Two"});
  for (const bool Upper : {false, true}) {
    SCOPED_TRACE(Upper ? "upper filter" : "lower filter");
    const int Node = AddMouse({cOtherFilter, "LowerTwo"}, Strings{"UpperOne", cOtherFilter});
    auto Command = Make(Upper ? "UpperFilter=1\n" : "UpperFilter=7\n");

    Command->HidInstallDriver(true);
    EXPECT_EQ(Read(Target()), "driver DRIVERX64");
    const auto Service = World.Services.Service("usbkmfx00001");
    ASSERT_TRUE(Service.has_value());
    EXPECT_EQ(Service->Config.DisplayName, "usbkmfx00001_Display");
    EXPECT_EQ(Service->Config.BinaryPath, Target());
    EXPECT_EQ(Service->Config.ServiceType, 1u);
    EXPECT_EQ(Service->Config.StartType, 3u);
    EXPECT_EQ(Service->Config.ErrorControl, 1u);
    auto State = World.Devices.Node(Node);
    const Strings Installed = Upper ? Strings{"UpperOne", cOtherFilter, "usbkmfx00001"}
                                    : Strings{cOtherFilter, "LowerTwo", "usbkmfx00001"};
    EXPECT_EQ(Upper ? *State.Node.UpperFilters : *State.Node.LowerFilters, Installed);
    EXPECT_EQ(Upper ? *State.Node.LowerFilters : *State.Node.UpperFilters,
              Upper ? Strings({cOtherFilter, "LowerTwo"}) : Strings({"UpperOne", cOtherFilter}));
    // Restarted after the write, so the stack was built with the driver in it.
    EXPECT_EQ(State.StateChanges,
              std::vector<TDeviceStateChange>{TDeviceStateChange::PropertyChange});
    EXPECT_TRUE(State.Started);
    EXPECT_EQ(State.Starts, 2);
    EXPECT_EQ(Upper ? State.LoadedUpperFilters : State.LoadedLowerFilters, Installed);

    // Installed and healthy: nothing more is done.
    Command->HidInstallDriver(true);
    EXPECT_EQ(World.Devices.Node(Node).Writes, 1);

    Command->HidInstallDriver(false);
    State = World.Devices.Node(Node);
    EXPECT_EQ(Upper ? *State.Node.UpperFilters : *State.Node.LowerFilters,
              Upper ? Strings({"UpperOne", cOtherFilter}) : Strings({cOtherFilter, "LowerTwo"}));
    EXPECT_FALSE(World.Services.Service("usbkmfx00001").has_value());
    EXPECT_TRUE(State.Started);
    EXPECT_EQ(State.StateChanges.size(), 2u);
    EXPECT_TRUE(World.Files.FileExists(Target())); // the driver file stays

    // Not installed: removal does nothing.
    Command->HidInstallDriver(false);
    EXPECT_EQ(World.Devices.Node(Node).Writes, 2);
    EXPECT_EQ(World.Services.OpenHandles(), 0);
    World.Devices.SetPresent(Node, false);
  }
}

TEST_F(DriverInstallTest, AnExistingServiceIsReconfigured) {
  World.Services.AddService("USBKMFX00001", {2, 4, 0, "old.sys", "Old name"});
  const int Node = AddMouse({});
  auto Command = Make();
  Command->HidInstallDriver(true);
  auto Service = World.Services.Service("usbkmfx00001");
  ASSERT_TRUE(Service.has_value());
  EXPECT_EQ(Service->Config.DisplayName, "usbkmfx00001_DisplayChange");
  EXPECT_EQ(Service->Config.BinaryPath, Target());
  EXPECT_EQ(Service->Config.ServiceType, 1u);
  EXPECT_EQ(Service->Config.StartType, 3u);
  EXPECT_EQ(World.Services.Services().size(), 2u);
  EXPECT_EQ(Lower(Node), Strings{"usbkmfx00001"});

  // A service that cannot be opened but exists counts as created.
  World.Devices.SetPresent(Node, false);
  const int Second = AddMouse({cOtherFilter});
  World.Services.FailNext(TSimServiceOp::Open, platform::SysError::AccessDenied);
  Command->HidInstallDriver(true);
  EXPECT_EQ(Lower(Second), (Strings{cOtherFilter, "usbkmfx00001"}));
}

TEST_F(DriverInstallTest, AFailedManualStepLeavesTheFilterListAsItWas) {
  using platform::SysError::AccessDenied;
  // Other mice load the driver file already there: a copy that fails leaves it as it was, and
  // one that worked has replaced it whatever fails after it.
  const std::string Previous = "previous driver";
  const std::string Copied = "driver DRIVERX64";
  const std::string Source = App() + LocalPath("DRIVERX64\\usbkmfx00001.sys");
  std::shared_ptr<void> Loaded;
  struct TCase {
    const char* Name;
    std::function<void()> Arrange;
    const std::string& TargetAfter;
  };
  const TCase Cases[] = {
      {"copy fails", [&] { World.Files.FailNext(TSimFileOp::Copy, AccessDenied); }, Previous},
      {"disk full", [&] { World.Files.FailNext(TSimFileOp::Copy, platform::SysError::DiskFull); },
       Previous},
      {"package without the driver file", [&] { World.Files.RemoveFile(Source); }, Previous},
      {"driver file in use",
       [&] {
         // A loaded driver's image is held open and cannot be replaced.
         Loaded = World.Files.HoldOpen(Target());
       },
       Previous},
      {"no administrator", [&] { World.Services.SetAdministrator(false); }, Copied},
      {"manager refused", [&] { World.Services.FailNext(TSimServiceOp::OpenManager, 1053); },
       Copied},
      {"display name taken",
       [&] {
         World.Services.AddService("Other", {1, 3, 1, "x.sys", "usbkmfx00001_Display"});
       },
       Copied},
      {"removed but still loaded",
       [&] {
         World.Services.AddService("usbkmfx00001", {1, 3, 1, "old.sys", "d"}, true);
         uint32_t Error = 0;
         World.Services.OpenManager(platform::cScManagerAllAccess, Error)
             ->OpenExisting("usbkmfx00001", platform::cServiceAllAccess, Error)
             ->Delete();
       },
       Copied},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Put(Target(), Previous);
    Case.Arrange();
    const int Node = AddMouse({cOtherFilter});
    Make()->HidInstallDriver(true);
    const auto State = World.Devices.Node(Node);
    EXPECT_EQ(*State.Node.LowerFilters, Strings{cOtherFilter});
    EXPECT_EQ(State.Writes, 0);
    EXPECT_TRUE(State.StateChanges.empty());
    EXPECT_TRUE(State.Started);
    EXPECT_TRUE(World.Files.FileExists(Target()));
    EXPECT_EQ(Read(Target()), Case.TargetAfter);
    Loaded.reset();
    Put(Source, Copied);
    World.Devices.SetPresent(Node, false);
    World.Services.SetAdministrator(true);
    for (const auto& Service : World.Services.Services()) {
      if (Service.Name != cOtherFilter) {
        World.Services.SetRunning(Service.Name, false);
      }
    }
  }
}

TEST_F(DriverInstallTest, ARemovalLeavesAMouseThatStartsWhateverStepFails) {
  const auto Installed = [&] {
    const int Node = AddMouse({cOtherFilter});
    Make()->HidInstallDriver(true);
    EXPECT_EQ(Lower(Node), (Strings{cOtherFilter, "usbkmfx00001"}));
    return Node;
  };
  const auto Running = [&](int ANode, const Strings& AFilters, std::size_t AStateChanges) {
    const auto State = World.Devices.Node(ANode);
    EXPECT_EQ(*State.Node.LowerFilters, AFilters);
    EXPECT_EQ(State.LoadedLowerFilters, AFilters);
    EXPECT_EQ(State.StateChanges.size(), AStateChanges);
    EXPECT_TRUE(State.Started);
    World.Devices.SetPresent(ANode, false);
  };
  const Strings WithOurs = {cOtherFilter, "usbkmfx00001"};
  {
    SCOPED_TRACE("the list cannot be written: the service stays");
    const int Node = Installed();
    World.Devices.FailNext(TSimDeviceOp::Write, platform::SysError::AccessDenied);
    Make()->HidInstallDriver(false);
    EXPECT_TRUE(World.Services.Service("usbkmfx00001").has_value());
    Running(Node, WithOurs, 1);
  }
  {
    SCOPED_TRACE("the service cannot be deleted: the list is put back");
    const int Node = Installed();
    World.Services.SetAdministrator(false);
    Make()->HidInstallDriver(false);
    World.Services.SetAdministrator(true);
    EXPECT_TRUE(World.Services.Service("usbkmfx00001").has_value());
    EXPECT_EQ(World.Devices.Node(Node).Writes, 3);
    Running(Node, WithOurs, 1);
  }
  {
    SCOPED_TRACE("the service was deleted by someone else: our entry goes all the same");
    const int Node = Installed();
    uint32_t Error = 0;
    World.Services.OpenManager(platform::cScManagerAllAccess, Error)
        ->OpenExisting("usbkmfx00001", platform::cServiceAllAccess, Error)
        ->Delete();
    Make()->HidInstallDriver(false);
    Running(Node, Strings{cOtherFilter}, 2);
  }
}

TEST_F(DriverInstallTest, ANodeRestartNeverLeavesTheMouseDisabled) {
  // Whatever breaks off the restart once the node's stack has stopped (the process ends, the
  // start fails) must not leave a node that stays disabled across boots.
  bool BreakOff = false;
  World.Devices.SetFilterServices([](const std::string&) { return true; },
                                  [&](const std::string&, bool ALoaded) {
                                    if (!ALoaded && BreakOff) {
                                      BreakOff = false;
                                      World.Devices.FailNext(TSimDeviceOp::ChangeState,
                                                             platform::SysError::NotEnoughMemory);
                                    }
                                  });
  const auto Disables = [&](int ANode) {
    const auto Changes = World.Devices.Node(ANode).StateChanges;
    return std::count(Changes.begin(), Changes.end(), TDeviceStateChange::Disable);
  };
  {
    SCOPED_TRACE("broken off half way");
    const int Node = AddMouse({cOtherFilter});
    BreakOff = true;
    Make()->HidInstallDriver(true);
    const auto State = World.Devices.Node(Node);
    EXPECT_FALSE(BreakOff); // the stack did stop
    EXPECT_EQ(Disables(Node), 0);
    EXPECT_EQ(State.Problem, 0u);
    EXPECT_TRUE(State.Started);
    EXPECT_EQ(State.LoadedLowerFilters, (Strings{cOtherFilter, "usbkmfx00001"}));
    World.Devices.FailNext(TSimDeviceOp::ChangeState, 0);
    World.Devices.SetPresent(Node, false);
  }
  {
    SCOPED_TRACE("vetoed by a holder: the node runs on and restarts with the system");
    const int Node = AddMouse({cOtherFilter});
    const auto Held = World.Devices.Hold(Node);
    Make()->HidInstallDriver(true);
    const auto State = World.Devices.Node(Node);
    EXPECT_TRUE(State.RestartPending);
    EXPECT_TRUE(State.Started);
    EXPECT_EQ(State.Problem, 0u);
    EXPECT_EQ(State.LoadedLowerFilters, Strings{cOtherFilter});
    EXPECT_EQ(Disables(Node), 0);
  }
}

TEST_F(DriverInstallTest, AStepThatFailsForOneNodeEndsOnlyThatNodesRoute) {
  const int First = AddMouse({cOtherFilter});
  const int Second = AddMouse({cOtherFilter});
  World.Files.FailNext(TSimFileOp::Copy, platform::SysError::AccessDenied);
  Make()->HidInstallDriver(true);
  EXPECT_EQ(Lower(First), Strings{cOtherFilter});
  EXPECT_EQ(Lower(Second), (Strings{cOtherFilter, "usbkmfx00001"}));
}

TEST_F(DriverInstallTest, AFilterListThatCannotBeReadIsNeverReplaced) {
  // More filters than the 32768-byte buffer holds: the list reads as empty, so the driver
  // seems missing, but the list is not overwritten with our entry alone.
  Strings Many;
  for (int Index = 0; Index < 1200; ++Index) {
    Many.push_back("VendorFilter" + std::to_string(Index));
  }
  const int Node = AddMouse(Many);
  Make()->HidInstallDriver(true);
  EXPECT_EQ(Lower(Node), Many);
  EXPECT_EQ(World.Devices.Node(Node).Writes, 0);
}

} // namespace
