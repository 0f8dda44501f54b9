// The sample "config.ini" that the packages ship, read by every reader of the system: it keeps
// the profile store where the configuration program looks for it and names the driver's
// device, and every key it documents as a comment stays at its default. An example taken in
// by mistake would change the installation: a device identifier, for one, hides the mouse
// behind a list that names another device.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "backend/sim/SimWorld.h"
#include "device/uiStdCmd.h"
#include "hid/uiHIDData.h"
#include "profile/ConfigOptions.h"
#include "support/TestHost.h"
#include "support/TestPlatform.h"

namespace {

TEST(ShippedConfig, SetsTheStoreAndTheDriverNameAndLeavesEveryDocumentedKeyAtItsDefault) {
  std::ifstream Stream(test::ProgramFolder() / MONITOR_SHIPPED_CONFIG, std::ios::binary);
  std::string Text{std::istreambuf_iterator<char>(Stream), std::istreambuf_iterator<char>()};
  ASSERT_FALSE(Text.empty());
  platform::sim::TSimWorld World;
  test::WriteConfig(World, Text);

  profile::TOptionsFromConfigFile Options;
  profile::ReadOptionsFromConfigFile(World.Files, World.Environment, Options);
  EXPECT_EQ(Options.ProfileRegFolder, "software\\ZQgmmouse");
  EXPECT_EQ(Options.ProfileFolder, "ZQProfile");
  EXPECT_EQ(Options.ProfileNamePrefix, "ZQProfile");
  EXPECT_EQ(Options.ProfileMacroFolder, "MacroDB");
  profile::TOtherConfig Other;
  profile::ReadOtherConfig(World.Files, World.Environment, Other);
  EXPECT_EQ(Other.Nologo, 0);
  EXPECT_EQ(Other.HelpFile.Count(), 0);
  EXPECT_EQ(Other.PASSWHQL, 0);
  EXPECT_EQ(Other.ProductWebSite, "");
  EXPECT_EQ(Other.SupportWebSite, "");
  EXPECT_EQ(Other.UpgradeWebSite, "");
  EXPECT_EQ(Other.OfficialWebsite, "http://");

  const auto Command = std::make_unique<device::TuiSTDCommand>(
      nullptr, device::TStdCommandServices::Of(World.Platform()));
  const device::TDriverInfo& Driver = Command->DriverInfo();
  EXPECT_EQ(Driver.DeviceName, "usbkmfx00001");
  EXPECT_EQ(Driver.InfFileName, "usbkmfx00001.inf");
  EXPECT_EQ(Driver.FileName, "usbkmfx00001.sys");
  EXPECT_EQ(Driver.ServiceName, "usbkmfx00001");
  EXPECT_EQ(Driver.ServiceNamex86, "usbkmfx00001");
  EXPECT_EQ(Driver.ServiceNamex64, "usbkmfx00001");
  EXPECT_EQ(Driver.WHQL, 0);
  EXPECT_EQ(Driver.X32WHQL, 0);
  EXPECT_EQ(Driver.UpperFilter, 0);
  EXPECT_TRUE(Command->GetHIDDeviceList().empty());
  EXPECT_TRUE(Command->GetUSBDeviceList().empty());
  const auto MakeHid = [&] {
    return std::make_unique<hid::TuiHIDData>(
        nullptr, hid::THidServices{World.Hid, World.Desktop, World.Desktop, World.Files,
                                   World.Environment, World.Dialogs});
  };
  EXPECT_TRUE(MakeHid()->GetHIDDeviceList().empty());

  // The same file with the example's ";" taken away: the reader sees the key.
  const std::string Example = ";id1=HID\\VID_0000&PID_0000&MI_01&Col02";
  const std::size_t At = Text.find(Example);
  ASSERT_NE(At, std::string::npos);
  Text.erase(At, 1);
  test::WriteConfig(World, Text);
  EXPECT_EQ(MakeHid()->GetHIDDeviceList(),
            std::vector<std::string>{"HID\\VID_0000&PID_0000&MI_01&Col02"});
}

} // namespace
