// The device tree, the service control manager, the system's facts and programs run to their
// end, on each backend. On the real one only what cannot change the machine: nodes are read,
// services are looked up, and the program run is the command processor writing one file in
// the test's own folder.
#include <gtest/gtest.h>

#include "device/uiStdCmd.h"
#include "platform/SysError.h"
#include "rtl/Paths.h"
#include "support/TestPlatform.h"

namespace {

using namespace platform;
using Strings = std::vector<std::string>;

using test::LocalPath;

class DeviceServicesTest : public ::testing::TestWithParam<std::string> {
protected:
  void SetUp() override { FTest = test::MakeTestPlatform(GetParam()); }
  TPlatform Platform() { return FTest->Platform(); }
  sim::TSimWorld* Sim() { return FTest->Sim(); }
  std::unique_ptr<test::TTestPlatform> FTest;
};

TEST_P(DeviceServicesTest, PresentHidNodesAreReadWithTheirIdsFiltersAndStatus) {
  if (Sim() != nullptr) {
    // As Wine's own virtual mouse: hardware ids, no filter properties, no problem.
    sim::TSimDeviceNode Node;
    Node.SetupClass = device::cHidSetupClass;
    Node.HardwareIds = {"HID\\VID_845E&PID_0001&REV_0000", "HID\\VID_845E&PID_0001"};
    Sim()->Devices.AddNode(Node);
  }
  uint32_t Error = 1;
  auto Nodes = Platform().Devices.OpenPresentNodes(device::cHidSetupClass, Error);
  ASSERT_TRUE(Nodes) << Error;
  EXPECT_EQ(Error, SysError::Success);
  uint32_t Count = 0;
  while (Nodes->HasNode(Count)) {
    SCOPED_TRACE(Count);
    Strings Ids{"left over"};
    EXPECT_EQ(Nodes->ReadStrings(Count, TDeviceProperty::HardwareId, Ids), SysError::Success);
    ASSERT_FALSE(Ids.empty());
    EXPECT_TRUE(std::none_of(Ids.begin(), Ids.end(), [](const auto& AId) { return AId.empty(); }));
    for (const TDeviceProperty Filters :
         {TDeviceProperty::UpperFilters, TDeviceProperty::LowerFilters}) {
      Strings List{"left over"};
      const uint32_t Read = Nodes->ReadStrings(Count, Filters, List);
      EXPECT_TRUE(Read == SysError::Success || Read == SysError::InvalidData) << Read;
      if (Read != SysError::Success) {
        EXPECT_TRUE(List.empty());
      }
    }
    uint32_t Status = 0;
    uint32_t Problem = 0;
    EXPECT_TRUE(Nodes->ReadStatus(Count, Status, Problem));
    EXPECT_EQ(Status & cDeviceNodeHasProblem, 0u);
    ++Count;
  }
  EXPECT_GE(Count, 1u);
  Strings Past{"left over"};
  EXPECT_NE(Nodes->ReadStrings(Count, TDeviceProperty::HardwareId, Past), SysError::Success);
  EXPECT_TRUE(Past.empty());
}

TEST_P(DeviceServicesTest, TheServiceManagerOpensAndAMissingServiceIsNotFound) {
  uint32_t Error = 1;
  auto Manager = Platform().Services.OpenManager(cScManagerConnect, Error);
  ASSERT_TRUE(Manager) << Error;
  EXPECT_FALSE(Manager->OpenExisting("usbkmfx-monitor-test-missing", cServiceQueryConfig, Error));
  EXPECT_EQ(Error, SysError::ServiceDoesNotExist);
  EXPECT_FALSE(Manager->OpenExisting("usbkmfx\\missing", cServiceQueryConfig, Error));
  EXPECT_EQ(Error, SysError::InvalidName);
  // Full access is an administrator's; anyone else is refused, never half served.
  auto Full = Platform().Services.OpenManager(cScManagerAllAccess, Error);
  EXPECT_EQ(Full != nullptr, Error == SysError::Success);
  EXPECT_TRUE(Full != nullptr || Error == SysError::AccessDenied) << Error;
}

TEST_P(DeviceServicesTest, ThisIsA64BitBuildOn64BitWindowsWithADriverFolder) {
  const std::string Windows = Platform().System.WindowsFolder();
  ASSERT_FALSE(Windows.empty());
  EXPECT_NE(Windows.back(), rtl::PathDelim);
  EXPECT_TRUE(Platform().Files.DirectoryExists(Windows + LocalPath("\\System32\\Drivers")));
  const TSystemFacts Facts = Platform().System.Facts();
  EXPECT_TRUE(Facts.Process64Bit);
  EXPECT_TRUE(Facts.IsWow64ProcessBound);
  EXPECT_TRUE(Facts.NativeSystemInfoBound);
  EXPECT_FALSE(Facts.UnderWow64);
  EXPECT_EQ(Facts.NativeArchitecture, cProcessorArchitectureAmd64);
  EXPECT_TRUE(Facts.NtFamily);
  EXPECT_GE(Facts.Version.Major, 6u);
  EXPECT_EQ(Facts.Version.Major, Platform().Environment.OsVersion().Major);
  EXPECT_EQ(Facts.ServerR2, 0);
  EXPECT_EQ(Facts.ProductType, cProductWorkstation);
}

TEST_P(DeviceServicesTest, AProgramRunsHiddenInItsFolderAndIsWaitedFor) {
  std::string Program = Platform().System.WindowsFolder() + "\\System32\\cmd.exe";
  if (Sim() != nullptr) {
    // The simulated command processor does what the real one is asked to.
    Program = FTest->Folder() + "cmd.exe";
    ASSERT_EQ(Platform().Files.ReplaceFileContent(Program, "MZ", 2), 0u);
    Sim()->Shell.RegisterProgram(Program, [this](const sim::TSimShellOpen& AOpen) {
      EXPECT_EQ(AOpen.Parameters, "/c echo ran> ran.txt");
      Platform().Files.ReplaceFileContent(AOpen.Folder + "ran.txt", "ran", 3);
    });
  }
  EXPECT_EQ(
      Platform().Shell.RunAndWait(Program, "/c echo ran> ran.txt", FTest->Folder(), cShowHidden),
      SysError::Success);
  // The file is there as soon as the call returns: the program had ended.
  EXPECT_TRUE(Platform().Files.FileExists(FTest->Folder() + "ran.txt"));
  EXPECT_EQ(Platform().Shell.RunAndWait(FTest->Folder() + "DIFxCmd.exe", "/i x.inf",
                                        FTest->Folder(), cShowHidden),
            SysError::FileNotFound);
}

INSTANTIATE_TEST_SUITE_P(Backends, DeviceServicesTest,
                         ::testing::ValuesIn(test::TestBackendNames()),
                         [](const auto& AInfo) { return AInfo.param; });

} // namespace
