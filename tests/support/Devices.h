// The devices of the simulated world that tests plug in, each described once: the virtual
// mouse's collections, its node in the device tree and its filter driver.
#pragma once

#include <string>

#include "backend/sim/SimDeviceSetup.h"
#include "backend/sim/SimDriver.h"
#include "backend/sim/SimHid.h"
#include "device/uiStdCmd.h"

namespace test::Devices {

// The first hardware id of the mouse's vendor collection on its interface AInterface.
inline std::string VendorId(int AInterface = 1) {
  return "HID\\VID_1234&PID_5678&REV_0100&MI_0" + std::to_string(AInterface);
}

// The mouse's vendor collection (usage 1 of page 0xFFA0) on its interface AInterface (1; 2 and
// 3 stand for others): reports of 8 bytes in and out, features up to 2048 bytes, 24 buttons in
// report 7; hardware ids with the revision and without.
inline platform::sim::TSimHidInterface VendorCollection(int AInterface = 1) {
  const std::string Number = std::to_string(AInterface);
  platform::sim::TSimHidInterface Vendor;
  Vendor.Path = "\\\\?\\hid#vid_1234&pid_5678&mi_0" + Number + "#7&" + Number + "&0000#{4d1e55b2}";
  Vendor.HardwareIds = {VendorId(AInterface), "HID\\VID_1234&PID_5678&MI_01"};
  Vendor.Caps = {0x0001, 0xFFA0, 8, 8, 2048};
  Vendor.Buttons.ButtonCount = 24;
  Vendor.Buttons.ReportID = 7;
  return Vendor;
}

// A keyboard (usage 6 of page 1; 9 bytes in, 2 out): a HID interface the monitor does not
// read. AIndex tells several apart.
inline platform::sim::TSimHidInterface KeyboardInterface(int AIndex = 0) {
  platform::sim::TSimHidInterface Keyboard;
  Keyboard.Path = "\\\\?\\hid#keyboard" + std::to_string(AIndex);
  Keyboard.Caps = {0x0006, 0x0001, 9, 2, 0};
  return Keyboard;
}

// The mouse's USB node: of the HID setup class, without filters, offering the vendor
// collection.
inline platform::sim::TSimDeviceNode MouseNode() {
  platform::sim::TSimDeviceNode Mouse;
  Mouse.SetupClass = device::cHidSetupClass;
  Mouse.HardwareIds = {"USB\\VID_1234&PID_5678&REV_0100", "USB\\VID_1234&PID_5678"};
  Mouse.LowerFilters = std::vector<std::string>{};
  Mouse.Interfaces = {VendorCollection().Path};
  return Mouse;
}

// The filter driver: its service as an installation registers it, and its control codes for
// the resolution table and the current level.
inline constexpr const char* cFilterService = "usbkmfx00001";
inline platform::TServiceConfig FilterServiceConfig() {
  return {1, 3, 1, std::string(cFilterService) + ".sys", cFilterService};
}
inline constexpr uint32_t cCpiUnitCode = platform::sim::TSimFilterDriver::cCpiUnitCode;
inline constexpr uint32_t cSetCurrentCpiCode = platform::sim::TSimFilterDriver::cSetCurrentCpiCode;

} // namespace test::Devices
